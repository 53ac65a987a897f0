/*
** Helpers shared by the tests of the POSIX platform layer: scratch folders,
** made-up Java runtimes, and an environment that is put back after a test.
*/
#ifndef TARNWICK_POSIX_TEST_SUPPORT_H
#define TARNWICK_POSIX_TEST_SUPPORT_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace posixtest {

namespace fs = std::filesystem;

/* A fresh folder under the system's temporary folder, removed with all it
** holds when the object goes. */
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "tarnwick-posix-XXXXXX").string();
        char *made = mkdtemp(&pattern[0]);
        /* Canonical, so that it compares equal to the real paths the
        ** registry emulation presents (on macOS /tmp is a symlink). */
        path_ = made ? fs::canonical(made) : fs::path();
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const fs::path &path() const { return path_; }
    std::string operator/(const std::string &name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

/* Writes text to a file, making its folder first. */
inline void writeFile(const std::string &path, const std::string &text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/* What a made-up runtime home holds. */
struct RuntimeShape {
    bool javaExecutable = true; /* bin/java present and executable */
    bool javaPresent = true;    /* bin/java present at all */
    std::string release;        /* the release file's text; empty: no file */
};

/* Makes a runtime home at home: bin/java (a tiny shell script) and a release
** file naming version. */
inline void makeRuntime(const std::string &home, const std::string &version) {
    writeFile(home + "/bin/java", "#!/bin/sh\nexit 0\n");
    fs::permissions(home + "/bin/java",
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    writeFile(home + "/release",
              "IMPLEMENTOR=\"Test\"\nJAVA_VERSION=\"" + version + "\"\nOS_NAME=\"Linux\"\n");
}

inline void makeRuntime(const std::string &home, const RuntimeShape &shape) {
    fs::create_directories(home);
    if (shape.javaPresent) {
        writeFile(home + "/bin/java", "#!/bin/sh\nexit 0\n");
        fs::perms perms = shape.javaExecutable ? fs::perms::owner_all
                                               : fs::perms::owner_read | fs::perms::owner_write;
        fs::permissions(home + "/bin/java", perms);
    }
    if (!shape.release.empty()) writeFile(home + "/release", shape.release);
}

/* Remembers the variables a test may change and puts them back. */
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(std::vector<std::string> names) {
        for (const std::string &name : names) {
            const char *value = std::getenv(name.c_str());
            saved_[name] = value ? std::make_pair(true, std::string(value))
                                 : std::make_pair(false, std::string());
        }
    }
    ~EnvironmentGuard() {
        for (const auto &entry : saved_) {
            if (entry.second.first)
                setenv(entry.first.c_str(), entry.second.second.c_str(), 1);
            else
                unsetenv(entry.first.c_str());
        }
    }
    EnvironmentGuard(const EnvironmentGuard &) = delete;
    EnvironmentGuard &operator=(const EnvironmentGuard &) = delete;

private:
    std::map<std::string, std::pair<bool, std::string>> saved_;
};

} // namespace posixtest

#endif
