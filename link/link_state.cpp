// The reader link's record.
#include "link/link_state.h"

#include <cstring>

#include "platform/system.h"
#include "zuk_build_constants.h"

// The state at load, set by the compiler (no code runs before the first use).
LinkState g_link = {PLAT_SERIAL_NONE, ChannelSession{}, false,
                    ChannelKeys{ZUK_INITIAL_KEYS_INIT, ZUK_OPERATIONAL_KEYS_INIT}};

namespace {

const std::uint8_t kBuiltInInitial[CHANNEL_KEY_SET_SIZE] = ZUK_INITIAL_KEYS_INIT;
const std::uint8_t kBuiltInOperational[CHANNEL_KEY_SET_SIZE] = ZUK_OPERATIONAL_KEYS_INIT;

}  // namespace

void LinkStateReset() {
    PlatSecureWipe(&g_link.channel, sizeof g_link.channel);
    g_link.port = PLAT_SERIAL_NONE;
    g_link.channel = ChannelSession{};
    g_link.strictChecks = false;
    LinkUseChannelKeys(kBuiltInInitial, kBuiltInOperational);
}

void LinkUseChannelKeys(const std::uint8_t initial[CHANNEL_KEY_SET_SIZE],
                        const std::uint8_t operational[CHANNEL_KEY_SET_SIZE]) {
    std::memmove(g_link.keys.initial, initial, CHANNEL_KEY_SET_SIZE);
    std::memmove(g_link.keys.operational, operational, CHANNEL_KEY_SET_SIZE);
}

void LinkWipeChannelKeys() {
    PlatSecureWipe(g_link.keys.initial, sizeof g_link.keys.initial);
    PlatSecureWipe(g_link.keys.operational, sizeof g_link.keys.operational);
}
