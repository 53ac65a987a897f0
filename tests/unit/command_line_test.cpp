#include "tests/unit/test_support.h"

#include "launcher/command_line.h"
#include "platform/command_line_split.h"

#include <algorithm>
#include <random>

namespace {

struct LineCase {
    const char *name;
    std::vector<const char *> vmparams, vmpaths, args;
    const char *mainClass;
    int vista;
    const char *expected;
    bool posixNames = false; /* names may hold quotes and tabs, as on POSIX */
};

class CommandLine : public LauncherTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(CommandLine, IsAssembledPieceByPiece) {
    const LineCase &c = GetParam();
    settings.javapath = keepText("D:\\Java\\jre6\\bin\\javaw.exe");
    for (const char *p : c.vmparams) appendToList(LIST_VMPARAMS, keepText(p));
    for (const char *p : c.vmpaths) appendToList(LIST_VMPATHS, keepText(p));
    for (const char *a : c.args) appendToList(LIST_ARGS, keepText(a));
    if (c.mainClass) settings.mainClass = keepText(c.mainClass);
    settings._isVista = c.vista;
    fake::state.posixNames = c.posixNames;
    EXPECT_EQ(buildJavaCommandLine(javaCommandOf(settings)), c.expected) << c.name;
}

#define JAVAW "D:\\Java\\jre6\\bin\\javaw.exe "
INSTANTIATE_TEST_SUITE_P(
    Layout, CommandLine,
    ::testing::Values(
        LineCase{"example before Vista",
                 {"-Xmx256m", "-Dmode=1"},
                 {"lib/*", "app.jar"},
                 {"alpha", "beta gamma"},
                 "app.Main",
                 0,
                 JAVAW "-Xmx256m -Dmode=1 -classpath lib/*;app.jar app.Main alpha \"beta gamma\" "},
        LineCase{"example on Vista",
                 {"-Xmx256m", "-Dmode=1"},
                 {"lib/*", "app.jar"},
                 {"alpha", "beta gamma"},
                 "app.Main",
                 1,
                 JAVAW
                 "-Xmx256m -Dmode=1 -classpath lib/*;app.jar app.Main \"alpha\" \"beta gamma\" "},
        /* An empty class path would take the main class's place. */
        LineCase{"nothing configured", {}, {}, {}, nullptr, 0, JAVAW},
        LineCase{"no class path", {"-Xmx1g"}, {}, {}, "M", 0, JAVAW "-Xmx1g M"},
        LineCase{"one empty class-path entry", {}, {""}, {"a"}, "M", 0, JAVAW "M a "},
        LineCase{
            "two empty entries are a class path", {}, {"", ""}, {}, "M", 0, JAVAW "-classpath ; M"},
        LineCase{"class path with a blank",
                 {},
                 {"lib/*", "my app.jar"},
                 {},
                 "M",
                 1,
                 JAVAW "-classpath \"lib/*;my app.jar\" M"},
        LineCase{
            "tab in class path is no blank", {}, {"a\tb"}, {}, "M", 0, JAVAW "-classpath a\tb M"},
        /* POSIX names may hold a tab or a quote: they are kept and escaped,
        ** unless the entry has a blank, whose quotes are an expansion's. */
        LineCase{"POSIX: tab in an entry",
                 {},
                 {"lib\tdir", "b"},
                 {},
                 "M",
                 0,
                 JAVAW "-classpath \"lib\tdir;b\" M",
                 true},
        LineCase{"POSIX: quote in an entry",
                 {},
                 {"a\"b", "c\\\"d\\"},
                 {},
                 "M",
                 0,
                 JAVAW "-classpath \"a\\\"b;c\\\\\\\"d\\\\\" M",
                 true},
        LineCase{"POSIX: an expanded folder with a blank beside a quoted name",
                 {},
                 {"\"/opt/my app\"/lib", "x\"y"},
                 {},
                 "M",
                 0,
                 JAVAW "-classpath \"/opt/my app/lib;x\\\"y\" M",
                 true},
        LineCase{"POSIX: a plain class path is not quoted",
                 {},
                 {"lib/*", "a.jar"},
                 {},
                 "M",
                 0,
                 JAVAW "-classpath lib/*;a.jar M",
                 true},
        LineCase{"entry quotes give way to the enclosing pair",
                 {},
                 {"\"C:/Program Files/x\"/lib", "a.jar"},
                 {},
                 "M",
                 0,
                 JAVAW "-classpath \"C:/Program Files/x/lib;a.jar\" M"},
        LineCase{"trailing backslash before the class path's closing quote",
                 {},
                 {"lib", "my dir\\"},
                 {"a"},
                 "M",
                 0,
                 JAVAW "-classpath \"lib;my dir\\\\\" M a "},
        LineCase{"quotes kept where nothing encloses",
                 {},
                 {"\"C:/x\"/lib"},
                 {},
                 "M",
                 0,
                 JAVAW "-classpath \"C:/x\"/lib M"},
        LineCase{"unset main class with args", {}, {}, {"a"}, nullptr, 0, JAVAW " a "},
        LineCase{"JVM parameter never quoted",
                 {"-Dx=a b", "-Dq=\"c\""},
                 {},
                 {},
                 "M",
                 1,
                 JAVAW "-Dx=a b -Dq=\"c\" M"},
        LineCase{"quote in argument",
                 {},
                 {},
                 {"say \"hi\"", "a\"b"},
                 "M",
                 0,
                 JAVAW "M \"say \\\"hi\\\"\" \"a\\\"b\" "},
        LineCase{"trailing backslash on Vista",
                 {},
                 {},
                 {"C:\\", "x\\y"},
                 "M",
                 1,
                 JAVAW "M \"C:\\\\\" \"x\\y\" "},
        LineCase{"trailing backslash before Vista", {}, {}, {"C:\\"}, "M", 0, JAVAW "M C:\\ "},
        LineCase{"empty and tab arguments", {}, {}, {"", "a\tb"}, "M", 0, JAVAW "M \"\" \"a\tb\" "},
        LineCase{"backslashes before a quote",
                 {},
                 {},
                 {"a\\\\\"b"},
                 "M",
                 0,
                 JAVAW "M \"a\\\\\\\\\\\"b\" "}));
#undef JAVAW

TEST_F(LauncherTest, EachEnclosedArgumentShowsItsDebugBox) {
    settings.javapath = keepText("java");
    settings._debug = 1;
    settings._isVista = 1;
    appendToList(LIST_ARGS, keepText("one"));
    appendToList(LIST_ARGS, keepText("two"));
    buildJavaCommandLine(javaCommandOf(settings));
    ASSERT_EQ(fake::state.boxes.size(), 2u);
    EXPECT_EQ(fake::state.boxes[0].caption, "Adding double quotes around");
    EXPECT_EQ(fake::state.boxes[0].text, "one");
    EXPECT_EQ(fake::state.boxes[1].text, "two");

    fake::reset();
    settings.javapath = keepText("java");
    settings._debug = 1;
    appendToList(LIST_ARGS, keepText("plain"));
    buildJavaCommandLine(javaCommandOf(settings));
    EXPECT_TRUE(fake::state.boxes.empty());
}

/* Any argument list, any "-D" option of the launcher's command line and, on
** POSIX, any class-path entry survive assembly and the Windows splitting
** rules unchanged, whatever the system version.  (An entry with a blank
** loses its quotes: those group an expanded folder.) */
TEST_F(LauncherTest, TokensRoundTripThroughTheWindowsRules) {
    std::mt19937 random(20261207);
    const std::string alphabet = "ab \t\"\\\\\\=-:/.$";
    auto randomText = [&](std::size_t maxLength) {
        std::string text;
        for (std::size_t i = random() % (maxLength + 1); i > 0; --i)
            text += alphabet[random() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 4000; ++round) {
        fake::reset();
        settings.javapath = keepText("\"C:\\Program Files\\Java\\bin\\javaw.exe\"");
        settings.mainClass = keepText("app.Main");
        settings._isVista = round % 2;
        fake::state.posixNames = true;
        std::vector<std::string> expected = {"C:\\Program Files\\Java\\bin\\javaw.exe"};

        std::string option = "-D" + randomText(6);
        appendToList(LIST_VMPARAMS, jvmOptionToken(keepText(option)));
        expected.push_back(option);

        std::string classPath;
        for (int i = random() % 3; i > 0; --i) {
            std::string entry = randomText(5);
            appendToList(LIST_VMPATHS, keepText(entry));
            if (entry.find(' ') != std::string::npos)
                entry.erase(std::remove(entry.begin(), entry.end(), '"'), entry.end());
            classPath += (settings.vmpathsCnt > 1 ? ";" : "") + entry;
        }
        if (!classPath.empty()) {
            expected.push_back("-classpath");
            expected.push_back(classPath);
        }
        expected.push_back("app.Main");

        for (int i = random() % 6; i > 0; --i) {
            std::string arg = randomText(7);
            appendToList(LIST_ARGS, keepText(arg));
            expected.push_back(arg);
        }
        std::string line = buildJavaCommandLine(javaCommandOf(settings));
        ASSERT_EQ(splitWindowsCommandLine(line.c_str()), expected) << "command line: " << line;
    }
}

/* A runtime path with a blank is one token however it was written: the
** system must never try a shorter path cut at the blank. */
TEST_F(LauncherTest, JavaPathIsEnclosedWhenABlankWouldCutIt) {
    struct {
        const char *javapath, *firstToken;
    } cases[] = {
        {"C:\\Apps\\My App\\jre\\bin\\javaw.exe", "\"C:\\Apps\\My App\\jre\\bin\\javaw.exe\""},
        {"runtime dir\\bin\\javaw.exe", "\"runtime dir\\bin\\javaw.exe\""},
        {"C:\\tab\there\\javaw.exe", "\"C:\\tab\there\\javaw.exe\""},
        /* Already quoted, by the registry lookup or by an expansion. */
        {"\"C:\\Program Files\\Java\\bin\\javaw.exe\"",
         "\"C:\\Program Files\\Java\\bin\\javaw.exe\""},
        {"\"C:/Program Files/Java\"/bin/javaw.exe", "\"C:/Program Files/Java\"/bin/javaw.exe"},
        {"C:\\jre\\bin\\javaw.exe", "C:\\jre\\bin\\javaw.exe"},
    };
    for (const auto &c : cases) {
        fake::reset();
        settings.javapath = keepText(c.javapath);
        settings.mainClass = keepText("M");
        std::string line = buildJavaCommandLine(javaCommandOf(settings));
        EXPECT_EQ(line, std::string(c.firstToken) + " M") << c.javapath;
    }
}

/* Class paths of expanded folders, quoted or not, reach the runtime as one
** argument holding every entry. */
TEST_F(LauncherTest, ClassPathStaysOneArgument) {
    std::vector<std::vector<std::string>> cases = {
        {"\"C:/Program Files/App\"/lib/*", "my app.jar", "plain.jar"},
        {"\"C:/Program Files/App/lib\"", "\"D:/x y\""},
        {"lib/*"},
    };
    for (const auto &entries : cases) {
        fake::reset();
        settings.javapath = keepText("java");
        settings.mainClass = keepText("M");
        std::string expected;
        for (const std::string &entry : entries) {
            appendToList(LIST_VMPATHS, keepText(entry));
            if (!expected.empty()) expected += ';';
            for (char c : entry)
                if (c != '"') expected += c;
        }
        std::vector<std::string> split =
            splitWindowsCommandLine(buildJavaCommandLine(javaCommandOf(settings)).c_str());
        ASSERT_EQ(split.size(), 4u);
        EXPECT_EQ(split[2], expected);
        EXPECT_EQ(split[3], "M");
    }
}

} // namespace
