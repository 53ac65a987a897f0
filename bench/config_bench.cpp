/*
** Times the configuration reader alone, in process, over real files.
**
** Linked with the launcher's logic library and the real POSIX platform, so
** every line goes through the same file reading, keyword matching,
** expansion, setenv and include code as in the launcher; only the process
** start and the launch are left out.
**
** Usage: config_bench ROUNDS WARMUP DIR...
** Each DIR holds a Demo.config (which may include further files, relative to
** DIR, as the launcher reads them from its own directory).  Every round
** reads every DIR's configuration once, in an order that rotates from round
** to round; before each read the settings go back to zero and the current
** directory becomes DIR (both outside the timed part).  Output, one line a
** read after the warm-up:  <dir index> <ns> <vmparams> <vmpaths>
** (the last two show that the lines took effect).
*/
#include "config/config.h"
#include "core/settings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: config_bench ROUNDS WARMUP DIR...\n");
        return 2;
    }
    int rounds = std::atoi(argv[1]);
    int warmup = std::atoi(argv[2]);
    std::vector<std::string> dirs(argv + 3, argv + argc);
    int count = static_cast<int>(dirs.size());

    for (int round = -warmup; round < rounds; ++round) {
        int first = (round + warmup) % count;
        for (int k = 0; k < count; ++k) {
            int index = (first + k) % count;
            resetSettings();
            settings._quietMode = 1; /* a problem is printed, never a box */
            if (chdir(dirs[index].c_str()) != 0) {
                std::perror(dirs[index].c_str());
                return 1;
            }
            auto start = std::chrono::steady_clock::now();
            int result = readAppConfig("Demo.config");
            auto end = std::chrono::steady_clock::now();
            if (result != 0) {
                std::fprintf(stderr, "config_bench: %s/Demo.config could not be read\n",
                             dirs[index].c_str());
                return 1;
            }
            long long ns =
                std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
            if (round >= 0)
                std::printf("%d %lld %d %d\n", index, ns, settings.vmparamsCnt,
                            settings.vmpathsCnt);
        }
    }
    return 0;
}
