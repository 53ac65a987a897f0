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
**
** On Windows the benchmark also builds it with one step of a real start
** added each (-D of the names below), so that one interleaved run tells
** what each step costs under Wine: WITH_USER32_IMPORT (the import of
** user32.dll alone: MessageBoxA referred to, never called),
** WITH_INPUT_IDLE (that import and a WaitForInputIdle on the child),
** WITH_SHELL32 (shell32.dll loaded), WITH_ADVAPI32_IMPORT (the import of
** advapi32.dll alone, as the registry's functions bring it), WITH_JOB (the
** child started suspended in a job that ends it with the launcher, then
** resumed).
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
#ifdef WITH_USER32_IMPORT
    if (argc < 0) MessageBoxA(NULL, command, command, 0);
#endif
#ifdef WITH_SHELL32
    if (LoadLibraryA("shell32.dll") == NULL) return 3;
#endif
#ifdef WITH_ADVAPI32_IMPORT
    if (argc < 0) RegCloseKey(NULL);
#endif
    DWORD flags = 0;
#ifdef WITH_JOB
    HANDLE job = CreateJobObjectA(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (job == NULL ||
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return 3;
    flags |= CREATE_SUSPENDED;
#endif
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, flags, NULL, NULL, &si, &pi)) return 3;
#ifdef WITH_JOB
    if (!AssignProcessToJobObject(job, pi.hProcess)) return 3;
    ResumeThread(pi.hThread);
#endif
#ifdef WITH_INPUT_IDLE
    WaitForInputIdle(pi.hProcess, 5000);
#endif
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
