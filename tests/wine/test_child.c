/*
** Stand-in for javaw.exe / java.exe in the end-to-end tests.
**
** Copies of this program sit in a fake runtime home (bin\javaw.exe,
** bin\java.exe).  Every start appends one record to "child.log" beside the
** executable and then exits with a scripted code, so a test can see exactly
** how the launcher started its child and make it relaunch.
**
** Record format: one line of JSON per start,
**   {"start":N,"pid":N,"grandchild":N,"stdin":"..." or null,"exe":"...",
**    "cmdline":"...","argv":["..."],"cwd":"...","env":{"NAME":"value" or null}}
** Every text is taken from the wide-character API (GetCommandLineW, the
** runtime's wide argv, GetCurrentDirectoryW, GetEnvironmentVariableW) and
** written in UTF-8, so a letter outside the ANSI code page is seen as it
** arrived.  Every byte outside printable ASCII, and '"' and '\', is written
** as \u00XX, so the reader recovers the exact UTF-8 bytes by decoding the
** JSON and encoding the strings as Latin-1.
**
** Exit codes: "child_exits.txt" beside the executable holds whitespace-
** separated decimal numbers (signed, so -1073741819 works); start N (counted
** from 0 by the records already in the log) exits with the N-th number, or
** with the last one once the list is used up.  Without the file: exit 0.
**
** Environment: the variables named in TARNWICK_CHILD_ENV (separated by ';')
** are recorded; without it, TARNWICK_PROBE alone.
**
** What the child does besides, asked through its environment:
**   TARNWICK_CHILD_READ=1         reads its standard input to the end first
**                                 and records it as "stdin" (else null);
**   TARNWICK_CHILD_SAY=text       writes text and a line feed on its
**                                 standard output;
**   TARNWICK_CHILD_GRANDCHILD_MS=n starts a copy of itself as a grandchild
**                                 (recorded by its process id as
**                                 "grandchild"), which appends "started <id>"
**                                 to grandchild.log beside the executable,
**                                 waits n ms, appends "alive <id>" and ends;
**   TARNWICK_CHILD_ARCHIVE=1      after recording, writes the file a Java 25
**                                 run of the fast start writes: the one
**                                 -XX:AOTConfiguration= names when it
**                                 records (-XX:AOTMode=record), the one
**                                 -XX:AOTCache= names when it makes the
**                                 cache (-XX:AOTMode=create);
**   TARNWICK_CHILD_SLEEP_MS=n     waits n ms after recording, before it ends;
**   TARNWICK_INHERITED_HANDLE=n   first of all writes "reached by the child"
**                                 and a line feed to the handle of that
**                                 value (the runner's inheritable file): it
**                                 arrives only when the handle was
**                                 inherited;
**   TARNWICK_CHILD_CTRL_C=1       then presses Ctrl-C on its console (every
**                                 process attached to it receives it) and
**                                 ends on it with 130, as Java does (72:
**                                 the key could not be pressed; 73: it
**                                 never came).
** Every record holds the child's own process id as "pid".
**
** Started as "test_child.exe --short-path PATH" it records nothing and
** writes PATH's 8.3 form (GetShortPathNameW), for the tests that start a
** program by it.
*/
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

/* No wildcard expansion of the arguments: the tests compare argv exactly. */
int _dowildcard = 0;

/* text in UTF-8, in a buffer that lives until the program ends. */
static char *utf8(const wchar_t *text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    char *out = malloc(size > 0 ? (size_t)size : 1);
    if (!out) exit(71);
    if (size <= 0 || !WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, NULL, NULL))
        out[0] = '\0';
    return out;
}

static void put_json_string(FILE *f, const char *s) {
    const unsigned char *p = (const unsigned char *)s;
    fputc('"', f);
    for (; *p; ++p) {
        if (*p >= 0x20 && *p < 0x7f && *p != '"' && *p != '\\')
            fputc(*p, f);
        else
            fprintf(f, "\\u%04x", *p);
    }
    fputc('"', f);
}

/* Directory of this executable with a trailing backslash, into dir. */
static void own_directory(wchar_t *dir, DWORD size) {
    DWORD n = GetModuleFileNameW(NULL, dir, size);
    if (n == 0 || n >= size) {
        dir[0] = L'\0';
        return;
    }
    wchar_t *slash = wcsrchr(dir, L'\\');
    if (slash)
        slash[1] = L'\0';
    else
        dir[0] = L'\0';
}

static int count_records(const wchar_t *log_path) {
    FILE *f = _wfopen(log_path, L"rb");
    if (!f) return 0;
    int lines = 0, c;
    while ((c = fgetc(f)) != EOF)
        if (c == '\n') ++lines;
    fclose(f);
    return lines;
}

static int scripted_exit_code(const wchar_t *script_path, int start) {
    FILE *f = _wfopen(script_path, L"rb");
    if (!f) return 0;
    long code = 0;
    long value;
    int index = 0;
    while (fscanf(f, "%ld", &value) == 1) {
        code = value;
        if (index++ == start) break;
    }
    fclose(f);
    return (int)code;
}

/* The value of a numeric variable of the environment, or 0. */
static DWORD env_number(const wchar_t *name) {
    wchar_t value[32];
    DWORD len = GetEnvironmentVariableW(name, value, 32);
    return len == 0 || len >= 32 ? 0 : (DWORD)wcstoul(value, NULL, 10);
}

static void append_grandchild_line(const wchar_t *dir, const char *what) {
    wchar_t path[MAX_PATH * 2 + 32];
    _snwprintf(path, MAX_PATH * 2 + 32, L"%lsgrandchild.log", dir);
    FILE *f = _wfopen(path, L"ab");
    if (!f) return;
    fprintf(f, "%s %lu\n", what, (unsigned long)GetCurrentProcessId());
    fclose(f);
}

/* The grandchild: outlives its parent, or not, and says which. */
static int grandchild(const wchar_t *dir, DWORD ms) {
    append_grandchild_line(dir, "started");
    Sleep(ms);
    append_grandchild_line(dir, "alive");
    return 0;
}

/* Ctrl-C ends the child as it ends Java: with 128 + SIGINT. */
static BOOL WINAPI end_on_ctrl_c(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;
    ExitProcess(130);
}

/* Starts this program again as a grandchild that inherits nothing; returns
** its process id, or 0. */
static DWORD start_grandchild(const wchar_t *exe, DWORD ms) {
    wchar_t line[MAX_PATH * 2 + 64];
    _snwprintf(line, MAX_PATH * 2 + 64, L"\"%ls\" --grandchild %lu", exe, (unsigned long)ms);
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessW(exe, line, NULL, NULL, FALSE, DETACHED_PROCESS, NULL, NULL, &si, &pi))
        return 0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return pi.dwProcessId;
}

/* The value of the argument that begins with name; NULL when none does. */
static const wchar_t *argument_value(int argc, wchar_t **argv, const wchar_t *name) {
    size_t length = wcslen(name);
    for (int i = 1; i < argc; ++i)
        if (wcsncmp(argv[i], name, length) == 0) return argv[i] + length;
    return NULL;
}

/* See TARNWICK_CHILD_ARCHIVE. */
static void write_archive(int argc, wchar_t **argv) {
    const wchar_t *mode = argument_value(argc, argv, L"-XX:AOTMode=");
    const wchar_t *target = NULL;
    if (mode && wcscmp(mode, L"record") == 0)
        target = argument_value(argc, argv, L"-XX:AOTConfiguration=");
    else if (mode && wcscmp(mode, L"create") == 0)
        target = argument_value(argc, argv, L"-XX:AOTCache=");
    FILE *file = target ? _wfopen(target, L"wb") : NULL;
    if (!file) return;
    fputs("archive", file);
    fclose(file);
}

int wmain(int argc, wchar_t **argv) {
    wchar_t dir[MAX_PATH * 2];
    wchar_t exe[MAX_PATH * 2];
    wchar_t log_path[MAX_PATH * 2 + 32];
    wchar_t script_path[MAX_PATH * 2 + 32];
    wchar_t cwd[MAX_PATH * 2];

    /* Before the child opens anything of its own that could take the
    ** handle's value. */
    DWORD inherited = env_number(L"TARNWICK_INHERITED_HANDLE");
    if (inherited) {
        static const char REACHED[] = "reached by the child\n";
        DWORD written = 0;
        WriteFile((HANDLE)(ULONG_PTR)inherited, REACHED, sizeof REACHED - 1, &written, NULL);
    }
    own_directory(dir, MAX_PATH * 2);
    if (!GetModuleFileNameW(NULL, exe, MAX_PATH * 2)) exe[0] = L'\0';
    if (argc == 3 && wcscmp(argv[1], L"--grandchild") == 0)
        return grandchild(dir, (DWORD)wcstoul(argv[2], NULL, 10));
    if (argc == 3 && wcscmp(argv[1], L"--short-path") == 0) {
        wchar_t short_path[MAX_PATH * 2];
        DWORD n = GetShortPathNameW(argv[2], short_path, MAX_PATH * 2);
        if (n == 0 || n >= MAX_PATH * 2) return 74;
        printf("%s\n", utf8(short_path));
        return 0;
    }

    /* Read before anything is recorded: a read that never ends leaves no
    ** record. */
    static char input[4096];
    size_t input_length = 0;
    int read_input = env_number(L"TARNWICK_CHILD_READ") != 0;
    if (read_input) input_length = fread(input, 1, sizeof input - 1, stdin);
    input[input_length] = '\0';

    wchar_t say[1024];
    DWORD say_length = GetEnvironmentVariableW(L"TARNWICK_CHILD_SAY", say, 1024);
    if (say_length > 0 && say_length < 1024) {
        printf("%s\n", utf8(say));
        fflush(stdout);
    }
    DWORD grandchild_ms = env_number(L"TARNWICK_CHILD_GRANDCHILD_MS");
    DWORD grandchild_pid = grandchild_ms ? start_grandchild(exe, grandchild_ms) : 0;
    _snwprintf(log_path, MAX_PATH * 2 + 32, L"%lschild.log", dir);
    _snwprintf(script_path, MAX_PATH * 2 + 32, L"%lschild_exits.txt", dir);
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, cwd);
    if (n == 0 || n >= MAX_PATH * 2) cwd[0] = L'\0';

    int start = count_records(log_path);
    int code = scripted_exit_code(script_path, start);

    FILE *log = _wfopen(log_path, L"ab");
    if (!log) return 70;
    fprintf(log, "{\"start\":%d,\"pid\":%lu,\"grandchild\":%lu,\"stdin\":", start,
            (unsigned long)GetCurrentProcessId(), (unsigned long)grandchild_pid);
    if (read_input)
        put_json_string(log, input);
    else
        fputs("null", log);
    fputs(",\"exe\":", log);
    put_json_string(log, utf8(exe));
    fputs(",\"cmdline\":", log);
    put_json_string(log, utf8(GetCommandLineW()));
    fputs(",\"argv\":[", log);
    for (int i = 0; i < argc; ++i) {
        if (i) fputc(',', log);
        put_json_string(log, utf8(argv[i]));
    }
    fputs("],\"cwd\":", log);
    put_json_string(log, utf8(cwd));
    fputs(",\"env\":{", log);

    wchar_t names[4096];
    DWORD len = GetEnvironmentVariableW(L"TARNWICK_CHILD_ENV", names, 4096);
    if (len == 0 || len >= 4096) wcscpy(names, L"TARNWICK_PROBE");
    int first = 1;
    for (wchar_t *name = wcstok(names, L";"); name; name = wcstok(NULL, L";")) {
        if (!first) fputc(',', log);
        first = 0;
        put_json_string(log, utf8(name));
        fputc(':', log);
        static wchar_t value[32768];
        SetLastError(0);
        DWORD vlen = GetEnvironmentVariableW(name, value, 32768);
        if (vlen == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            fputs("null", log);
        else if (vlen >= 32768)
            put_json_string(log, "<too long>");
        else
            put_json_string(log, utf8(value));
    }
    fputs("}}\n", log);
    fclose(log);
    if (env_number(L"TARNWICK_CHILD_ARCHIVE")) write_archive(argc, argv);
    DWORD sleep_ms = env_number(L"TARNWICK_CHILD_SLEEP_MS");
    if (sleep_ms) Sleep(sleep_ms);
    if (env_number(L"TARNWICK_CHILD_CTRL_C")) {
        SetConsoleCtrlHandler(end_on_ctrl_c, TRUE);
        if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) return 72;
        Sleep(10000);
        return 73;
    }
    return code;
}
