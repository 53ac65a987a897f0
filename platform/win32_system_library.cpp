/*
** System functions looked up at run time (see win32_system_library.h).
*/
#include "platform/win32_system_library.h"

#include <windows.h>

#include <cwchar>

namespace platform {

/* The file names, in the order of SystemLibrary. */
static const wchar_t *const LIBRARY_NAMES[] = {L"user32.dll", L"shell32.dll", L"kernel32.dll"};
static constexpr int LIBRARY_COUNT = sizeof LIBRARY_NAMES / sizeof LIBRARY_NAMES[0];

/* Room for the system folder, a separator and a library's name. */
static constexpr UINT SYSTEM_PATH_SIZE = MAX_PATH + 32;

/* Each library once loaded, for the rest of the run. */
static HMODULE loaded[LIBRARY_COUNT];

/* Loads the library by its full path in the system folder, so that no DLL
** of that name in the launcher's folder or the current one is taken for
** it. */
static HMODULE loadFromSystemFolder(const wchar_t *name) {
    wchar_t path[SYSTEM_PATH_SIZE];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    std::size_t nameLength = std::wcslen(name);
    if (length == 0 || length >= MAX_PATH || length + 1 + nameLength >= SYSTEM_PATH_SIZE)
        return nullptr;
    path[length] = L'\\';
    std::wmemcpy(path + length + 1, name, nameLength + 1);
    return LoadLibraryW(path);
}

SystemFunctionAddress systemLibraryFunction(SystemLibrary library, const char *name) {
    int index = static_cast<int>(library);
    if (index < 0 || index >= LIBRARY_COUNT) return nullptr;
    if (loaded[index] == nullptr) loaded[index] = loadFromSystemFolder(LIBRARY_NAMES[index]);
    if (loaded[index] == nullptr) return nullptr;
    return reinterpret_cast<SystemFunctionAddress>(GetProcAddress(loaded[index], name));
}

} // namespace platform
