#include "jre/jre.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/platform.h"

#include <cstring>

/* The question is formatted into a buffer of this size. */
static constexpr std::size_t QUESTION_SIZE = 255;

/* The URL handler's command line is formatted into a buffer of this size. */
static constexpr std::size_t URL_COMMAND_SIZE = 512;

static const char DOWNLOAD_HOST[] = "https://www.java.com";
static const char PAGE_1_4_2[] = "/j2se/1.4.2/download.html";
static const char PAGE_LATEST[] = "/en/download/download_the_latest.jsp";

static constexpr int RUNTIME_MISSING_EXIT_CODE = 11;

/* The application's name in the question.  Neither name may be set yet
** when a "javaVersion" line comes first; the question then says
** "Application", as the abnormal-end report does. */
static const char *nameForQuestion() {
    if (settings.appname != nullptr && settings.appname[0] != '\0') return settings.appname;
    if (settings.mainClass != nullptr) return settings.mainClass;
    return "Application";
}

void askDownloadQuestion(const char *caption) {
    std::string text = formatBounded(
        QUESTION_SIZE, "%s requires the Java Runtime Environment version %s\nDo you want to download it?",
        nameForQuestion(), orEmpty(settings.javaVersion));
    if (settings._quietMode) return;
    int answer = platform::messageBox(text.c_str(), caption,
                                      platform::MSGBOX_ICONERROR | platform::MSGBOX_YESNO);
    if (answer == platform::MSGBOX_ANSWER_YES) downloadJre();
}

void needJavaMessage(const char *caption) {
    askDownloadQuestion(caption);
    platform::exitProcess(RUNTIME_MISSING_EXIT_CODE);
}

void downloadJre() {
    const char *version = settings.javaVersion;
    if (version == nullptr || version[0] == '\0') return;
    const char *page = nullptr;
    if (std::strncmp(version, "1.4.2", 5) == 0)
        page = PAGE_1_4_2;
    else if (std::strncmp(version, "1.5", 3) == 0)
        page = PAGE_LATEST;
    if (page == nullptr) return;

    std::string url = std::string(DOWNLOAD_HOST) + page;
    std::string command = formatBounded(URL_COMMAND_SIZE, platform::URL_HANDLER_FORMAT, url.c_str());
    std::string writable = command; /* the system may write into it */
    platform::ChildProcess handler = nullptr;
    unsigned long error = 0;
    /* A handler that cannot be started is not reported: the launcher is
    ** about to end, and the question already named the version. */
    if (platform::startProcess(&writable[0], 0, nullptr, nullptr, &handler, &error))
        platform::releaseProcess(handler);
}
