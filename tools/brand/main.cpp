/*
** tarnwick-brand: gives a copy of the launcher an application's icon and
** version record.  Reads both inputs whole, builds the branded executable
** in memory and writes it in one step, so a refusal or failure at any point
** leaves nothing behind.
*/
#include "tools/brand/brand.h"
#include "tools/brand/command_line.h"
#include "tools/brand/icon_file.h"
#include "tools/brand/tool_io.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

static const int EXIT_DONE = 0;
static const int EXIT_REFUSED = 2;

/* Far more than a launcher or an icon needs; the limits keep a wrong file
** (a disk image, say) from filling the memory. */
static const std::size_t MAX_EXECUTABLE_BYTES = 64u * 1024 * 1024;
static const std::size_t MAX_ICON_BYTES = 16u * 1024 * 1024;

static const std::size_t BYTES_PER_MIB = 1024 * 1024;

static const char *const PREFIX = "tarnwick-brand: ";

/* The tool's own messages go to the stream whatever it leads to, a
** terminal included (the launcher's rule of keeping its lines off a
** terminal is not the tool's). */
static void writeTo(std::FILE *stream, const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

/* Every refusal says that no output was made. */
static int refuse(const std::string &message) {
    writeTo(stderr, PREFIX + message + "; nothing was written\n");
    return EXIT_REFUSED;
}

/* Reads a whole input file, or says why not. */
static bool readInput(const std::string &path, std::size_t limit, std::string *bytes,
                      std::string *message) {
    std::string systemError;
    switch (tool_io::readWholeFile(path, limit, bytes, &systemError)) {
    case tool_io::READ_DONE: return true;
    case tool_io::READ_NOT_A_FILE:
        *message = "cannot read " + path + ": it is not a file";
        return false;
    case tool_io::READ_TOO_LARGE:
        *message = "cannot read " + path + ": it is larger than " +
                   std::to_string(limit / BYTES_PER_MIB) + " MiB";
        return false;
    case tool_io::READ_FAILED: break;
    }
    *message = "cannot read " + path + ": " + systemError + "";
    return false;
}

/* Everything the tool does, between reading its arguments and its exit code. */
static int brandFiles(int argc, char **argv) {
    BrandOptions options;
    Branding branding;
    std::string error;
    if (!parseBrandOptions(tool_io::toolArguments(argc, argv), &options, &error)) {
        writeTo(stderr, PREFIX + error + "\n" + BRAND_USAGE +
                            "Run tarnwick-brand --help for the whole explanation.\n");
        return EXIT_REFUSED;
    }
    if (options.help) {
        writeTo(stdout, BRAND_HELP);
        return EXIT_DONE;
    }
    if (!versionFromOptions(options, &branding, &error)) return refuse(error + "");
    branding.executionLevel = options.executionLevel.value;
    if (tool_io::sameFile(options.input, options.output)) {
        return refuse("the output " + options.output +
                      " is the input itself, which is never changed: name a new file");
    }
    if (tool_io::sameFile(options.icon, options.output)) {
        return refuse("the output " + options.output + " is the icon file itself: name a new file");
    }

    std::string icon, exe, branded;
    if (!readInput(options.icon, MAX_ICON_BYTES, &icon, &error)) return refuse(error);
    if (!readIconFile(icon, &branding.icon, &error)) {
        return refuse("refused the icon " + options.icon + ": " + error + "");
    }
    if (!readInput(options.input, MAX_EXECUTABLE_BYTES, &exe, &error)) return refuse(error);
    if (!brandExecutable(exe, branding, &branded, &error)) {
        return refuse("refused " + options.input + ": " + error + "");
    }
    std::string systemError;
    if (!tool_io::writeFileReplacing(options.output, branded, options.input, &systemError)) {
        return refuse("cannot write " + options.output + ": " + systemError + "");
    }
    return EXIT_DONE;
}

/* Memory the system does not give is a refusal like any other; by then
** nothing has been written (the output's temporary file is made last, from
** bytes already in memory). */
int main(int argc, char **argv) {
    try {
        return brandFiles(argc, argv);
    } catch (const std::bad_alloc &) {
        static const char OUT_OF_MEMORY[] =
            "tarnwick-brand: not enough memory to brand this executable; nothing was written\n";
        std::fwrite(OUT_OF_MEMORY, 1, sizeof OUT_OF_MEMORY - 1, stderr);
        return EXIT_REFUSED;
    }
}
