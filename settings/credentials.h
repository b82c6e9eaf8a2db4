// The credential store: the remembered and the entered ID/password pair in the current user's
// registry, the password kept as hexadecimal text of a masked form.
#ifndef ZUK_SETTINGS_CREDENTIALS_H
#define ZUK_SETTINGS_CREDENTIALS_H

#include <cstdint>

enum CredentialKind { Remembered = 0, Entered = 1 };

#define ZUK_VOLATILE_KEY ZUK_SETTINGS_KEY "\\Volatile"
#define ZUK_NONVOLATILE_KEY ZUK_SETTINGS_KEY "\\NonVolatile"

// Result codes of the store (the library's own result codes).
const int kStoreOk = 0;
const int kStoreWriteFailed = 0x10;
const int kStoreSystem = 0x40000;

// The longest password the store keeps (its stored text and a terminator fit 1024 bytes).
const int kMaxStoredPassword = 510;
const int kStoredTextSize = 1024;

// Reads a pair: *idLength / *passwordLength are the buffer sizes in and the byte counts out (0 for
// a value that is missing).  The password comes back in its stored (hexadecimal) form.
int ReadCredentials(char *id, std::int32_t *idLength, char *password, std::int32_t *passwordLength,
                    CredentialKind kind);
// Writes a pair; the password is the stored text from ScramblePassword.
int WriteCredentials(const char *id, std::int32_t idLength, const char *password,
                     std::int32_t passwordLength, CredentialKind kind);
// Removes the entered pair.
int DeleteCredentials();

// Masks a password of length bytes into its stored text (kStoredTextSize bytes); returns the text's
// length (2 + 2 * length), or 0 for an empty or over-long password.
std::int32_t ScramblePassword(const std::uint8_t *password, std::int32_t length, char *stored);
// Turns a stored text back into the password (kStoredTextSize bytes); returns its length, 0 when
// the text is empty or not valid hexadecimal.
std::int32_t UnscramblePassword(const char *stored, std::int32_t length, std::uint8_t *password);

#endif
