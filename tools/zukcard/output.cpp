// zukcard's output, as text or as one JSON document.
#include "tools/zukcard/output.h"

#include <cstdio>

#include "tools/zukcli/report.h"
#include "tools/zukcli/results.h"

void Output::Say(const std::string &text) {
    if (json) messages.push_back(text);
    else std::printf("%s\n", text.c_str());
}

int Output::Finish(int exitCode) {
    if (json) {
        std::string doc = "{\"command\":" + JsonString(command);
        doc += ",\"port\":" + (port.empty() ? std::string("null") : JsonString(port));
        if (!itemsJson.empty()) doc += ",\"items\":" + itemsJson;
        if (!cardJson.empty()) doc += ",\"card\":" + cardJson;
        for (const auto &field : fields) doc += "," + JsonString(field.first) + ":" + field.second;
        doc += ",\"messages\":[";
        for (std::size_t i = 0; i < messages.size(); ++i)
            doc += (i ? "," : "") + JsonString(messages[i]);
        doc += "],\"exitCode\":" + std::to_string(exitCode) + "}";
        std::printf("%s\n", doc.c_str());
    }
    std::fflush(stdout);
    return exitCode;
}

std::string ResultText(std::int32_t result, std::uint32_t lowStatus) {
    char buffer[160];
    const ResultInfo *info = FindResult(result);
    std::snprintf(buffer, sizeof buffer, "%s (%d), card status 0x%08x",
                  info ? info->name : "unknown result", static_cast<int>(result),
                  static_cast<unsigned>(lowStatus));
    return info ? std::string(buffer) + ": " + info->meaning : buffer;
}
