/*
** Times the start of programs, interleaved.
**
** Usage: spawn_timer ROUNDS WARMUP CMD0 [;; CMD1 ...]
** Each CMD is a program path and its arguments; ";;" separates commands.
** Every round runs every command once, in an order that rotates from round
** to round (round r starts with command r mod K), so that no command always
** runs first or after the same neighbour.  WARMUP rounds run first and are
** not reported.
**
** Each run is one posix_spawn and one wait4 with standard input, output and
** error on /dev/null.  Output, one line a run:
**   <command index> <wall ns> <child user+system CPU ns> <exit status>
** The exit status is the raw wait status (0 for a normal end with code 0).
*/
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

enum { MAX_COMMANDS = 16 };

static long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static long long timeval_ns(struct timeval tv) {
    return (long long)tv.tv_sec * 1000000000LL + (long long)tv.tv_usec * 1000LL;
}

int main(int argc, char **argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: spawn_timer ROUNDS WARMUP CMD [;; CMD ...]\n");
        return 2;
    }
    int rounds = atoi(argv[1]);
    int warmup = atoi(argv[2]);
    char **commands[MAX_COMMANDS];
    int count = 0;
    commands[count++] = &argv[3];
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], ";;") != 0) continue;
        argv[i] = NULL;
        if (count == MAX_COMMANDS) {
            fprintf(stderr, "spawn_timer: at most %d commands\n", MAX_COMMANDS);
            return 2;
        }
        commands[count++] = &argv[i + 1];
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    for (int round = -warmup; round < rounds; ++round) {
        int first = (round + warmup) % count;
        for (int k = 0; k < count; ++k) {
            int index = (first + k) % count;
            char **cmd = commands[index];
            pid_t pid;
            struct rusage usage;
            int status = 0;
            long long start = now_ns();
            int error = posix_spawn(&pid, cmd[0], &actions, NULL, cmd, environ);
            if (error != 0) {
                fprintf(stderr, "spawn_timer: cannot start %s: %s\n", cmd[0], strerror(error));
                return 1;
            }
            while (wait4(pid, &status, 0, &usage) < 0)
                ;
            long long wall = now_ns() - start;
            long long cpu = timeval_ns(usage.ru_utime) + timeval_ns(usage.ru_stime);
            if (round >= 0) printf("%d %lld %lld %d\n", index, wall, cpu, status);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return 0;
}
