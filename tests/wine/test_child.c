/*
** Stand-in for javaw.exe / java.exe in the end-to-end tests.
**
** Copies of this program sit in a fake runtime home (bin\javaw.exe,
** bin\java.exe).  Every start appends one record to "child.log" beside the
** executable and then exits with a scripted code, so a test can see exactly
** how the launcher started its child and make it relaunch.
**
** Record format: one line of JSON per start,
**   {"start":N,"exe":"...","cmdline":"...","argv":["..."],"cwd":"...",
**    "env":{"NAME":"value" or null}}
** Every byte outside printable ASCII, and '"' and '\', is written as \u00XX,
** so the reader recovers the exact bytes by decoding the JSON and encoding
** the strings as Latin-1.
**
** Exit codes: "child_exits.txt" beside the executable holds whitespace-
** separated decimal numbers (signed, so -1073741819 works); start N (counted
** from 0 by the records already in the log) exits with the N-th number, or
** with the last one once the list is used up.  Without the file: exit 0.
**
** Environment: the variables named in TARNWICK_CHILD_ENV (separated by ';')
** are recorded; without it, TARNWICK_PROBE alone.
*/
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* No wildcard expansion of the arguments: the tests compare argv exactly. */
int _dowildcard = 0;

static void put_json_string(FILE *f, const char *s)
{
    const unsigned char *p = (const unsigned char *)s;
    fputc('"', f);
    for (; *p; p++) {
        if (*p >= 0x20 && *p < 0x7f && *p != '"' && *p != '\\')
            fputc(*p, f);
        else
            fprintf(f, "\\u%04x", *p);
    }
    fputc('"', f);
}

/* Directory of this executable with a trailing backslash, into dir. */
static void own_directory(char *dir, size_t size)
{
    DWORD n = GetModuleFileNameA(NULL, dir, (DWORD)size);
    if (n == 0 || n >= size) {
        dir[0] = '\0';
        return;
    }
    char *slash = strrchr(dir, '\\');
    if (slash)
        slash[1] = '\0';
    else
        dir[0] = '\0';
}

static int count_records(const char *log_path)
{
    FILE *f = fopen(log_path, "rb");
    if (!f)
        return 0;
    int lines = 0, c;
    while ((c = fgetc(f)) != EOF)
        if (c == '\n')
            lines++;
    fclose(f);
    return lines;
}

static int scripted_exit_code(const char *script_path, int start)
{
    FILE *f = fopen(script_path, "rb");
    if (!f)
        return 0;
    long code = 0;
    long value;
    int index = 0;
    while (fscanf(f, "%ld", &value) == 1) {
        code = value;
        if (index++ == start)
            break;
    }
    fclose(f);
    return (int)code;
}

int main(int argc, char **argv)
{
    char dir[MAX_PATH * 2];
    char exe[MAX_PATH * 2];
    char log_path[MAX_PATH * 2 + 32];
    char script_path[MAX_PATH * 2 + 32];
    char cwd[MAX_PATH * 2];

    own_directory(dir, sizeof dir);
    if (!GetModuleFileNameA(NULL, exe, sizeof exe))
        exe[0] = '\0';
    snprintf(log_path, sizeof log_path, "%schild.log", dir);
    snprintf(script_path, sizeof script_path, "%schild_exits.txt", dir);
    DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    if (n == 0 || n >= sizeof cwd)
        cwd[0] = '\0';

    int start = count_records(log_path);
    int code = scripted_exit_code(script_path, start);

    FILE *log = fopen(log_path, "ab");
    if (!log)
        return 70;
    fprintf(log, "{\"start\":%d,\"exe\":", start);
    put_json_string(log, exe);
    fputs(",\"cmdline\":", log);
    put_json_string(log, GetCommandLineA());
    fputs(",\"argv\":[", log);
    for (int i = 0; i < argc; i++) {
        if (i)
            fputc(',', log);
        put_json_string(log, argv[i]);
    }
    fputs("],\"cwd\":", log);
    put_json_string(log, cwd);
    fputs(",\"env\":{", log);

    char names[4096];
    DWORD len = GetEnvironmentVariableA("TARNWICK_CHILD_ENV", names, sizeof names);
    if (len == 0 || len >= sizeof names)
        strcpy(names, "TARNWICK_PROBE");
    int first = 1;
    for (char *name = strtok(names, ";"); name; name = strtok(NULL, ";")) {
        if (!first)
            fputc(',', log);
        first = 0;
        put_json_string(log, name);
        fputc(':', log);
        char value[32768];
        SetLastError(0);
        DWORD vlen = GetEnvironmentVariableA(name, value, sizeof value);
        if (vlen == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            fputs("null", log);
        else if (vlen >= sizeof value)
            put_json_string(log, "<too long>");
        else
            put_json_string(log, value);
    }
    fputs("}}\n", log);
    fclose(log);
    return code;
}
