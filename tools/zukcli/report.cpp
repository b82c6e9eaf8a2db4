// Text and JSON output.  Texts from the library and the card are in the system's ANSI code page:
// the text output passes them through as bytes, the JSON output converts them to UTF-8.
#include "tools/zukcli/report.h"

#include <windows.h>

#include <cstdio>

#include "tools/zukcli/results.h"

namespace {

std::string AnsiToUtf8(const std::string &text) {
    if (text.empty()) return text;
    int wide =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wide <= 0) return std::string();
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &w[0], wide);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &out[0], bytes, nullptr, nullptr);
    return out;
}

std::string HexText(long long value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lx", static_cast<unsigned long>(value & 0xFFFFFFFF));
    return buffer;
}

std::string ResultText(int code) {
    char buffer[64];
    const ResultInfo *info = FindResult(code);
    if (info) {
        std::snprintf(buffer, sizeof buffer, "%s (%d)", info->name, code);
        return std::string(buffer) + ": " + info->meaning;
    }
    std::snprintf(buffer, sizeof buffer, "unknown result %d (0x%08x)", code,
                  static_cast<unsigned>(code));
    return buffer;
}

void PrintText(const Entry &e) {
    const std::string title = e.exportName.empty() ? e.command : e.exportName;
    for (const std::string &p : e.prompts)
        std::printf("%s: prompt answered with Cancel: %s\n", title.c_str(), p.c_str());
    if (!e.line.empty()) {
        std::printf("%s\n", e.line.c_str());
        std::fflush(stdout);
        return;
    }
    if (e.called) {
        std::printf("%s: %s\n", title.c_str(), ResultText(e.result).c_str());
    } else if (!e.error.empty()) {
        std::printf("%s: %s\n", title.c_str(), e.error.c_str());
    } else {
        std::printf("%s:\n", title.c_str());
    }
    for (const Field &f : e.fields) {
        if (f.shown == Field::JsonOnly) continue;
        switch (f.kind) {
        case Field::Number: std::printf("  %s: %lld\n", f.key.c_str(), f.number); break;
        case Field::Hex: std::printf("  %s: %s\n", f.key.c_str(), HexText(f.number).c_str()); break;
        case Field::Text: std::printf("  %s: %s\n", f.key.c_str(), f.text.c_str()); break;
        case Field::Flag: std::printf("  %s: %s\n", f.key.c_str(), f.number ? "yes" : "no"); break;
        case Field::Json: break;
        }
    }
    for (const std::string &line : e.lines) std::printf("  %s\n", line.c_str());
    std::fflush(stdout);
}

std::string JsonEntry(const Entry &e) {
    std::string out = "{\"command\":" + JsonString(e.command);
    if (!e.exportName.empty()) out += ",\"export\":" + JsonString(e.exportName);
    if (e.called) {
        const ResultInfo *info = FindResult(e.result);
        out += ",\"result\":" + std::to_string(e.result);
        out += ",\"name\":" + (info ? JsonString(info->name) : std::string("null"));
        out += ",\"meaning\":" + (info ? JsonString(info->meaning) : JsonString("unknown result"));
    } else if (!e.exportName.empty()) {
        out += ",\"result\":null";
    }
    if (!e.error.empty()) out += ",\"error\":" + JsonString(e.error);
    for (const Field &f : e.fields) {
        if (f.shown == Field::TextOnly) continue;
        out += "," + JsonString(f.key) + ":";
        switch (f.kind) {
        case Field::Number:
        case Field::Hex: out += std::to_string(f.number); break;
        case Field::Text: out += JsonString(f.text); break;
        case Field::Flag: out += f.number ? "true" : "false"; break;
        case Field::Json: out += f.text; break;
        }
    }
    if (!e.prompts.empty()) {
        out += ",\"prompts\":[";
        for (std::size_t i = 0; i < e.prompts.size(); ++i)
            out += (i ? "," : "") + JsonString(e.prompts[i]);
        out += "]";
    }
    out += ",\"ok\":";
    out += e.failed ? "false" : "true";
    return out + "}";
}

}  // namespace

std::string JsonString(const std::string &ansiText) {
    const std::string text = AnsiToUtf8(ansiText);
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void Entry::AddNumber(const std::string &key, long long value) {
    Field f;
    f.key = key;
    f.kind = Field::Number;
    f.number = value;
    fields.push_back(f);
}

void Entry::AddHex(const std::string &key, long long value) {
    AddNumber(key, value);
    fields.back().kind = Field::Hex;
}

void Entry::AddText(const std::string &key, const std::string &value) {
    Field f;
    f.key = key;
    f.kind = Field::Text;
    f.text = value;
    fields.push_back(f);
}

void Entry::AddFlag(const std::string &key, bool value) {
    AddNumber(key, value ? 1 : 0);
    fields.back().kind = Field::Flag;
}

void Entry::AddJson(const std::string &key, const std::string &json) {
    AddText(key, json);
    fields.back().kind = Field::Json;
    fields.back().shown = Field::JsonOnly;
}

void Report::Add(const Entry &entry) {
    if (json_ && lines_) {
        std::printf("%s\n", JsonEntry(entry).c_str());
        std::fflush(stdout);
    } else if (json_) {
        entries_.push_back(entry);
    } else {
        PrintText(entry);
    }
}

void Report::Message(const std::string &text) {
    if (json_ && lines_) {
        std::printf("{\"message\":%s}\n", JsonString(text).c_str());
        std::fflush(stdout);
    } else if (json_) {
        messages_.push_back(text);
    } else {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
}

void Report::Finish(int exitCode) {
    if (!json_) return;
    if (lines_) {
        std::printf("{\"dll\":%s,\"exitCode\":%d}\n", JsonString(dll_).c_str(), exitCode);
        std::fflush(stdout);
        return;
    }
    std::string out = "{\"dll\":" + JsonString(dll_) + ",\"results\":[";
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        out += (i ? ",\n  " : "\n  ") + JsonEntry(entries_[i]);
    }
    out += "],\n\"messages\":[";
    for (std::size_t i = 0; i < messages_.size(); ++i)
        out += (i ? "," : "") + JsonString(messages_[i]);
    out += "],\n\"exitCode\":" + std::to_string(exitCode) + "}\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
}
