// In-memory INI files read with private-profile semantics: [section] and key names match without
// regard to case, blanks around keys and values are dropped, a value enclosed in matching quotes
// loses them, lines starting with ';' are comments, a missing file, section or key (or an empty
// value, for numbers) gives the default.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "platform/profile.h"

namespace {

std::mutex g_lock;
std::map<std::string, std::string> g_files;

std::string Trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool SameNoCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool Lookup(const char *path, const char *section, const char *key, std::string *value) {
    std::lock_guard<std::mutex> lock(g_lock);
    auto f = g_files.find(path ? path : "");
    if (f == g_files.end()) return false;
    std::istringstream in(f->second);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            inSection =
                close != std::string::npos && SameNoCase(Trim(t.substr(1, close - 1)), section);
            continue;
        }
        size_t eq = t.find('=');
        if (!inSection || eq == std::string::npos) continue;
        if (!SameNoCase(Trim(t.substr(0, eq)), key)) continue;
        std::string v = Trim(t.substr(eq + 1));
        if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
            v = v.substr(1, v.size() - 2);
        }
        *value = v;
        return true;
    }
    return false;
}

}  // namespace

std::uint32_t PlatProfileInt(const char *section, const char *key, std::int32_t def,
                             const char *path) {
    std::string v;
    if (!Lookup(path, section, key, &v) || v.empty()) return static_cast<std::uint32_t>(def);
    return static_cast<std::uint32_t>(std::strtol(v.c_str(), nullptr, 0));
}

std::uint32_t PlatProfileString(const char *section, const char *key, const char *def, char *out,
                                std::uint32_t size, const char *path) {
    if (!out || size == 0) return 0;
    std::string v;
    if (!Lookup(path, section, key, &v)) v = def ? def : "";
    std::uint32_t n = static_cast<std::uint32_t>(std::min<size_t>(v.size(), size - 1));
    std::memcpy(out, v.data(), n);
    out[n] = '\0';
    return n;
}

void FakeProfileReset() {
    std::lock_guard<std::mutex> lock(g_lock);
    g_files.clear();
}

void FakeProfileSetFile(const std::string &path, const std::string &content) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_files[path] = content;
}
