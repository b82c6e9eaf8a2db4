// The message catalogue as the library selects it: ZukLang.csv in the installation folder maps the
// system default locale (four lower-case hexadecimal digits) to a language file, with 0409 as the
// fallback; without either, every prompt text is empty.
#include <windows.h>

#include <cstdio>
#include <fstream>

#include "tools/zukcli/settings_check.h"

namespace {

// The fields of a line split at commas, empty fields skipped, the line end dropped.
std::vector<std::string> Fields(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t comma = line.find(',', start);
        if (comma == std::string::npos) comma = line.size();
        if (comma > start) out.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

std::vector<std::string> Lines(const std::string &path, bool *opened) {
    std::vector<std::string> lines;
    std::ifstream in(path.c_str(), std::ios::binary);
    *opened = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

}  // namespace

void CheckCatalogue(StatusCheck *check) {
    const std::string index = check->installPath + "ZukLang.csv";
    if (index.size() >= 512) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   "InstallPath is too long to name ZukLang.csv (511 characters): every prompt text is empty");
        return;
    }
    bool opened = false;
    const std::vector<std::string> lines = Lines(index, &opened);
    if (!opened) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   Quoted(index) + " does not exist: every prompt and message box text is empty");
        return;
    }
    char locale[16];
    std::snprintf(locale, sizeof locale, "%04x", static_cast<unsigned>(GetSystemDefaultLCID()));
    std::string file, chosen;
    for (const char *key : {static_cast<const char *>(locale), "0409"}) {
        for (const std::string &line : lines) {
            const std::vector<std::string> f = Fields(line);
            if (f.size() >= 2 && f[0] == key) {
                file = f[1];
                chosen = key;
                break;
            }
        }
        if (!file.empty()) break;
    }
    if (file.empty()) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   Quoted(index) + " has no line for this system's locale " + locale +
                       " nor for 0409: every prompt text is empty");
        return;
    }
    const std::string path = check->installPath + file;
    if (chosen != locale) {
        check->Add(Finding::Info, "ZukLang.csv",
                   std::string("no language file for this system's locale ") + locale + ": the 0409 (English) file is used");
    }
    if (path.size() >= 512) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   "the language file's path " + Quoted(path) + " is 512 characters or longer: every prompt text is empty");
        return;
    }
    const std::vector<std::string> messages = Lines(path, &opened);
    if (!opened) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   "the language file " + Quoted(path) + " named for locale " + chosen +
                       " does not exist: every prompt text is empty");
        return;
    }
    int count = 0;
    for (const std::string &line : messages) {
        const std::vector<std::string> f = Fields(line);
        if (f.size() >= 2 && IsHexOf(f[0], 4)) ++count;
    }
    check->Set("Message catalogue", path, "locale " + chosen + ", " + std::to_string(count) + " messages");
    if (count == 0) {
        check->Add(Finding::Warning, "ZukLang.csv",
                   "the language file " + Quoted(path) + " holds no message lines (\"<8 hex digits>,<text>\")");
    }
}
