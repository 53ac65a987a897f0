#include "tools/brand/command_line.h"

#include "tools/brand/manifest.h"
#include "tools/brand/utf16.h"

#define TARNWICK_BRAND_USAGE                                                           \
    "Usage: tarnwick-brand --icon FILE.ico [--name TEXT] [--version N.N.N.N]\n"        \
    "                      [--company TEXT] [--description TEXT] [--copyright TEXT]\n" \
    "                      [--execution-level LEVEL] tarnwick.exe OUTPUT.exe\n"

const char *const BRAND_USAGE = TARNWICK_BRAND_USAGE;

const char *const BRAND_HELP = TARNWICK_BRAND_USAGE
    "\n"
    "Makes a copy of the launcher that shows your application: its icon in\n"
    "Explorer, on the taskbar and in the Start menu, and its name, version and\n"
    "company in the file's Properties and in Task Manager. It runs on Linux,\n"
    "macOS and Windows alike: it edits the executable itself and needs no\n"
    "Windows tools.\n"
    "\n"
    "  --icon FILE.ico     every image of the icon file (all its sizes and\n"
    "                      depths, bitmaps and PNG images) replaces the\n"
    "                      launcher's icon\n"
    "  --name TEXT         the product name (ProductName), and the file\n"
    "                      description when --description is not given\n"
    "  --version N.N.N.N   one to four numbers from 0 to 65535 separated by dots\n"
    "                      (1.2.3 stands for 1.2.3.0): the file and product\n"
    "                      version, as numbers and as texts (FileVersion,\n"
    "                      ProductVersion)\n"
    "  --company TEXT      the company (CompanyName)\n"
    "  --description TEXT  the file description (FileDescription), which Task\n"
    "                      Manager shows as the process's name\n"
    "  --copyright TEXT    the copyright notice (LegalCopyright)\n"
    "  --execution-level LEVEL\n"
    "                      the rights the manifest asks Windows for:\n"
    "                      asInvoker (the user's own, what tarnwick.exe asks),\n"
    "                      highestAvailable (an administrator's, after the\n"
    "                      elevation prompt, when the user is one) or\n"
    "                      requireAdministrator (an administrator's, always);\n"
    "                      the Java application runs with them too; without\n"
    "                      this option the copy keeps the level the input's\n"
    "                      manifest asks for (a branded exe branded again\n"
    "                      keeps its own)\n"
    "  --help              shows this text\n"
    "\n"
    "Any of --name, --version, --company, --description and --copyright adds a\n"
    "version record (language neutral, Unicode) in place of one the executable\n"
    "may have; without --version its numbers are 0.0.0.0. Texts are UTF-8, at\n"
    "most 256 UTF-16 characters each. The executable's other resources stay.\n"
    "\n"
    "The input is never changed. The output is written to a temporary file\n"
    "beside it, flushed to disk, and takes its name only when complete,\n"
    "replacing a file of that name (and keeping its permission bits); it must\n"
    "be neither the input nor the icon file. Interrupted, the tool removes the\n"
    "temporary file.\n"
    "\n"
    "Anything the tool does not fully understand is refused with a message on\n"
    "standard error and exit code 2, and nothing is written: wrong options; a\n"
    "file that is not a Windows executable, or is cut short; a signed\n"
    "executable (the signature would break: brand first, then sign); one with\n"
    "a symbol table, with data after its last section, or with sections after\n"
    "its resources other than the base relocations; one whose sections or\n"
    "resource directory overlap, are out of order or pass their bounds; an\n"
    "icon file that is not one, or whose images are not whole; a task that\n"
    "needs more memory than the system gives. Exit code 0: done.\n";

/* The text options, where their values go and the string of the version
** record each gives. */
struct TextOptionField {
    const char *flag;
    TextOption BrandOptions::*option;
};

static const TextOptionField TEXT_OPTIONS[] = {
    {"--name", &BrandOptions::name},           {"--version", &BrandOptions::version},
    {"--company", &BrandOptions::company},     {"--description", &BrandOptions::description},
    {"--copyright", &BrandOptions::copyright},
};

static const std::size_t FILE_ARGUMENTS = 2;

static const char EXECUTION_LEVEL_FLAG[] = "--execution-level";

/* Whether arg is an option that takes the next argument as its value. */
static bool takesValue(const std::string &arg) {
    if (arg == "--icon" || arg == EXECUTION_LEVEL_FLAG) return true;
    for (const TextOptionField &field : TEXT_OPTIONS) {
        if (arg == field.flag) return true;
    }
    return false;
}

/* --help is looked for first, outside option values: "--name -h" names the
** product "-h". */
bool parseBrandOptions(const std::vector<std::string> &args, BrandOptions *options,
                       std::string *error) {
    *options = BrandOptions();
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (takesValue(args[i])) {
            ++i;
        } else if (args[i] == "--help" || args[i] == "-h") {
            options->help = true;
            return true;
        }
    }
    bool iconGiven = false;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg.compare(0, 2, "--") != 0) {
            files.push_back(arg);
            continue;
        }
        bool known = arg == "--icon";
        bool *given = &iconGiven;
        std::string *value = &options->icon;
        if (arg == EXECUTION_LEVEL_FLAG) {
            known = true;
            given = &options->executionLevel.given;
            value = &options->executionLevel.value;
        }
        for (const TextOptionField &field : TEXT_OPTIONS) {
            if (arg == field.flag) {
                known = true;
                given = &(options->*field.option).given;
                value = &(options->*field.option).value;
            }
        }
        if (!known) {
            *error = "unknown option " + arg;
            return false;
        }
        if (*given) {
            *error = "option " + arg + " is given twice";
            return false;
        }
        if (i + 1 == args.size()) {
            *error = "option " + arg + " needs a value";
            return false;
        }
        *given = true;
        *value = args[++i];
    }
    if (options->executionLevel.given && !isExecutionLevel(options->executionLevel.value)) {
        *error = "the execution level " + options->executionLevel.value +
                 " is none of asInvoker, highestAvailable and requireAdministrator";
        return false;
    }
    if (!iconGiven) {
        *error = "the option --icon is required";
        return false;
    }
    if (files.size() != FILE_ARGUMENTS) {
        *error = "name exactly two files: the launcher to read and the executable to write";
        return false;
    }
    options->input = files[0];
    options->output = files[1];
    return true;
}

/* Converts one text option's value for the string table. */
static bool versionText(const char *flag, const TextOption &option, std::u16string *text,
                        std::string *error) {
    if (!utf8ToUtf16(option.value, text)) {
        *error = std::string("the text of ") + flag + " is not UTF-8";
        return false;
    }
    if (text->size() > MAX_TEXT_UNITS) {
        *error = std::string("the text of ") + flag + " is longer than 256 UTF-16 characters";
        return false;
    }
    return true;
}

/* The strings in the order resource compilers write them; the description
** falls back to the name, since Task Manager shows the description. */
bool versionFromOptions(const BrandOptions &options, Branding *branding, std::string *error) {
    branding->withVersionRecord = false;
    branding->strings.clear();
    branding->version = VersionNumber{{0, 0, 0, 0}};
    bool any = false;
    for (const TextOptionField &field : TEXT_OPTIONS) any = any || (options.*field.option).given;
    if (!any) return true;
    if (options.version.given && !parseVersionNumber(options.version.value, &branding->version)) {
        *error = "the version " + options.version.value +
                 " is not one to four numbers from 0 to 65535 separated by dots";
        return false;
    }
    std::u16string name, version, company, description, copyright;
    if (!versionText("--name", options.name, &name, error) ||
        !versionText("--version", options.version, &version, error) ||
        !versionText("--company", options.company, &company, error) ||
        !versionText("--description", options.description, &description, error) ||
        !versionText("--copyright", options.copyright, &copyright, error)) {
        return false;
    }
    bool hasDescription = options.description.given || options.name.given;
    if (!options.description.given) description = name;
    std::vector<VersionString> &strings = branding->strings;
    if (options.company.given) strings.push_back(VersionString(u"CompanyName", company));
    if (hasDescription) strings.push_back(VersionString(u"FileDescription", description));
    if (options.version.given) strings.push_back(VersionString(u"FileVersion", version));
    if (options.copyright.given) strings.push_back(VersionString(u"LegalCopyright", copyright));
    if (options.name.given) strings.push_back(VersionString(u"ProductName", name));
    if (options.version.given) strings.push_back(VersionString(u"ProductVersion", version));
    branding->withVersionRecord = true;
    return true;
}
