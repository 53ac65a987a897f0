/*
** Fuzz target: fast start's jar reader over arbitrary files.
**
** The input is read three ways: as a jar (its end record, central directory
** and manifest, with the Class-Path followed into the inflater), as a
** DEFLATE stream, and as a manifest's text.  Besides ending without a
** sanitizer report, every result must obey what holds for any file:
**  - a jar is read or refused with one of the reasons the reader gives, and
**    reading it again gives the same digest and Class-Path;
**  - an inflated stream is never longer than its limit;
**  - a manifest's Class-Path holds no line break and begins with no blank.
*/
#include "launcher/jar_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

/* A limit small enough that streams reach it often. */
constexpr std::size_t INFLATE_LIMIT = 4096;

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "fuzz_jar_file: %s\n", what);
    std::abort();
}

bool fromString(void *source, unsigned long long offset, std::size_t length, std::string *out) {
    const std::string &file = *static_cast<const std::string *>(source);
    if (offset > file.size() || file.size() - offset < length) return false;
    *out = file.substr(static_cast<std::size_t>(offset), length);
    return true;
}

bool isReason(const char *why) {
    return std::strcmp(why, "cannot be read as a zip file") == 0 ||
           std::strcmp(why, "has a central directory over 16 MiB") == 0 ||
           std::strcmp(why, "has a manifest that is over 1 MiB or cannot be read") == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string input(reinterpret_cast<const char *>(data), size);
    JarIndex index, again;
    const char *why = "";
    if (readJarIndex(fromString, &input, input.size(), true, &index, &why)) {
        if (!readJarIndex(fromString, &input, input.size(), true, &again, &why) ||
            again.digest != index.digest || again.classPath != index.classPath)
            fail("a jar read twice gave two answers");
    } else if (!isReason(why)) {
        fail("a refusal without a reason");
    }
    std::string out;
    if (inflateData(input, INFLATE_LIMIT, &out) && out.size() > INFLATE_LIMIT)
        fail("an inflated stream passed its limit");
    std::string classPath = manifestClassPath(input);
    if (classPath.find_first_of("\r\n") != std::string::npos ||
        (!classPath.empty() && classPath[0] == ' '))
        fail("a Class-Path with a line break or a leading blank");
    return 0;
}
