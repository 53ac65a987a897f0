/*
** The POSIX platform layer below the registry: starting and waiting for
** children, message boxes on the terminal, text files and the small services
** the launcher relies on.
*/
#include "platform/platform.h"
#include "posix_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace posixtest;

namespace {

const int STILL_ACTIVE_CODE = 259;

/* Puts replacement in place of descriptor target until the object goes; a
** target that was not open is closed again. */
class RedirectedDescriptor {
public:
    RedirectedDescriptor(int target, int replacement) : target_(target), saved_(dup(target)) {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(replacement, target);
    }
    ~RedirectedDescriptor() {
        std::fflush(stdout);
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, target_);
            close(saved_);
        } else {
            close(target_);
        }
    }
    RedirectedDescriptor(const RedirectedDescriptor &) = delete;
    RedirectedDescriptor &operator=(const RedirectedDescriptor &) = delete;

private:
    int target_;
    int saved_;
};

/* Collects what is written to a descriptor into a file of the scratch folder. */
class CapturedOutput {
public:
    CapturedOutput(int target, const std::string &file)
        : file_(file), fd_(open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600)),
          redirect_(target, fd_) {}
    ~CapturedOutput() { close(fd_); }
    std::string text() const { return readFile(file_); }

private:
    std::string file_;
    int fd_;
    RedirectedDescriptor redirect_;
};

/* Starts commandLine and returns its exit code, or -1000 - errno when it
** cannot be started. */
int runToEnd(const std::string &commandLine, const char *directory = nullptr) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    platform::ChildProcess child = nullptr;
    unsigned long error = 0;
    if (!platform::startProcess(line.data(), 0, directory, nullptr, &child, &error))
        return -1000 - static_cast<int>(error);
    platform::waitForProcess(child);
    int code = platform::processExitCode(child);
    platform::releaseProcess(child);
    return code;
}

/* True when this process has no child left, running or unreaped. */
bool noChildrenLeft() { return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

class PosixProcess : public ::testing::Test {
protected:
    EnvironmentGuard guard{{"PATH", "TARNWICK_TEST_CODE"}};
    ScratchFolder scratch;
};

TEST_F(PosixProcess, TheChildReceivesTheArgumentsOfTheWindowsSplitUnchanged) {
    struct Case {
        const char *written;
        const char *received;
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"\"two words\"", "two words"},
        {"say\\\"hi\\\"", "say\"hi\""},
        {"\"\"", ""},
        {"\"trailing\\\\\"", "trailing\\"},
        {"back\\\\slash", "back\\\\slash"},
        {"\"tab\tinside\"", "tab\tinside"},
        {"'single'", "'single'"},
        {"$HOME", "$HOME"},
        {"*", "*"},
        {"a\"b c\"d", "ab cd"},
    };
    const std::string out = scratch / "args.txt";
    std::string commandLine = "/bin/sh -c \"printf '<%s>\\n' \\\"$@\\\" > \\\"$0\\\"\" " + out;
    std::string expected;
    for (const Case &c : cases) {
        commandLine += std::string(" ") + c.written;
        expected += std::string("<") + c.received + ">\n";
    }
    ASSERT_EQ(0, runToEnd(commandLine));
    EXPECT_EQ(expected, readFile(out));
}

TEST_F(PosixProcess, ExitStatusAndSignalsBecomeTheExitCode) {
    struct Case {
        const char *commandLine;
        int code;
    };
    const std::vector<Case> cases = {
        {"/bin/sh -c \"exit 0\"", 0},
        {"/bin/sh -c \"exit 3\"", 3},
        {"/bin/sh -c \"exit 231\"", 231},
        {"/bin/sh -c \"kill -TERM $$\"", 128 + SIGTERM},
        {"/bin/sh -c \"kill -KILL $$\"", 128 + SIGKILL},
        {"sh -c \"exit 4\"", 4}, /* found on PATH */
    };
    for (const Case &c : cases) EXPECT_EQ(c.code, runToEnd(c.commandLine)) << c.commandLine;
    EXPECT_TRUE(noChildrenLeft());
}

TEST_F(PosixProcess, TheChildStartsInTheGivenDirectoryOrInOurs) {
    fs::create_directories(scratch / "start here");
    const std::string out = scratch / "pwd.txt";
    const std::string commandLine = "/bin/sh -c \"pwd -P > \\\"$0\\\"\" " + out;

    ASSERT_EQ(0, runToEnd(commandLine, (scratch / "start here").c_str()));
    EXPECT_EQ(fs::canonical(scratch / "start here").string() + "\n", readFile(out));

    ASSERT_EQ(0, runToEnd(commandLine));
    EXPECT_EQ(fs::canonical(fs::current_path()).string() + "\n", readFile(out));
}

TEST_F(PosixProcess, TheChildInheritsTheEnvironmentAsItIsNow) {
    platform::setEnvironment("TARNWICK_TEST_CODE", "7");
    EXPECT_EQ(7, runToEnd("/bin/sh -c \"exit ${TARNWICK_TEST_CODE:-9}\""));
    platform::setEnvironment("TARNWICK_TEST_CODE", nullptr);
    EXPECT_EQ(9, runToEnd("/bin/sh -c \"exit ${TARNWICK_TEST_CODE:-9}\""));
}

TEST_F(PosixProcess, AFailedStartReportsTheSystemErrorAndLeavesNoChild) {
    writeFile(scratch / "not-executable", "#!/bin/sh\nexit 0\n");
    writeFile(scratch / "bad-interpreter", "#!/nonexistent/interpreter\n");
    fs::permissions(scratch / "bad-interpreter", fs::perms::owner_all);
    struct Case {
        std::string commandLine;
        const char *directory;
        int error;
    };
    const std::vector<Case> cases = {
        {"/nonexistent/bin/java -version", nullptr, ENOENT},
        {"tarnwick-no-such-program -version", nullptr, ENOENT},
        {"\"" + scratch / "bad-interpreter" + "\" x", nullptr, ENOENT},
        {"\"" + scratch / "not-executable" + "\"", nullptr, EACCES},
        {"/bin/sh -c true", "/nonexistent/folder", ENOENT},
    };
    for (const Case &c : cases) {
        std::vector<char> line(c.commandLine.begin(), c.commandLine.end());
        line.push_back('\0');
        platform::ChildProcess child = &child;
        unsigned long error = 0;
        EXPECT_FALSE(platform::startProcess(line.data(), 0, c.directory, nullptr, &child, &error))
            << c.commandLine;
        EXPECT_EQ(static_cast<unsigned long>(c.error), error) << c.commandLine;
        EXPECT_EQ(nullptr, child);
        EXPECT_TRUE(noChildrenLeft()) << c.commandLine;
    }
    EXPECT_EQ(std::string(std::strerror(ENOENT)), platform::systemErrorText(ENOENT));
}

TEST_F(PosixProcess, ARunningChildIsStillActiveUntilItEnds) {
    int gate[2];
    ASSERT_EQ(0, pipe(gate));
    fcntl(gate[1], F_SETFD, FD_CLOEXEC);
    const int childReadFd = 8;
    {
        RedirectedDescriptor readEnd(childReadFd, gate[0]);
        close(gate[0]);
        char commandLine[] = "/bin/sh -c \"read line <&8; exit 5\"";
        platform::ChildProcess child = nullptr;
        unsigned long error = 0;
        ASSERT_TRUE(platform::startProcess(commandLine, 0, nullptr, nullptr, &child, &error));
        /* The child blocks on the gate until it is closed. */
        EXPECT_EQ(STILL_ACTIVE_CODE, platform::processExitCode(child));
        close(gate[1]);
        platform::waitForProcess(child);
        EXPECT_EQ(5, platform::processExitCode(child));
        platform::releaseProcess(child);
    }
}

TEST_F(PosixProcess, TheOpenerIsStartedWithTheFileOrPageAndNotWaitedFor) {
    /* A stand-in opener on PATH reports its argument through an inherited
    ** pipe; the pipe ends when the opener ends. */
#ifdef __APPLE__
    const std::string opener = "open";
#else
    const std::string opener = "xdg-open";
#endif
    writeFile(scratch / ("bin/" + opener), "#!/bin/sh\nprintf '<%s>' \"$@\" >&9\n");
    fs::permissions(scratch / ("bin/" + opener), fs::perms::owner_all);
    setenv("PATH", (scratch / "bin" + ":/usr/bin:/bin").c_str(), 1);

    struct OpenCase {
        const char *target;
        bool webPage;
    };
    for (OpenCase c : {OpenCase{"/var/log/my app.log", false},
                       OpenCase{"https://example.com/get java?x=1", true}}) {
        int report[2];
        ASSERT_EQ(0, pipe(report));
        {
            RedirectedDescriptor writeEnd(9, report[1]);
            close(report[1]);
            if (c.webPage)
                EXPECT_TRUE(platform::openWebPage(c.target));
            else
                platform::openWithAssociatedProgram(c.target);
        }
        EXPECT_TRUE(noChildrenLeft());
        std::string received;
        char buffer[256];
        ssize_t got;
        while ((got = read(report[0], buffer, sizeof buffer)) > 0)
            received.append(buffer, static_cast<std::size_t>(got));
        close(report[0]);
        EXPECT_EQ("<" + std::string(c.target) + ">", received);
    }

    /* Without an opener on PATH a page cannot be opened, and nothing runs. */
    setenv("PATH", (scratch / "empty").c_str(), 1);
    EXPECT_FALSE(platform::openWebPage("https://example.com/"));
    EXPECT_TRUE(noChildrenLeft());
}

/* Once a child has ended, a request to end has no child to go to and must
** not be followed by another start: the launcher ends with 128 + its
** number, whether the signal comes between two starts or as the child ends,
** before the launcher has looked.  (Death tests: the launcher's own process
** ends.) */
TEST(PosixSignals, ARequestToEndWithoutAChildEndsTheLauncher) {
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        EXPECT_EXIT(
            {
                runToEnd("/bin/sh -c \"exit 231\"");
                kill(getpid(), number);
                _exit(1);
            },
            ::testing::ExitedWithCode(128 + number), "")
            << number;
    }
    EXPECT_EXIT(
        {
            char commandLine[] = "/bin/sh -c \"exit 231\"";
            platform::ChildProcess child = nullptr;
            unsigned long error = 0;
            if (!platform::startProcess(commandLine, 0, nullptr, nullptr, &child, &error)) _exit(2);
            siginfo_t ended;
            waitid(P_ALL, 0, &ended, WEXITED | WNOWAIT); /* ended, not yet reaped */
            kill(getpid(), SIGTERM);
            platform::waitForProcess(child);
            _exit(1);
        },
        ::testing::ExitedWithCode(128 + SIGTERM), "");
}

TEST(PosixServices, ExitProcessFlushesWhatWasBuffered) {
    int output[2];
    ASSERT_EQ(0, pipe(output));
    std::fflush(stdout);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        std::printf("buffered without a line feed");
        platform::exitProcess(42);
    }
    close(output[1]);
    std::string received;
    char buffer[256];
    ssize_t got;
    while ((got = read(output[0], buffer, sizeof buffer)) > 0)
        received.append(buffer, static_cast<std::size_t>(got));
    close(output[0]);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(42, WEXITSTATUS(status));
    EXPECT_EQ("buffered without a line feed", received);
}

TEST(PosixServices, LauncherLinesAreWrittenAtOnceOnStandardError) {
    ScratchFolder scratch;
    std::string text;
    {
        CapturedOutput captured(STDERR_FILENO, scratch / "out.txt");
        platform::writeLauncherOutput("#Command line=\n");
        ssize_t ignored = write(STDERR_FILENO, "child\n", 6);
        (void)ignored;
        text = captured.text();
    }
    EXPECT_EQ("#Command line=\nchild\n", text);
}

TEST(PosixServices, ProgramDirectoryIsThePartBeforeTheLastSlashOfAnAbsolutePath) {
    struct Case {
        const char *path;
        std::size_t length;
    };
    const std::vector<Case> cases = {
        {"/opt/apps/tool", 9},
        {"/tool", 1},
        {"/", 1},
        {"/opt/apps/", 9},
        {"tool", platform::NO_PROGRAM_DIRECTORY},
        {"./tool", platform::NO_PROGRAM_DIRECTORY},
        {"bin/tool", platform::NO_PROGRAM_DIRECTORY},
        {"", platform::NO_PROGRAM_DIRECTORY},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.length, platform::programDirectoryLength(c.path)) << c.path;
}

TEST(PosixServices, CurrentDirectoryFailsEmptyWhenTheBufferIsTooSmall) {
    std::string cwd = fs::current_path().string();
    std::vector<char> buffer(cwd.size() + 1, '#');
    EXPECT_FALSE(platform::currentDirectory(buffer.data(), cwd.size()));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_TRUE(platform::currentDirectory(buffer.data(), buffer.size()));
    EXPECT_EQ(cwd, std::string(buffer.data()));
}

/* The fast start's cache holds what the launcher hands to Java: every
** folder made on the way is the user's alone, whatever the umask lets
** through, and a folder that others may write to shows as such. */
TEST(PosixServices, PrivateFoldersAreTheUsersAlone) {
    ScratchFolder scratch;
    struct Case {
        std::vector<std::string> folders; /* made in turn */
        mode_t existingMode;              /* of the last one, made before; 0: none */
        bool othersMayWrite, sticky;
    };
    const std::vector<Case> cases = {
        {{"cache", "cache/tarnwick", "cache/tarnwick/archives"}, 0, false, false},
        {{"own"}, 0700, false, false},
        {{"group-writable"}, 0770, true, false},
        {{"world-writable"}, 0707, true, false},
        {{"shared"}, 01777, true, true},
    };
    for (const Case &c : cases) {
        const std::string path = scratch / c.folders.back();
        if (c.existingMode != 0) {
            ASSERT_EQ(0, mkdir(path.c_str(), 0700));
            ASSERT_EQ(0, chmod(path.c_str(), c.existingMode));
        }
        mode_t savedMask = umask(0777);
        for (const std::string &folder : c.folders)
            EXPECT_EQ(c.existingMode == 0, platform::makeUserFolder((scratch / folder).c_str()))
                << folder;
        umask(savedMask);
        platform::FolderAccess access;
        ASSERT_TRUE(platform::folderAccess(path.c_str(), &access)) << path;
        EXPECT_TRUE(access.ownedByUser) << path;
        EXPECT_EQ(c.othersMayWrite, access.othersMayWrite) << path;
        EXPECT_EQ(c.sticky, access.othersMayOnlyAdd) << path;
        if (c.existingMode != 0) continue;
        for (const std::string &folder : c.folders) {
            struct stat info;
            ASSERT_EQ(0, stat((scratch / folder).c_str(), &info)) << folder;
            EXPECT_EQ(0700u, info.st_mode & 07777) << folder;
        }
    }
    EXPECT_FALSE(platform::folderAccess((scratch / "missing").c_str(), nullptr));
}

class PosixMessageBox : public ::testing::Test {
protected:
    ScratchFolder scratch;
};

TEST_F(PosixMessageBox, ABoxIsWrittenAsCaptionAndText) {
    std::string text;
    int answer;
    {
        CapturedOutput captured(STDERR_FILENO, scratch / "err.txt");
        answer =
            platform::messageBox("first line\nsecond line", "Error!", platform::MSGBOX_ICONERROR);
        text = captured.text();
    }
    EXPECT_NE(platform::MSGBOX_ANSWER_YES, answer);
    EXPECT_EQ("Error!: first line\nsecond line\n", text);
}

TEST_F(PosixMessageBox, WithoutATerminalAQuestionIsNoAndNothingIsRead) {
    int input[2];
    ASSERT_EQ(0, pipe(input));
    ASSERT_EQ(4, write(input[1], "yes\n", 4));
    close(input[1]);
    int answer;
    std::string text;
    std::string left;
    {
        RedirectedDescriptor stdinFromPipe(STDIN_FILENO, input[0]);
        CapturedOutput captured(STDERR_FILENO, scratch / "err.txt");
        answer = platform::messageBox("Download it?", "Java Runtime Environment Not Found",
                                      platform::MSGBOX_ICONERROR | platform::MSGBOX_YESNO);
        text = captured.text();
        char buffer[16];
        ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got > 0) left.assign(buffer, static_cast<std::size_t>(got));
    }
    close(input[0]);
    EXPECT_NE(platform::MSGBOX_ANSWER_YES, answer);
    EXPECT_EQ("yes\n", left);
    EXPECT_EQ(0u, text.find("Java Runtime Environment Not Found: Download it?\n")) << text;
}

TEST_F(PosixMessageBox, OnATerminalTheQuestionIsAnsweredFromTheTypedLine) {
    struct Case {
        const char *typed;
        bool yes;
    };
    const std::vector<Case> cases = {
        {"y\n", true}, {"Y\n", true},     {"yes\n", true}, {" Yes \n", true}, {"n\n", false},
        {"\n", false}, {"yess\n", false}, {"no\n", false}, {"\x04", false}, /* end of input */
    };
    for (const Case &c : cases) {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(0, grantpt(master));
        ASSERT_EQ(0, unlockpt(master));
        int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(terminal, 0);
        ASSERT_EQ(static_cast<ssize_t>(std::strlen(c.typed)),
                  write(master, c.typed, std::strlen(c.typed)));
        int answer;
        {
            RedirectedDescriptor stdinFromTerminal(STDIN_FILENO, terminal);
            CapturedOutput captured(STDERR_FILENO, scratch / "err.txt");
            answer = platform::messageBox("Proceed?", "Question",
                                          platform::MSGBOX_ICONERROR | platform::MSGBOX_YESNO);
        }
        close(terminal);
        close(master);
        EXPECT_EQ(c.yes, answer == platform::MSGBOX_ANSWER_YES) << "typed: " << c.typed;
    }
}

class PosixTextFile : public ::testing::Test {
protected:
    ScratchFolder scratch;

    std::vector<std::string> readLines(const std::string &content) {
        const std::string path = scratch / "lines.txt";
        writeFile(path, content);
        int error = 0;
        platform::TextFile *file = platform::openTextFile(path.c_str(), "r", &error);
        EXPECT_NE(nullptr, file);
        std::vector<std::string> lines;
        std::string line;
        while (file && platform::readTextLine(file, &line)) lines.push_back(line);
        platform::closeTextFile(file);
        return lines;
    }
};

TEST_F(PosixTextFile, LinesComeWholeWithTheirLineFeedAndWithoutTheCarriageReturnBeforeIt) {
    using Lines = std::vector<std::string>;
    const std::string longLine(100000, 'x');
    struct Case {
        std::string content;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"one", {"one"}},
        {"a\r\nb\nc", {"a\n", "b\n", "c"}},
        {"\n\r\n", {"\n", "\n"}},
        {"x\ry\n", {"x\ry\n"}},
        {"end\r", {"end\r"}},
        {"\r\r\n", {"\r\n"}},
        {std::string("nul\0byte\n", 9), {std::string("nul\0byte\n", 9)}},
        {longLine + "\r\nnext\n", {longLine + "\n", "next\n"}},
    };
    for (const Case &c : cases) EXPECT_EQ(c.lines, readLines(c.content)) << c.content.substr(0, 20);
}

/* Nothing but a regular file (or a new one) is opened, and nothing waits: a
** FIFO without a reader or writer would hold the launcher for ever. */
TEST_F(PosixTextFile, FoldersFifosDevicesAndMissingFilesCannotBeOpened) {
    fs::create_directories(scratch / "folder");
    ASSERT_EQ(0, mkfifo((scratch / "fifo").c_str(), 0600));
    fs::create_symlink(scratch / "fifo", scratch / "link to fifo");
    struct Case {
        std::string path;
        const char *mode;
        int error;
    };
    const std::vector<Case> cases = {
        {scratch / "folder", "r", EISDIR},         {scratch / "folder", "w", EISDIR},
        {scratch / "missing.config", "r", ENOENT}, {scratch / "missing/out.txt", "w", ENOENT},
        {scratch / "fifo", "r", ENOTSUP},          {scratch / "fifo", "w", ENOTSUP},
        {scratch / "link to fifo", "w", ENOTSUP},  {"/dev/null", "w", ENOTSUP},
    };
    for (const Case &c : cases) {
        int error = 0;
        EXPECT_EQ(nullptr, platform::openTextFile(c.path.c_str(), c.mode, &error))
            << c.path << " " << c.mode;
        EXPECT_EQ(c.error, error) << c.path << " " << c.mode;
    }
}

TEST_F(PosixTextFile, WrittenTextIsStoredAsGiven) {
    const std::string path = scratch / "tarnwick.out";
    writeFile(path, "an earlier, longer content that must go\n");
    int error = 0;
    platform::TextFile *file = platform::openTextFile(path.c_str(), "w", &error);
    ASSERT_NE(nullptr, file);
    platform::writeText(file, "#Version x\n");
    platform::writeText(file, "#Command line=\n\"/jdk/bin/java\" -classpath  Main \n");
    platform::closeTextFile(file);
    EXPECT_EQ("#Version x\n#Command line=\n\"/jdk/bin/java\" -classpath  Main \n", readFile(path));
}

} // namespace
