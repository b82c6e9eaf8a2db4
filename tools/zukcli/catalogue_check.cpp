// The message catalogue, chosen and read by the library's own catalogue code (compiled into
// zukcli): ZukLang.csv in the installation folder maps the system default locale (four lower-case
// hexadecimal digits) to a language file, with 0409 as the fallback; without either, every prompt
// text is empty.  zukcli adds only the explanation of why a step found nothing.  The library's
// registry step has already set its installation folder (the one this check names).
#include <windows.h>

#include <cstdio>

#include "platform/system.h"
#include "settings/messages.h"
#include "tools/zukcli/settings_check.h"

namespace {

std::string LocaleKey(std::uint32_t locale) {
    char key[16];
    std::snprintf(key, sizeof key, "%04x", static_cast<unsigned>(locale));
    return key;
}

// Whether the library's open of the file for reading succeeds.
bool Readable(const std::string &path) {
    std::FILE *file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    std::fclose(file);
    return true;
}

// How many of the library's messages the language file gives a text.
std::size_t MessagesWithText(const char *path) {
    ClearMessageTexts();
    LoadMessageCatalogue(path);
    std::size_t count = 0;
    for (std::size_t i = 0; i < MessageIdCount(); ++i) {
        const char *text = GetMessageText(MessageIdAt(i));
        if (text && text[0] != '\0') ++count;
    }
    ClearMessageTexts();
    return count;
}

}  // namespace

void CheckCatalogue(StatusCheck *check) {
    const std::string index = check->installPath + "ZukLang.csv";
    if (index.size() >= kMessageTextSize) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   "InstallPath is too long to name ZukLang.csv (511 characters): every prompt "
                   "text is empty");
        return;
    }
    if (!Readable(index)) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   Quoted(index) + " does not exist: every prompt and message box text is empty");
        return;
    }
    const std::string locale = LocaleKey(PlatSystemDefaultLcid());
    char fileName[kMessageTextSize];
    const std::uint32_t used = FindLanguageFileName(fileName);
    if (used == 0) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   Quoted(index) + " has no line for this system's locale " + locale +
                       " nor for 0409: every prompt text is empty");
        return;
    }
    const std::string chosen = LocaleKey(used);
    if (chosen != locale) {
        check->Add(Finding::Info, "ZukLang.csv",
                   "no language file for this system's locale " + locale +
                       ": the 0409 (English) file is used");
    }
    char path[kMessageTextSize];
    SelectLanguageFile(path);
    if (path[0] == '\0') {
        check->Add(Finding::Warning, "ZukLang.csv",
                   "the language file's path " + Quoted(check->installPath + fileName) +
                       " is 512 characters or longer: every prompt text is empty");
        return;
    }
    if (!Readable(path)) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   "the language file " + Quoted(path) + " named for locale " + chosen +
                       " does not exist: every prompt text is empty");
        return;
    }
    const std::size_t count = MessagesWithText(path);
    check->Set("Message catalogue", path,
               "locale " + chosen + ", " + std::to_string(count) + " messages");
    if (count == 0) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   "the language file " + Quoted(path) +
                       " holds no message lines (\"<8 hex digits>,<text>\")");
    }
}
