/*
** Starts one command line, waits for it and reports its full 32-bit exit
** code.  Under Wine the Linux side sees only the low byte of an exit code;
** this runner, itself a Windows program, reads all of it.
**
** Usage: run_exit.exe JOB
** JOB is a file of ten lines in UTF-8, each ended by "\n", used through the
** wide-character API (so a folder or an argument outside the ANSI code page
** reaches the program whole):
**   1. the directory to start in (the runner changes into it first, so that
**      a relative program path is found there and inherited as the current
**      directory)
**   2. the command line, handed to CreateProcessW character for character
**   3. file that receives the program's standard output
**   4. file that receives the program's standard error
**   5. file that the runner writes its result into
**   6. the desktop to start the program on, or nothing for the runner's own
**      (a desktop of its own gets its own Wine desktop process, which takes
**      its X display from the program: see the test harness)
**   7. "new console" to start the program in a console of its own (which
**      its console children share, as in a cmd.exe window), or nothing for
**      the runner's
**   8. the application name handed to CreateProcessW beside the command
**      line, as a caller that names the program on its own does (the
**      command line's first word is then not read as the program), or
**      nothing for none
**   9. a file the runner opens for writing as an inheritable handle before
**      it starts the program, whose value it puts into the variable
**      TARNWICK_INHERITED_HANDLE (inherited by the program and its own
**      children), or nothing for none
**  10. "unelevated" to start the program with the limited token linked to
**      the runner's (Wine runs every program elevated, as an administrator
**      whose elevation prompt was answered; a program a user starts under
**      Windows' user account control runs with the limited one), or
**      nothing for the runner's own token
** The result file holds one line: "exit <unsigned> <signed> <process id>"
** when the program ran, or "error <GetLastError>" when it could not be
** started.
** The runner's own exit code is 0 when it could report a result, else 3.
*/
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { LINES = 10 };

static char *read_file(const char *path, long *size) {
    FILE *f = fopen(path, "rb");
    if (!f) return NULL;
    fseek(f, 0, SEEK_END);
    long n = ftell(f);
    fseek(f, 0, SEEK_SET);
    char *data = malloc((size_t)n + 1);
    if (!data || fread(data, 1, (size_t)n, f) != (size_t)n) {
        fclose(f);
        free(data);
        return NULL;
    }
    data[n] = '\0';
    fclose(f);
    *size = n;
    return data;
}

/* A line of the job as wide text, in a buffer that lives until the end. */
static wchar_t *wide(const char *text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    wchar_t *out = malloc((size > 0 ? (size_t)size : 1) * sizeof *out);
    if (!out) exit(3);
    if (size <= 0 || !MultiByteToWideChar(CP_UTF8, 0, text, -1, out, size)) out[0] = L'\0';
    return out;
}

/* The limited token linked to the runner's elevated one, as a primary
** token for a new process; NULL when there is none. */
static HANDLE limited_token(void) {
    HANDLE own = NULL, primary = NULL;
    TOKEN_LINKED_TOKEN linked = {0};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return NULL;
    if (GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
        DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, NULL, SecurityImpersonation,
                         TokenPrimary, &primary);
        CloseHandle(linked.LinkedToken);
    }
    CloseHandle(own);
    return primary;
}

static HANDLE open_inheritable(const char *path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    return CreateFileW(wide(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: run_exit JOB\n");
        return 3;
    }
    long size = 0;
    char *job = read_file(argv[1], &size);
    if (!job) {
        fprintf(stderr, "run_exit: cannot read %s\n", argv[1]);
        return 3;
    }
    char *line[LINES];
    char *p = job;
    for (int i = 0; i < LINES; ++i) {
        char *end = strchr(p, '\n');
        if (!end) {
            fprintf(stderr, "run_exit: %s needs %d lines\n", argv[1], LINES);
            return 3;
        }
        *end = '\0';
        line[i] = p;
        p = end + 1;
    }
    const char *directory = line[0];
    wchar_t *command = wide(line[1]);
    const char *result_path = line[4];

    if (!SetCurrentDirectoryW(wide(directory))) {
        fprintf(stderr, "run_exit: cannot enter %s (%lu)\n", directory, GetLastError());
        return 3;
    }

    HANDLE out = open_inheritable(line[2], GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = open_inheritable(line[3], GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE in = open_inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "run_exit: cannot create the output files (%lu)\n", GetLastError());
        return 3;
    }
    HANDLE inherited = INVALID_HANDLE_VALUE;
    if (line[8][0]) {
        inherited = open_inheritable(line[8], GENERIC_WRITE, CREATE_ALWAYS);
        if (inherited == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "run_exit: cannot create %s (%lu)\n", line[8], GetLastError());
            return 3;
        }
        wchar_t value[32];
        _snwprintf(value, 32, L"%lu", (unsigned long)(ULONG_PTR)inherited);
        SetEnvironmentVariableW(L"TARNWICK_INHERITED_HANDLE", value);
    }

    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    memset(&pi, 0, sizeof pi);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in == INVALID_HANDLE_VALUE ? NULL : in;
    si.hStdOutput = out;
    si.hStdError = err;
    if (line[5][0]) si.lpDesktop = wide(line[5]);

    DWORD flags = strcmp(line[6], "new console") == 0 ? CREATE_NEW_CONSOLE : 0;
    const wchar_t *application = line[7][0] ? wide(line[7]) : NULL;
    BOOL ok;
    if (strcmp(line[9], "unelevated") == 0) {
        HANDLE token = limited_token();
        if (!token) {
            fprintf(stderr, "run_exit: no limited token (%lu)\n", GetLastError());
            return 3;
        }
        ok = CreateProcessAsUserW(token, application, command, NULL, NULL, TRUE, flags, NULL, NULL,
                                  &si, &pi);
        CloseHandle(token);
    } else {
        ok = CreateProcessW(application, command, NULL, NULL, TRUE, flags, NULL, NULL, &si, &pi);
    }
    DWORD error = ok ? 0 : GetLastError();
    DWORD code = 0;
    if (ok) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        if (!GetExitCodeProcess(pi.hProcess, &code)) error = GetLastError();
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (inherited != INVALID_HANDLE_VALUE) CloseHandle(inherited);

    FILE *result = _wfopen(wide(result_path), L"wb");
    if (!result) {
        fprintf(stderr, "run_exit: cannot write %s\n", result_path);
        return 3;
    }
    if (ok && !error)
        fprintf(result, "exit %lu %ld %lu\n", (unsigned long)code, (long)(LONG)code,
                (unsigned long)pi.dwProcessId);
    else
        fprintf(result, "error %lu\n", (unsigned long)error);
    fclose(result);
    free(job);
    return 0;
}
