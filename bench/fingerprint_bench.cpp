/*
** Times fast start's fingerprint alone, in process, over real jars.
**
** Linked with the launcher's logic library and the real POSIX platform, so
** every jar goes through the same file reading, central-directory digest
** and manifest reading as at a start; the process start and the launch are
** left out.
**
** Usage: fingerprint_bench ROUNDS WARMUP HOME VERSION FOLDER...
** The class path is "FOLDER/*" for each FOLDER (as "addjars" gives it);
** HOME and VERSION are the runtime's.  Output, one line a fingerprint after
** the warm-up:  <ns> <fingerprint>
*/
#include "core/settings.h"
#include "launcher/fast_start.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: fingerprint_bench ROUNDS WARMUP HOME VERSION FOLDER...\n");
        return 2;
    }
    int rounds = std::atoi(argv[1]);
    int warmup = std::atoi(argv[2]);
    JavaCommand command;
    command.mainClass = "org.apache.tools.ant.launch.Launcher";
    for (int i = 5; i < argc; ++i) command.classPath.push_back(std::string(argv[i]) + "/*");
    for (int round = -warmup; round < rounds; ++round) {
        std::string fingerprint;
        auto start = std::chrono::steady_clock::now();
        bool made = fastStartFingerprint(command, argv[3], argv[4], &fingerprint);
        auto end = std::chrono::steady_clock::now();
        if (!made) {
            std::fprintf(stderr, "fingerprint_bench: no fingerprint: %s\n", fingerprint.c_str());
            return 1;
        }
        long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
        if (round >= 0) std::printf("%lld %s\n", ns, fingerprint.c_str());
    }
    return 0;
}
