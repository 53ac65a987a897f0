/*
** Lean replacements for pieces of the static C++ and C runtimes, Windows
** build only.  They keep the executable small: the library's own versions pull in
** its exception classes, a second (copy-on-write) std::string and the C++
** name demangler, about 85 KiB of the stripped executable, for failures the
** launcher never expects to meet.
**
**  - The terminate handler.  The library's default one prints the demangled
**    type of the exception, which links the whole demangler.  This one
**    prints a fixed text and aborts, as the library's does after printing.
**  - std::__throw_length_error, __throw_logic_error, __throw_out_of_range_fmt,
**    __throw_bad_alloc and __throw_bad_array_new_length, which std::string
**    and std::vector call on misuse (a string longer than max_size, a null
**    pointer, a position past the end, a wide buffer too large to count).  The
**    library's versions build exception objects around a copy-on-write
**    string; these print the library's own message and abort, which is what
**    an uncaught exception ends in as well (the launcher catches none).
**  - The C99 vsnprintf and snprintf of MinGW, through the system C
**    runtime's own formatting (see "Formatting" below).
**
** More goes: the unwinder itself and the exception runtime around it, about
** 38 KiB in the 32-bit build and 6 KiB in the 64-bit one (see the end of
** this file).
**
** A definition in the executable takes the place of the archive member that
** would otherwise provide it, so nothing else needs to change.
*/
#include <bits/functexcept.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

static const char FAILURE_PREFIX[] = "tarnwick: internal error: ";

[[noreturn]] static void runtimeFailure(const char *what) {
    std::fputs(FAILURE_PREFIX, stderr);
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

namespace __gnu_cxx {
void __verbose_terminate_handler() { runtimeFailure("terminate called"); }
} // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { runtimeFailure("out of memory"); }
void __throw_bad_array_new_length() { runtimeFailure("out of memory"); }
void __throw_length_error(const char *what) { runtimeFailure(what); }
void __throw_logic_error(const char *what) { runtimeFailure(what); }
void __throw_out_of_range_fmt(const char *format, ...) {
    char what[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    runtimeFailure(what);
}
} // namespace std

/*
** Formatting.  The C99 printf of MinGW (with its floating-point conversion,
** about 22 KiB) is what vsnprintf and snprintf call under C++.  The
** launcher formats only texts and integers of int and long width (%s, %c, %d,
** %u, %lu, %x, with widths and precisions; no "ll", "z" or floating point),
** which the system's own C runtime formats alike; these give its result the
** C99 meaning: the length the whole text needs, and a buffer always ended
** within its size.
*/
extern "C" int __mingw_vsnprintf(char *buffer, std::size_t size, const char *format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = _vscprintf(format, copy);
    va_end(copy);
    if (size == 0 || buffer == nullptr) return length;
    if (length < 0) {
        buffer[0] = '\0';
        return length;
    }
    std::size_t written = static_cast<std::size_t>(length) < size ? static_cast<std::size_t>(length)
                                                                  : size - 1;
    _vsnprintf(buffer, written, format, args);
    buffer[written] = '\0';
    return length;
}

extern "C" int __mingw_snprintf(char *buffer, std::size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int length = __mingw_vsnprintf(buffer, size, format, args);
    va_end(args);
    return length;
}

/*
** The exception runtime.  Nothing in the launcher can throw: every throwing
** entry point of the library is replaced above, and operator new below calls
** the new handler (which ends the launcher) instead of throwing bad_alloc.
** What remains are the references that the library's compiled cleanup and
** catch code makes to the unwinder and to the exception runtime, about
** 38 KiB in the 32-bit build (DWARF tables) and 6 KiB in the 64-bit one
** (SEH); these take their place.  Should anything come to need the real
** exception runtime, its objects would define these names a second time
** and the link would fail, not the launcher.
**
** In the 64-bit build the system asks the language handler of each frame it
** passes while it dispatches an exception of its own (an access violation,
** a debugger's notice).  The library's handler leaves every exception that
** is no C++ one to the next frame's handler, and so does this one.  (The
** model is told by the target, not by __SEH__: the launcher is built
** without unwind tables, which leaves __SEH__ undefined.)
*/
extern "C" {
#if defined(_WIN64)
static constexpr int EXCEPTION_CONTINUE_SEARCH_DISPOSITION = 1;
int __gxx_personality_seh0(void *, void *, void *, void *) {
    return EXCEPTION_CONTINUE_SEARCH_DISPOSITION;
}
#else
[[noreturn]] int __gxx_personality_v0() {
    runtimeFailure("unwinding without an exception runtime");
}
#endif
[[noreturn]] void _Unwind_Resume(void *) {
    runtimeFailure("unwinding without an exception runtime");
}
[[noreturn]] void __cxa_rethrow() { runtimeFailure("rethrow without an exception runtime"); }
[[noreturn]] void *__cxa_begin_catch(void *) {
    runtimeFailure("catch without an exception runtime");
}
[[noreturn]] void __cxa_end_catch() { runtimeFailure("catch without an exception runtime"); }
}

/* Allocation as the library does it, with the new handler asked until it
** gives up, but without a bad_alloc to throw. */
void *operator new(std::size_t size) {
    for (;;) {
        if (void *memory = std::malloc(size != 0 ? size : 1)) return memory;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) runtimeFailure("out of memory");
        handler();
    }
}
void *operator new[](std::size_t size) { return operator new(size); }
void operator delete(void *memory) noexcept { std::free(memory); }
void operator delete[](void *memory) noexcept { std::free(memory); }
void operator delete(void *memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void *memory, std::size_t) noexcept { std::free(memory); }
