// The library's INI file read in one piece: its text is kept in a fixed buffer so each setting is
// looked up without opening the file again (the platform's private-profile reading opens and
// checks the file once per key).  Only plain files are answered this way; anything the
// private-profile rules could read differently is left to the platform, key by key.
#ifndef ZUK_SETTINGS_INI_FILE_H
#define ZUK_SETTINGS_INI_FILE_H

#include <cstddef>
#include <cstdint>

const std::size_t kIniTextCapacity = 8192;

struct IniText {
    char text[kIniTextCapacity];
    std::size_t length;
};

// Reads the file at path into ini.  False (and ini empty) when the file cannot be read, does not
// fit, or is not plain: a byte-order mark or a zero byte, a section line that is not exactly
// "[name]" without blanks, or another line that is neither blank, a ';' comment nor "key=value".
bool IniTextLoad(IniText *ini, const char *path);

// What a look-up found.
enum IniAnswer {
    kIniFound,      // the value is in out
    kIniAbsent,     // no such section or key: the default applies
    kIniUndecided,  // ask the platform: a repeated section or key, a quoted value, a value that
                    // does not fit out, or (for numbers) a value that is not plain decimal
};

// The value of key in section (names compared without regard to ASCII case, blanks around keys
// and values dropped), copied into out (size bytes, terminator included).
IniAnswer IniTextString(const IniText *ini, const char *section, const char *key, char *out,
                        std::size_t size);

// The value as a number: found only for an optional '-' and one to nine decimal digits.
IniAnswer IniTextInt(const IniText *ini, const char *section, const char *key, std::int32_t *value);

#endif
