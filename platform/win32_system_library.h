/*
** System functions looked up at run time rather than imported.  The DLLs
** that only some starts need (user32.dll for a message box or the wait for
** a child's window, shell32.dll for opening a file or a page) are loaded on
** first use rather than when the launcher starts: a start that shows
** nothing then does not pay for loading them.  kernel32.dll is always
** there; its functions looked up here are those older systems lack, so
** that the exe still starts without them.  Shared by the files of the
** Windows platform; not part of the platform interface.
*/
#ifndef TARNWICK_WIN32_SYSTEM_LIBRARY_H
#define TARNWICK_WIN32_SYSTEM_LIBRARY_H

namespace platform {

/* The DLLs whose functions are looked up. */
enum SystemLibrary { SYSTEM_LIBRARY_USER32, SYSTEM_LIBRARY_SHELL32, SYSTEM_LIBRARY_KERNEL32 };

/* A generic function pointer: every function pointer converts to and from
** it without the compiler taking it for a mistake. */
typedef void (*SystemFunctionAddress)();

/* The function name of library, the library loaded from the system folder
** the first time; null when the library or the function cannot be had. */
SystemFunctionAddress systemLibraryFunction(SystemLibrary library, const char *name);

/* The same, as the function's own type. */
template <typename Function> Function systemFunction(SystemLibrary library, const char *name) {
    return reinterpret_cast<Function>(systemLibraryFunction(library, name));
}

} // namespace platform

#endif
