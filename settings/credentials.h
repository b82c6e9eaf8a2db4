// The credential store: the remembered and the entered ID/password pair in the current user's
// registry, the password kept as hexadecimal text of a masked form (Password, InputPassword) or,
// with the ProtectPasswords switch on, protected for the current user by the system's data
// protection with the store's own entropy (REG_BINARY PasswordProtected, InputPasswordProtected).
// Writing one form deletes the pair's value of the other; reading takes either, the protected one
// first, so switching either way keeps what was stored.
#ifndef ZUK_SETTINGS_CREDENTIALS_H
#define ZUK_SETTINGS_CREDENTIALS_H

#include <cstdint>

#include "settings/settings_state.h"

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
// a value that is missing).  The password comes back in its masked (hexadecimal) form, also when it
// is stored protected.  These read as no pair at all (both lengths 0): a protected password that
// cannot be opened (another user's or machine's, damaged, made with other entropy); a pair whose
// record does not match it or names another mask than the one in force; a pair of a card the
// revocation lists refuse (deleted when the card is revoked); a pair without a record (stored by an
// earlier version) with a masked password while a site's mask is in force.
int ReadCredentials(char *id, std::int32_t *idLength, char *password, std::int32_t *passwordLength,
                    CredentialKind kind);
// Writes a pair; the password is the masked text from ScramblePassword.  With the switch on it is
// unmasked, protected and stored protected; a protection the system refuses fails the write
// (kStoreWriteFailed) before anything is written.  cardIdm: the IDm of the card the pair was read
// from (8 bytes), null for a typed pair; the pair's record keeps it with the mask's check value.
int WriteCredentials(const char *id, std::int32_t idLength, const char *password,
                     std::int32_t passwordLength, CredentialKind kind,
                     const std::uint8_t *cardIdm = nullptr);
// Deletes every pair of the current user (remembered in either key, entered) read from this card.
void ForgetPairsOfCard(const std::uint8_t idm[8]);
// Removes the entered pair, its password in either form; kStoreOk when the ID and a password were
// there.
int DeleteCredentials();

// The mask of stored passwords: the built-in one after a reset, or a site's.  When the site keys
// stored on the machine cannot be used the mask is unusable: nothing is masked or unmasked (no
// pair is read, none is written), so no password is ever stored or read with the built-in mask in
// the site's place.
// (PasswordMask: settings_state.h)
extern PasswordMask &g_passwordMask;  // in the settings record (settings_state.h)
void PasswordMaskReset();
// A site's mask (mask given) or none (null).
void UsePasswordMask(const std::uint8_t *mask);

// Masks a password of length bytes into its stored text (kStoredTextSize bytes); returns the text's
// length (2 + 2 * length), or 0 for an empty or over-long password.
std::int32_t ScramblePassword(const std::uint8_t *password, std::int32_t length, char *stored);
// Turns a stored text back into the password (kStoredTextSize bytes); returns its length, 0 when
// the text is empty or not valid hexadecimal.
std::int32_t UnscramblePassword(const char *stored, std::int32_t length, std::uint8_t *password);

#endif
