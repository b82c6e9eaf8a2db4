// The INI file read in one piece; see ini_file.h for what counts as plain.
#include "settings/ini_file.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

struct Span {
    const char *p;
    std::size_t n;
};

Span Trim(const char *p, std::size_t n) {
    while (n > 0 && IsBlank(*p)) ++p, --n;
    while (n > 0 && IsBlank(p[n - 1])) --n;
    return {p, n};
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(Span s, const char *name) {
    std::size_t n = std::strlen(name);
    if (s.n != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (Lower(s.p[i]) != Lower(name[i])) return false;
    }
    return true;
}

// Calls visit(line) for each line of the text, trimmed; stops when visit returns false.
template <typename Visit>
void EachLine(const char *text, std::size_t length, Visit visit) {
    const char *p = text;
    const char *end = text + length;
    while (p < end) {
        const char *nl =
            static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char *stop = nl ? nl : end;
        if (!visit(Trim(p, static_cast<std::size_t>(stop - p)))) return;
        p = nl ? nl + 1 : end;
    }
}

bool IsSection(Span line) { return line.n > 0 && line.p[0] == '['; }

// The name of a section line "[name]" (checked plain at load).
Span SectionName(Span line) { return {line.p + 1, line.n - 2}; }

bool PlainLine(Span line) {
    if (line.n == 0 || line.p[0] == ';') return true;
    if (IsSection(line)) {
        if (line.n < 3 || line.p[line.n - 1] != ']') return false;
        Span name = SectionName(line);
        if (IsBlank(name.p[0]) || IsBlank(name.p[name.n - 1])) return false;
        return std::memchr(name.p, '[', name.n) == nullptr &&
               std::memchr(name.p, ']', name.n) == nullptr;
    }
    return std::memchr(line.p, '=', line.n) != nullptr;
}

// Finds the one value of key in section: kIniFound with *value set, kIniAbsent, or kIniUndecided
// when the section or the key appears more than once.
IniAnswer Find(const IniText *ini, const char *section, const char *key, Span *value) {
    int sections = 0, keys = 0;
    bool inSection = false;
    EachLine(ini->text, ini->length, [&](Span line) {
        if (IsSection(line)) {
            inSection = SameName(SectionName(line), section);
            if (inSection) ++sections;
            return true;
        }
        if (!inSection || line.n == 0 || line.p[0] == ';') return true;
        const char *eq = static_cast<const char *>(std::memchr(line.p, '=', line.n));
        if (!SameName(Trim(line.p, static_cast<std::size_t>(eq - line.p)), key)) return true;
        ++keys;
        *value = Trim(eq + 1, static_cast<std::size_t>(line.p + line.n - eq - 1));
        return true;
    });
    if (sections > 1 || keys > 1) return kIniUndecided;
    return keys == 1 ? kIniFound : kIniAbsent;
}

}  // namespace

bool IniTextLoad(IniText *ini, const char *path) {
    ini->length = 0;
    if (!path || path[0] == '\0') return false;
    std::FILE *file = std::fopen(path, "rb");
    if (!file) return false;
    // Unbuffered: the whole file comes in one read straight into the buffer.
    std::setvbuf(file, nullptr, _IONBF, 0);
    std::size_t n = std::fread(ini->text, 1, sizeof ini->text, file);
    std::fclose(file);
    if (n == sizeof ini->text) return false;  // may not be all of it
    const unsigned char *u = reinterpret_cast<const unsigned char *>(ini->text);
    bool plain = std::memchr(ini->text, '\0', n) == nullptr &&
                 !(n >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF))) &&
                 !(n >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF);
    if (plain) {
        EachLine(ini->text, n, [&](Span line) { return plain = PlainLine(line); });
    }
    if (!plain) return false;
    ini->length = n;
    return true;
}

IniAnswer IniTextString(const IniText *ini, const char *section, const char *key, char *out,
                        std::size_t size) {
    Span value{nullptr, 0};
    IniAnswer answer = Find(ini, section, key, &value);
    if (answer != kIniFound) return answer;
    if (value.n > 0 && (value.p[0] == '"' || value.p[0] == '\'')) return kIniUndecided;
    if (value.n >= size) return kIniUndecided;
    std::memcpy(out, value.p, value.n);
    out[value.n] = '\0';
    return kIniFound;
}

IniAnswer IniTextInt(const IniText *ini, const char *section, const char *key,
                     std::int32_t *value) {
    Span text{nullptr, 0};
    IniAnswer answer = Find(ini, section, key, &text);
    if (answer != kIniFound) return answer;
    std::size_t i = (text.n > 0 && text.p[0] == '-') ? 1 : 0;
    std::size_t digits = text.n - i;
    if (digits == 0 || digits > 9) return kIniUndecided;
    std::int32_t number = 0;
    for (; i < text.n; ++i) {
        if (text.p[i] < '0' || text.p[i] > '9') return kIniUndecided;
        number = number * 10 + (text.p[i] - '0');
    }
    *value = text.p[0] == '-' ? -number : number;
    return kIniFound;
}
