#include "jre/jre.h"

#include "core/settings.h"
#include "core/text.h"
#include "platform/platform.h"

#include <cctype>
#include <cstring>

/* The question is formatted into a buffer of this size. */
static constexpr std::size_t QUESTION_SIZE = 255;

static const char DOWNLOAD_HOST[] = "https://www.java.com";
static const char PAGE_1_4_2[] = "/j2se/1.4.2/download.html";
static const char PAGE_LATEST[] = "/en/download/download_the_latest.jsp";

static constexpr int RUNTIME_MISSING_EXIT_CODE = 11;

/* The application's name in the question: appname, else the main class.
** Neither may be set yet when a "javaVersion" line comes first; the
** question then says "Application", as the abnormal-end report does. */
static const char *nameForQuestion() {
    return applicationName(settings.mainClass != nullptr ? settings.mainClass : "Application");
}

void askDownloadQuestion(const char *caption, const char *version) {
    std::string text = formatBounded(
        QUESTION_SIZE,
        "%s requires the Java Runtime Environment version %s\nDo you want to download it?",
        nameForQuestion(), orEmpty(version));
    if (settings._quietMode) return;
    int answer = platform::messageBox(text.c_str(), caption,
                                      platform::MSGBOX_ICONERROR | platform::MSGBOX_YESNO);
    if (answer == platform::MSGBOX_ANSWER_YES) downloadJre(version);
}

void needJavaMessage(const char *caption, const char *version) {
    askDownloadQuestion(caption, version);
    platform::exitProcess(RUNTIME_MISSING_EXIT_CODE);
}

/* The schemes of the addresses the launcher opens. */
static const char *const WEB_SCHEMES[] = {"https://", "http://"};

/* A scheme is matched in any letter case, as browsers match it. */
static std::size_t webSchemeLength(const char *url) {
    for (const char *scheme : WEB_SCHEMES) {
        std::size_t length = std::strlen(scheme);
        std::size_t i = 0;
        while (i < length && std::tolower(static_cast<unsigned char>(url[i])) == scheme[i]) ++i;
        if (i == length) return length;
    }
    return 0;
}

bool isWebPageAddress(const char *url) {
    std::size_t scheme = webSchemeLength(url);
    if (scheme == 0 || url[scheme] == '\0' || url[scheme] == '/') return false;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(url); *p != '\0'; ++p)
        if (*p <= ' ' || *p == 0x7F || *p == '"') return false;
    return true;
}

/* Hands a page to the browser; says so when the system cannot. */
static void openDownloadPage(const char *url) {
    if (platform::openWebPage(url)) return;
    reportError(formatText("The download page %s cannot be opened.", url), "Error",
                platform::MSGBOX_ICONERROR);
}

void downloadJre(const char *version) {
    if (settings.downloadUrl != nullptr) {
        openDownloadPage(settings.downloadUrl);
        return;
    }
    if (version == nullptr || version[0] == '\0') return;
    const char *page = nullptr;
    if (std::strncmp(version, "1.4.2", 5) == 0)
        page = PAGE_1_4_2;
    else if (std::strncmp(version, "1.5", 3) == 0)
        page = PAGE_LATEST;
    if (page != nullptr) openDownloadPage((std::string(DOWNLOAD_HOST) + page).c_str());
}

void reportNoRuntime(const char *errorText) {
    if (settings.downloadUrl == nullptr || settings._quietMode) {
        platform::messageBox(errorText, "Error!", platform::MSGBOX_ICONERROR);
        return;
    }
    const char *name = nameForQuestion();
    if (name[0] == '\0') name = "Application";
    std::string text = formatText(
        "%s needs Java, and none was found on this computer. Do you want to download it?", name);
    if (platform::messageBox(text.c_str(), "Error!",
                             platform::MSGBOX_ICONERROR | platform::MSGBOX_YESNO) ==
        platform::MSGBOX_ANSWER_YES)
        openDownloadPage(settings.downloadUrl);
}
