// The message catalogue.  Index lines are "<locale>,<file>", message lines "<8-digit id>,<text>";
// fields are split at commas with empty fields skipped, lines are read in pieces of at most 511
// characters, and "\n" in a text stands for a newline.  A text that no comma follows ends with the
// line's own newline, which stays part of it; a catalogue ends a text with a comma to leave it out.
#include "settings/messages.h"

#include <cstdio>
#include <cstring>

#include "platform/system.h"
#include "settings/config.h"
#include "settings/hex.h"
#include "settings/settings_state.h"
#include "settings/text.h"

namespace {

// The catalogue's ids (0x000Dxxxx: the sign-in tile of ZUKCredProv.dll); their texts are in the
// settings record (settings_state.h), by index.
const std::uint32_t kIds[] = {
    0x00010001, 0x00010002, 0x00010003, 0x00020001, 0x00020002, 0x00020003, 0x00020004, 0x00020005,
    0x00020006, 0x00020007, 0x00030001, 0x00030002, 0x00030003, 0x00030004, 0x00040001, 0x00040002,
    0x00040003, 0x00040004, 0x00050001, 0x00050002, 0x00050003, 0x00060001, 0x00060002, 0x00070001,
    0x00070002, 0x00080001, 0x00080002, 0x00090001, 0x00090002, 0x000A0001, 0x000A0002, 0x000B0001,
    0x000B0002, 0x000C0001, 0x000C0003, 0x000C0004, 0x000C0005, 0x000D0001, 0x000D0002, 0x000D0003,
    0x000D0004, 0x000D0005, 0x000D0006, 0x000D0007, 0x000D0008, 0x000D0009, 0x000D000A,
};

const std::size_t kMessageCount = sizeof kIds / sizeof kIds[0];
static_assert(kMessageCount == kMessageIds, "the record holds one text per id");

char (&g_texts)[kMessageIds][kMessageTextSize] = g_settingsState.messages;

// The text of an id, or null for an id the catalogue has not got.
char *FindText(std::uint32_t id) {
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        if (kIds[i] == id) return g_texts[i];
    }
    return nullptr;
}

// Splits a line at commas, skipping empty fields: returns the start of field `index` (0-based) and
// its length through *length, or null when there is no such field.
const char *Field(const char *line, int index, std::size_t *length) {
    const char *p = line;
    for (int i = 0;; ++i) {
        while (*p == ',') ++p;
        if (*p == '\0') return nullptr;
        const char *end = std::strchr(p, ',');
        std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (i == index) {
            *length = n;
            return p;
        }
        p += n;
    }
}

// Drops one trailing line end (LF, or CR LF from a file written on Windows and read as binary).
std::size_t WithoutLineEnd(const char *text, std::size_t length) {
    if (length > 0 && text[length - 1] == '\n') --length;
    if (length > 0 && text[length - 1] == '\r') --length;
    return length;
}

// Keeps the line's own newline at the end of a text as one "\n", whichever line end the file has:
// Windows' C library reads a CR LF line end in text mode as "\n", and this gives the same text on
// every platform.  A CR that does not end the line is text and stays.
void OneNewlineAtEnd(char *text) {
    std::size_t length = std::strlen(text);
    if (length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n') {
        text[length - 2] = '\n';
        text[length - 1] = '\0';
    }
}

// Replaces each backslash-n pair by a newline, in place.
void UnescapeNewlines(char *text) {
    char *out = text;
    for (const char *in = text; *in != '\0'; ++in) {
        if (in[0] == '\\' && in[1] == 'n') {
            *out++ = '\n';
            ++in;
        } else {
            *out++ = *in;
        }
    }
    *out = '\0';
}

}  // namespace

const char *GetMessageText(std::uint32_t id) { return FindText(id); }

void ClearMessageTexts() {
    for (char *text : g_texts) text[0] = '\0';
}

std::size_t MessageIdCount() { return kMessageCount; }
std::uint32_t MessageIdAt(std::size_t index) { return index < kMessageCount ? kIds[index] : 0; }

std::uint32_t FindLanguageFileName(char *fileName) {
    return FindLanguageFileNameIn(GetInstallPath(), fileName);
}

std::uint32_t FindLanguageFileNameIn(const char *folder, char *fileName) {
    if (!fileName) return 0;
    fileName[0] = '\0';
    char indexPath[kMessageTextSize];
    if (!folder || !JoinText(indexPath, sizeof indexPath, folder, "ZukLang.csv")) return 0;
    const std::uint32_t locales[2] = {PlatSystemDefaultLcid(), 0x0409};
    for (std::uint32_t locale : locales) {
        char key[16];
        std::snprintf(key, sizeof key, "%04x", static_cast<unsigned>(locale));
        std::FILE *file = std::fopen(indexPath, "r");
        if (!file) return 0;
        char line[512];
        while (std::fgets(line, sizeof line, file)) {
            std::size_t keyLength = 0, nameLength = 0;
            const char *first = Field(line, 0, &keyLength);
            if (!first || keyLength != std::strlen(key) ||
                std::strncmp(first, key, keyLength) != 0) {
                continue;
            }
            const char *name = Field(line, 1, &nameLength);
            if (!name) continue;
            nameLength = WithoutLineEnd(name, nameLength);  // below the line's 512 bytes
            std::memcpy(fileName, name, nameLength);
            fileName[nameLength] = '\0';
            std::fclose(file);
            return locale;
        }
        std::fclose(file);
    }
    return 0;
}

void SelectLanguageFile(char *path) {
    if (!path) return;
    path[0] = '\0';
    char fileName[kMessageTextSize];
    if (FindLanguageFileName(fileName) == 0) return;
    JoinText(path, kMessageTextSize, GetInstallPath(), fileName);  // empty if too long
}

void LoadMessageCatalogue(const char *path) {
    if (!path || path[0] == '\0') return;
    std::FILE *file = std::fopen(path, "r");
    if (!file) return;
    char line[512];
    while (std::fgets(line, sizeof line, file)) {
        std::size_t idLength = 0, textLength = 0;
        const char *idField = Field(line, 0, &idLength);
        std::uint8_t idBytes[4];
        if (!idField || idLength != 8 || HexToBytes(idField, 8, idBytes, sizeof idBytes) != 4) {
            continue;
        }
        std::uint32_t id = static_cast<std::uint32_t>(idBytes[0]) << 24 |
                           static_cast<std::uint32_t>(idBytes[1]) << 16 |
                           static_cast<std::uint32_t>(idBytes[2]) << 8 | idBytes[3];
        const char *text = Field(line, 1, &textLength);
        if (!text) continue;
        char *entry = FindText(id);
        if (!entry) continue;
        if (textLength >= kMessageTextSize) textLength = kMessageTextSize - 1;
        std::memcpy(entry, text, textLength);
        entry[textLength] = '\0';
        OneNewlineAtEnd(entry);
        UnescapeNewlines(entry);
    }
    std::fclose(file);
}
