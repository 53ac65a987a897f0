/*
** Times the start of Windows programs, interleaved: the Windows twin of
** spawn_timer.c, run under Wine, so that Wine's own start-up of the timer is
** paid once and not per measured run.
**
** Usage: wine_timer.exe JOB RESULT
** JOB is a text file: the first line holds ROUNDS and WARMUP, every further
** non-empty line is one command line, handed to CreateProcessA byte for
** byte.  Every round runs every command once, in an order that rotates from
** round to round; WARMUP rounds run first and are not reported.  Each run is
** one CreateProcessA, one wait and one GetExitCodeProcess, timed with the
** performance counter; the child's standard handles are NUL.
** RESULT receives one line a run:  <command index> <wall ns> <exit code>
** It is written under a temporary name and renamed when complete, so that
** its presence means the whole run is in it (under Wine, the Linux side may
** see "wine" return before the program has ended).
** The timer's own exit code is 0, or 3 when something could not be done.
*/
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { MAX_COMMANDS = 16, MAX_LINE = 8192 };

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: wine_timer JOB RESULT\n");
        return 3;
    }
    FILE *job = fopen(argv[1], "rb");
    if (!job) {
        fprintf(stderr, "wine_timer: cannot read %s\n", argv[1]);
        return 3;
    }
    int rounds = 0, warmup = 0, count = 0;
    static char commands[MAX_COMMANDS][MAX_LINE];
    char line[MAX_LINE];
    if (!fgets(line, sizeof line, job) || sscanf(line, "%d %d", &rounds, &warmup) != 2) {
        fprintf(stderr, "wine_timer: the first line must hold ROUNDS WARMUP\n");
        return 3;
    }
    while (fgets(line, sizeof line, job)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0') continue;
        if (count == MAX_COMMANDS) {
            fprintf(stderr, "wine_timer: at most %d commands\n", MAX_COMMANDS);
            return 3;
        }
        strcpy(commands[count++], line);
    }
    fclose(job);
    if (count == 0) {
        fprintf(stderr, "wine_timer: no command\n");
        return 3;
    }

    char partial[MAX_PATH + 16];
    snprintf(partial, sizeof partial, "%s.part", argv[2]);
    /* "N": not inherited, or the children (and what they start) would hold
    ** the file open and the rename below would fail. */
    FILE *result = fopen(partial, "wbN");
    if (!result) {
        fprintf(stderr, "wine_timer: cannot write %s\n", partial);
        return 3;
    }
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE nul_in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, OPEN_EXISTING, 0, NULL);
    HANDLE nul_out = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, 0, NULL);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    for (int round = -warmup; round < rounds; ++round) {
        int first = (round + warmup) % count;
        for (int k = 0; k < count; ++k) {
            int index = (first + k) % count;
            char command[MAX_LINE];
            strcpy(command, commands[index]);
            STARTUPINFOA si;
            PROCESS_INFORMATION pi;
            memset(&si, 0, sizeof si);
            memset(&pi, 0, sizeof pi);
            si.cb = sizeof si;
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdInput = nul_in;
            si.hStdOutput = nul_out;
            si.hStdError = nul_out;
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
                fprintf(stderr, "wine_timer: cannot start %s (%lu)\n", command, GetLastError());
                return 3;
            }
            WaitForSingleObject(pi.hProcess, INFINITE);
            QueryPerformanceCounter(&end);
            DWORD code = 0;
            GetExitCodeProcess(pi.hProcess, &code);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            if (round >= 0) {
                double ns =
                    (double)(end.QuadPart - start.QuadPart) * 1e9 / (double)frequency.QuadPart;
                fprintf(result, "%d %.0f %lu\n", index, ns, (unsigned long)code);
            }
        }
    }
    fclose(result);
    if (!MoveFileExA(partial, argv[2], MOVEFILE_REPLACE_EXISTING)) {
        fprintf(stderr, "wine_timer: cannot rename %s (%lu)\n", partial, GetLastError());
        return 3;
    }
    return 0;
}
