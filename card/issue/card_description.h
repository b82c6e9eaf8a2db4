// The card description format: "name = value" lines that say what a card holds.  The simulated
// card is laid from one, and the issuing station writes one onto a real card and prints a card it
// reads as one, so a test card and an issued card are described the same way.
#ifndef ZUK_CARD_ISSUE_CARD_DESCRIPTION_H
#define ZUK_CARD_ISSUE_CARD_DESCRIPTION_H

#include <cstdint>
#include <string>

// The names a description may set, in the order a description is printed.
enum CardField {
    FIELD_ACCOUNT,
    FIELD_PASSWORD,
    FIELD_PIN,
    FIELD_RETRY_LIMIT,
    FIELD_FAILURE_COUNT,
    FIELD_USER_NAME,
    FIELD_USER_OPTION,
    FIELD_ADMIN_OPTION,
    FIELD_IDM,
    FIELD_PMM,
    FIELD_SYSTEM_CODE,
    FIELD_COUNT
};

struct CardDescription {
    // Texts, as the bytes written in the file (the code page the host runs with).
    std::string account, password, pin, userName, userOption, adminOption;
    int retryLimit = 0;
    int failureCount = 0;
    std::uint8_t idm[8] = {0x01, 0x2E, 0x4C, 0x1F, 0x93, 0x0A, 0x55, 0x07};
    std::uint8_t pmm[8] = {0x03, 0x01, 0x4B, 0x02, 0x4F, 0x49, 0x93, 0xFF};
    std::uint8_t systemCode[2] = {0x88, 0xB4};
    bool set[FIELD_COUNT] = {};  // which names the description gave
};

// The text of a text field (account, password, pin, user_name, user_option, admin_option), or
// null for the fields that are numbers or bytes.
std::string *CardTextField(CardDescription *d, CardField field);
const std::string *CardTextField(const CardDescription *d, CardField field);

// The name of a field as written in a description ("user_name").
const char *CardFieldName(CardField field);

// Reads a description: lines "name = value" (account, password, pin, user_name, user_option,
// admin_option as text; retry_limit and failure_count as a number 0-255, decimal or 0x
// hexadecimal; idm, pmm as 8 and
// system_code as 2 bytes of hexadecimal); blank lines and lines starting with '#' are skipped,
// and blanks around names and values are dropped.  False with `error` naming the line's field on
// an unknown name or a bad value.
bool ParseCardDescription(const std::string &text, CardDescription *out, std::string *error);

// The description's set fields as lines "name = value\n", in field order.  With showSecrets false
// a password and a PIN that are not empty read "***".
std::string FormatCardDescription(const CardDescription &description, bool showSecrets);

#endif
