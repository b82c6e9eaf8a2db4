// Reading and printing card descriptions.
#include "card/issue/card_description.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "settings/hex.h"

namespace {

const char *const kNames[FIELD_COUNT] = {
    "account",     "password",     "pin", "retry_limit", "failure_count", "user_name",
    "user_option", "admin_option", "idm", "pmm",         "system_code",
};

std::string Trim(const std::string &s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    const std::size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

// A number 0-255, decimal or 0x hexadecimal (a leading zero does not make it octal: 010 is ten).
bool ParseByteValue(const std::string &value, int *out) {
    if (value.empty() || value[0] == '-' || value[0] == '+') return false;
    const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    char *end = nullptr;
    const long v = std::strtol(value.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || v < 0 || v > 255) return false;
    *out = static_cast<int>(v);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly `size` bytes of hexadecimal, blanks allowed between digits.
bool ParseFixedHex(const std::string &value, std::uint8_t *out, std::size_t size) {
    std::size_t n = 0;
    int high = -1;
    for (char c : value) {
        if (c == ' ' || c == '\t') continue;
        const int d = HexDigit(c);
        if (d < 0) return false;
        if (high < 0) {
            high = d;
            continue;
        }
        if (n == size) return false;
        out[n++] = static_cast<std::uint8_t>(high * 16 + d);
        high = -1;
    }
    return high < 0 && n == size;
}

std::string Hex(const std::uint8_t *data, std::size_t length) {
    char text[3 * 8];  // the longest field: an IDm or PMm of 8 bytes
    return BytesToSpacedHex(data, length, text, sizeof text) ? text : "";
}

}  // namespace

std::string *CardTextField(CardDescription *d, CardField field) {
    switch (field) {
    case FIELD_ACCOUNT: return &d->account;
    case FIELD_PASSWORD: return &d->password;
    case FIELD_PIN: return &d->pin;
    case FIELD_USER_NAME: return &d->userName;
    case FIELD_USER_OPTION: return &d->userOption;
    case FIELD_ADMIN_OPTION: return &d->adminOption;
    case FIELD_RETRY_LIMIT:
    case FIELD_FAILURE_COUNT:
    case FIELD_IDM:
    case FIELD_PMM:
    case FIELD_SYSTEM_CODE:
    case FIELD_COUNT: break;
    }
    return nullptr;
}

const std::string *CardTextField(const CardDescription *d, CardField field) {
    return CardTextField(const_cast<CardDescription *>(d), field);
}

const char *CardFieldName(CardField field) {
    return field >= 0 && field < FIELD_COUNT ? kNames[field] : "";
}

namespace {

// The lines of a description: LF, CR LF and a lone CR each end a line (a file saved with old
// Macintosh line ends must not read as one line holding every value).
std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool HoldsControlCharacter(const std::string &value) {
    for (char c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return true;
    }
    return false;
}

}  // namespace

bool ParseCardDescription(const std::string &text, CardDescription *out, std::string *error) {
    // A UTF-8 byte-order mark (as some editors save) is not part of the first name.
    const std::string kBom = "\xEF\xBB\xBF";
    const std::string body =
        text.compare(0, kBom.size(), kBom) == 0 ? text.substr(kBom.size()) : text;
    bool seen[FIELD_COUNT] = {};
    for (const std::string &line : SplitLines(body)) {
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        const std::size_t eq = t.find('=');
        if (eq == std::string::npos) {
            *error = "no '=' in: " + t;
            return false;
        }
        const std::string name = Trim(t.substr(0, eq));
        const std::string value = Trim(t.substr(eq + 1));
        int field = 0;
        while (field < FIELD_COUNT && name != kNames[field]) ++field;
        if (field == FIELD_COUNT) {
            *error = "unknown name: " + name;
            return false;
        }
        const CardField f = static_cast<CardField>(field);
        if (seen[f]) {
            *error = name + " is given twice";
            return false;
        }
        seen[f] = true;
        if (HoldsControlCharacter(value)) {
            *error = "a control character in the value of " + name;
            return false;
        }
        bool ok = true;
        if (std::string *textField = CardTextField(out, f)) *textField = value;
        else if (f == FIELD_RETRY_LIMIT) ok = ParseByteValue(value, &out->retryLimit);
        else if (f == FIELD_FAILURE_COUNT) ok = ParseByteValue(value, &out->failureCount);
        else if (f == FIELD_IDM) ok = ParseFixedHex(value, out->idm, 8);
        else if (f == FIELD_PMM) ok = ParseFixedHex(value, out->pmm, 8);
        else ok = ParseFixedHex(value, out->systemCode, 2);
        if (!ok) {
            *error = "bad value for " + name + ": " + value;
            return false;
        }
        out->set[f] = true;
    }
    return true;
}

std::string FormatCardDescription(const CardDescription &description, bool showSecrets) {
    CardDescription d = description;
    std::string text;
    for (int field = 0; field < FIELD_COUNT; ++field) {
        const CardField f = static_cast<CardField>(field);
        if (!d.set[f]) continue;
        std::string value;
        if (const std::string *textField = CardTextField(&d, f)) {
            const bool secret = f == FIELD_PASSWORD || f == FIELD_PIN;
            value = secret && !showSecrets && !textField->empty() ? "***" : *textField;
        } else if (f == FIELD_RETRY_LIMIT) {
            value = std::to_string(d.retryLimit);
        } else if (f == FIELD_FAILURE_COUNT) {
            value = std::to_string(d.failureCount);
        } else if (f == FIELD_IDM) {
            value = Hex(d.idm, 8);
        } else if (f == FIELD_PMM) {
            value = Hex(d.pmm, 8);
        } else {
            value = Hex(d.systemCode, 2);
        }
        text += kNames[f];
        text += value.empty() ? " =" : " = " + value;
        text += '\n';
    }
    return text;
}
