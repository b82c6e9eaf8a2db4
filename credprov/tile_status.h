// What the sign-in tile says after a call of the library: the catalogue message for a result code
// and the PIN tries the card has left.  Platform-neutral.
#ifndef ZUK_CREDPROV_TILE_STATUS_H
#define ZUK_CREDPROV_TILE_STATUS_H

#include <cstddef>
#include <cstdint>

// Catalogue ids of the provider's texts (dist/ZukLang_*.txt).
const std::uint32_t kMsgTileTitle = 0x000D0001;     // the tile's title while no card is laid
const std::uint32_t kMsgPinLabel = 0x000D0002;      // the PIN field's label
const std::uint32_t kMsgPlaceCard = 0x000D0003;     // no card on the reader
const std::uint32_t kMsgPinWrong = 0x000D0004;      // wrong PIN; the tries left follow
const std::uint32_t kMsgCardLocked = 0x000D0005;    // the card is locked
const std::uint32_t kMsgCardRevoked = 0x000D0006;   // the card is revoked on this computer
const std::uint32_t kMsgNoReader = 0x000D0007;      // no reader answers
const std::uint32_t kMsgOtherKeys = 0x000D0008;     // the reader holds other keys
const std::uint32_t kMsgCardError = 0x000D0009;     // any other failure of the card or library
const std::uint32_t kMsgSignInFailed = 0x000D000A;  // Windows refused the account and password

// Where in the provider's work a result came from: opening the reader tells a reader that
// refuses the library's keys from a card that cannot be read.
enum TilePhase { kPhaseOpen, kPhaseCard };

struct TileStatus {
    std::uint32_t messageId;  // 0: nothing to say (the call succeeded)
    int triesLeft;            // shown after the text when 0 or more (wrong PIN only), else -1
    bool error;               // shown with the error icon
};

// result: a ZUK_* code; triesLeft: what ZUKGetUserAccountWithPin reported (-1 unknown).
TileStatus StatusForResult(int result, int triesLeft, TilePhase phase);

// Writes the text of a status into out (UTF-16, zero-terminated, at most capacity units): the
// catalogue text (already UTF-16) and, for a wrong PIN, a space and the tries left in digits.
void ComposeStatusText(const std::uint16_t *catalogueText, const TileStatus &status,
                       std::uint16_t *out, std::size_t capacity);

#endif
