/*
** The floor of the launcher benchmarks: the smallest program that starts a
** child, waits for it and passes its exit code on, with nothing else (no
** configuration, no settings, no C++ runtime).  Measured beside tarnwick,
** it shows what one extra process costs on the machine at hand, which no
** launcher that outlives its child can avoid.
**
** Usage: min_launcher PROGRAM [ARGUMENT...]
** Built for Linux (posix_spawn, no PATH search) and, with MinGW-w64, for
** Windows (CreateProcessA of the arguments joined by blanks, unquoted).
*/
#ifdef _WIN32
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
    char command[8192];
    size_t used = 0;
    command[0] = '\0';
    for (int i = 1; i < argc; ++i) {
        size_t length = strlen(argv[i]);
        if (used + length + 2 > sizeof command) return 3;
        if (i > 1) command[used++] = ' ';
        memcpy(command + used, argv[i], length + 1);
        used += length;
    }
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) return 3;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return (int)code;
}
#else
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

int main(int argc, char **argv) {
    pid_t pid;
    int status;
    if (argc < 2 || posix_spawn(&pid, argv[1], NULL, NULL, argv + 1, environ) != 0) return 3;
    while (waitpid(pid, &status, 0) < 0)
        ;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif
