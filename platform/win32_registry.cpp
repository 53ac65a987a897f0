/*
** The Windows registry, read only, under HKEY_LOCAL_MACHINE: keys opened
** in either view of a 64-bit registry, values and sub-key names read with
** the wide functions and handed to the launcher in UTF-8.  Where a value or
** a name does not fit the caller's buffer, the answer is ERROR_MORE_DATA,
** as the ANSI functions answer, so the launcher's sizes keep their meaning.
*/
#include "platform/platform.h"
#include "platform/win32_text.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace platform {

/* ---------------------------------------------------------------------------
** Keys.
*/

/* The longest registry key name in UTF-16 units, with its terminator. */
static constexpr DWORD REGISTRY_KEY_NAME_UNITS = 255 + 1;

/* The view flag that reaches the other view from this build. */
static const REGSAM OTHER_VIEW_FLAG = sizeof(void *) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

const char *registryViewName(RegistryView view) {
    bool is64 = sizeof(void *) == 8;
    if (view == REGISTRY_OWN_VIEW) return is64 ? "64-bit registry view" : "32-bit registry view";
    return is64 ? "32-bit registry view" : "64-bit registry view";
}

/* The own view gets KEY_READ alone: with no view flag the system opens the
** view of the launcher's own build. */
long registryOpenKey(const char *subKey, RegistryKey *key, RegistryView view) {
    HKEY opened = nullptr;
    REGSAM access = view == REGISTRY_OWN_VIEW ? KEY_READ : KEY_READ | OTHER_VIEW_FLAG;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, wideText(subKey).data(), 0, access, &opened);
    *key = opened;
    return result;
}

void registryCloseKey(RegistryKey key) {
    if (key != nullptr) RegCloseKey(static_cast<HKEY>(key));
}

/* ---------------------------------------------------------------------------
** Values.
*/

/* The bytes a value stores and its type; read again while the value grows
** between the calls. */
static LONG storedValue(HKEY key, const wchar_t *name, std::string *bytes, DWORD *type) {
    DWORD length = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, type, nullptr, &length);
    while (result == ERROR_SUCCESS && length > bytes->size()) {
        bytes->resize(length);
        result = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<LPBYTE>(&(*bytes)[0]),
                                  &length);
        if (result == ERROR_MORE_DATA) result = ERROR_SUCCESS; /* length is the new size */
    }
    if (result == ERROR_SUCCESS) bytes->resize(length);
    return result;
}

/* A REG_EXPAND_SZ text with its %VARIABLE% references expanded from the
** launcher's environment (in the 32-bit build %ProgramFiles% is the "(x86)"
** folder, as Windows gives it to a 32-bit program), ended by its NUL.  A
** text that cannot be expanded stays as it is. */
static void expandVariables(WideText *units) {
    WideText text(units->begin(), units->end());
    text.push_back(L'\0'); /* a value stored without its terminator */
    DWORD size = ExpandEnvironmentStringsW(text.data(), nullptr, 0);
    if (size == 0) return;
    WideText expanded(size);
    DWORD length = ExpandEnvironmentStringsW(text.data(), expanded.data(), size);
    if (length == 0 || length > size) return;
    expanded.resize(length); /* the NUL included */
    units->swap(expanded);
}

/* What RegQueryValueExW delivered, in UTF-8: a text value (REG_SZ and its
** kin) is converted with its terminator where it has one, an odd last byte
** being half a character and dropped, and a REG_EXPAND_SZ is expanded (as
** RegGetValue does); any other value is delivered as stored.  A value that
** does not fit the caller's buffer fails with ERROR_MORE_DATA. */
long registryQueryValue(RegistryKey key, const char *valueName, char *data, unsigned long *size) {
    WideText name;
    std::string stored;
    DWORD type = REG_NONE;
    LONG result =
        storedValue(static_cast<HKEY>(key), optionalText(valueName, &name), &stored, &type);
    if (result != ERROR_SUCCESS) return result;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        WideText units(stored.size() / sizeof(wchar_t));
        if (!units.empty())
            std::memcpy(units.data(), stored.data(), units.size() * sizeof(wchar_t));
        if (type == REG_EXPAND_SZ) expandVariables(&units);
        stored = utf8Text(units.data(), units.size());
    }
    if (stored.size() > *size) {
        *size = static_cast<unsigned long>(stored.size());
        return ERROR_MORE_DATA;
    }
    if (!stored.empty()) std::memcpy(data, stored.data(), stored.size());
    *size = static_cast<unsigned long>(stored.size());
    return ERROR_SUCCESS;
}

/* ---------------------------------------------------------------------------
** Sub-keys.
*/

/* The result is not tested: a failed query leaves the count at 0. */
unsigned long registrySubKeyCount(RegistryKey key) {
    DWORD subKeys = 0;
    RegQueryInfoKeyW(static_cast<HKEY>(key), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr, nullptr);
    return subKeys;
}

/* *nameLength counts UTF-8 bytes: the capacity on entry, the name's length
** without its terminator on success.  A name that does not fit fails with
** ERROR_MORE_DATA. */
long registryEnumSubKey(RegistryKey key, unsigned long index, char *name,
                        unsigned long *nameLength) {
    wchar_t wideName[REGISTRY_KEY_NAME_UNITS];
    DWORD units = REGISTRY_KEY_NAME_UNITS;
    FILETIME lastWriteTime;
    LONG result = RegEnumKeyExW(static_cast<HKEY>(key), index, wideName, &units, nullptr, nullptr,
                                nullptr, &lastWriteTime);
    if (result != ERROR_SUCCESS) return result;
    std::string text = utf8Text(wideName, units);
    if (text.size() >= *nameLength) return ERROR_MORE_DATA;
    std::memcpy(name, text.c_str(), text.size() + 1);
    *nameLength = static_cast<unsigned long>(text.size());
    return ERROR_SUCCESS;
}

} // namespace platform
