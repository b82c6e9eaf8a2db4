// Fuzz target: the message catalogue's index file and a message file, as the load reads them.
#include <cstdlib>
#include <cstring>

#include "settings/config.h"
#include "settings/messages.h"
#include "settings/text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzResetAll();
    FuzzInput in{data, size};
    const std::string dir = FuzzInstallDir();
    FuzzWriteFile(dir + "ZukLang.csv", in.Bytes(4096));
    FuzzWriteFile(dir + "ZukLang_0409.txt", in.Rest());
    CopyText(MutableSettings()->InstallPath, sizeof MutableSettings()->InstallPath, dir.c_str());

    char path[kMessageTextSize];
    SelectLanguageFile(path);
    if (std::strlen(path) >= kMessageTextSize) std::abort();
    LoadMessageCatalogue(path);
    LoadMessageCatalogue((dir + "ZukLang_0409.txt").c_str());
    for (std::size_t i = 0; i < MessageIdCount(); ++i) {
        const char *text = GetMessageText(MessageIdAt(i));
        if (text == nullptr || std::strlen(text) >= kMessageTextSize) std::abort();
    }
    return 0;
}
