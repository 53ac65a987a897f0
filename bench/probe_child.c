/*
** The memory probe of the benchmarks: a child that sleeps a little, so that
** its parent (the launcher) is surely waiting for it, then copies the
** parent's memory figures from /proc/<parent>/status into a file and ends
** with 0.
**
** Environment:
**   BENCH_PROBE_OUT       the file that receives the figures (required)
**   BENCH_PROBE_SLEEP_MS  how long to sleep before reading (default 100)
** Output lines, in kB as the kernel reports them:
**   pid <parent pid>
**   VmHWM <peak resident set>
**   VmRSS <resident set now>
**   RssAnon / RssFile / VmData as the kernel reports them
*/
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static const char *const KEYS[] = {"VmHWM:", "VmRSS:", "RssAnon:", "RssFile:", "VmData:"};

int main(void) {
    const char *out_path = getenv("BENCH_PROBE_OUT");
    const char *sleep_text = getenv("BENCH_PROBE_SLEEP_MS");
    long sleep_ms = sleep_text ? atol(sleep_text) : 100;
    if (!out_path) return 3;

    struct timespec pause = {sleep_ms / 1000, (sleep_ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);

    pid_t parent = getppid();
    char status_path[64];
    snprintf(status_path, sizeof status_path, "/proc/%ld/status", (long)parent);
    FILE *in = fopen(status_path, "r");
    FILE *out = fopen(out_path, "w");
    if (!in || !out) return 4;
    fprintf(out, "pid %ld\n", (long)parent);
    char line[256];
    while (fgets(line, sizeof line, in)) {
        for (size_t k = 0; k < sizeof KEYS / sizeof KEYS[0]; ++k) {
            size_t n = strlen(KEYS[k]);
            if (strncmp(line, KEYS[k], n) == 0) {
                long kb = atol(line + n);
                fprintf(out, "%.*s %ld\n", (int)(n - 1), line, kb);
            }
        }
    }
    fclose(in);
    fclose(out);
    return 0;
}
