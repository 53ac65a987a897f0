/*
** Lean replacements for four pieces of the static C++ runtime, Windows build
** only.  They keep the executable small: the library's own versions pull in
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
**
** A definition in the executable takes the place of the archive member that
** would otherwise provide it, so nothing else needs to change.
*/
#include <bits/functexcept.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

static const char FAILURE_PREFIX[] = "tarnwick: internal error: ";

[[noreturn]] static void runtimeFailure(const char *what) {
    std::fprintf(stderr, "%s%s\n", FAILURE_PREFIX, what);
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
    std::fputs(FAILURE_PREFIX, stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}
} // namespace std
