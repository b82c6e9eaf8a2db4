// Moving a reader to another operational set (ChannelMoveKeys) against the in-process simulated
// reader, and the reader's rule the move relies on: a reader holding an operational set takes a new
// one only in a session authenticated with the set it holds.
#include <cstring>

#include "ZUKcntrl.h"
#include "link/des.h"
#include "link/link_state.h"
#include "link_fixture.h"
#include "tests/result_expect.h"

namespace {

const std::uint8_t kBuiltInInitial[24] = ZUK_INITIAL_KEYS_INIT;
const std::uint8_t kBuiltIn[24] = ZUK_OPERATIONAL_KEYS_INIT;
const std::uint8_t kSiteSet[24] = {0x31, 0x42, 0x53, 0x64, 0x75, 0x86, 0x97, 0xA8,
                                   0x0B, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x61, 0x72,
                                   0xC4, 0xD5, 0xE6, 0xF7, 0x08, 0x19, 0x2A, 0x3B};

// A key block as the reader takes it (INS 0x85 P2=01): a session key and `set`, wrapped under two
// random values.  They are taken from the reader itself (its last challenge, the host's value and
// the session key it derived), so that only its session state can make it refuse the block.
LinkStatus SendKeyBlock(const SimReader &reader, bool wrongSessionKey, const std::uint8_t set[24]) {
    std::uint8_t block[32];
    std::memcpy(block, reader.sessionKey, 8);
    if (wrongSessionKey) block[3] ^= 0x10;
    std::memcpy(block + 8, set, 24);
    std::uint8_t body[5 + 32] = {0x00, 0x85, 0x00, 0x01, 0x20};
    EXPECT_TRUE(TdeaEcbEncrypt(reader.readerRandom, reader.hostRandom, block, 32, body + 5));
    return ReaderCommand(FRAME_TYPE_READER, body, sizeof body, nullptr, nullptr);
}

TEST_F(LinkTest, MoveKeysGivesTheReaderTheNewSetAndTheOldOneNoLongerOpensIt) {
    OpenLink();
    ASSERT_EQ(ChannelMoveKeys(kSiteSet), LINK_OK);
    EXPECT_EQ(std::memcmp(sim.heldKeys, kSiteSet, 24), 0);
    EXPECT_EQ(std::memcmp(g_link.keys.operational, kSiteSet, 24), 0);
    EXPECT_EQ(std::memcmp(g_link.keys.initial, kBuiltInInitial, 24), 0);
    // Authenticated afresh once with the old set and once with the new one.
    EXPECT_EQ(sim.authentications, 3);
    ASSERT_EQ(SessionCloseLink(), LINK_OK);

    ASSERT_EQ(SessionOpenLink(kPortPath), LINK_OK);  // the channel's set is now the new one
    ASSERT_EQ(SessionCloseLink(), LINK_OK);
    LinkUseChannelKeys(kBuiltInInitial, kBuiltIn);
    // The reader refuses the library's answer: a status of its own, which names the key mismatch.
    const LinkStatus refused = SessionOpenLink(kPortPath);
    EXPECT_EQ(refused, LinkQualifyStatus(LINK_AUTH_REFUSED_BASE + 0x6300, LINK_PHASE_OPEN));
    EXPECT_TRUE(ChannelKeysRefused(refused));
    EXPECT_RESULT(StatusResult(refused), ZUK_ERR_PORT_OPEN) << "the host's code stays what it was";
    EXPECT_EQ(std::memcmp(sim.heldKeys, kSiteSet, 24), 0);
}

TEST_F(LinkTest, MoveKeysFromASetTheReaderDoesNotHoldChangesNothing) {
    OpenLink();
    LinkUseChannelKeys(kBuiltInInitial, kSiteSet);  // the channel believes in another set
    const std::uint8_t third[24] = {0x5A};
    EXPECT_EQ(ChannelMoveKeys(third), LINK_AUTH_REFUSED_BASE + 0x6300);
    EXPECT_EQ(std::memcmp(sim.heldKeys, kBuiltIn, 24), 0);
    EXPECT_EQ(std::memcmp(g_link.keys.operational, kSiteSet, 24), 0);
}

TEST_F(LinkTest, WipedKeySetsOpenNoReaderUntilTheResetBringsBackTheBuiltInOnes) {
    const std::uint8_t zeros[24] = {0};
    LinkWipeChannelKeys();
    EXPECT_EQ(std::memcmp(g_link.keys.initial, zeros, 24), 0);
    EXPECT_EQ(std::memcmp(g_link.keys.operational, zeros, 24), 0);
    EXPECT_NE(SessionOpenLink(kPortPath), LINK_OK);
    EXPECT_EQ(sim.authentications, 0) << "no session may run on the wiped keys";
    (void)SessionCloseLink();
    LinkStateReset();
    EXPECT_EQ(std::memcmp(g_link.keys.initial, kBuiltInInitial, 24), 0);
    EXPECT_EQ(std::memcmp(g_link.keys.operational, kBuiltIn, 24), 0);
    ASSERT_EQ(SessionOpenLink(kPortPath), LINK_OK);
    EXPECT_EQ(SessionCloseLink(), LINK_OK);
}

TEST_F(LinkTest, AHeldSetIsReplacedOnlyInASessionAuthenticatedWithIt) {
    struct Case {
        const char *name;
        bool authenticated;  // the link's session is open when the key block is sent
        bool failedAgain;    // an authentication with a wrong set comes between
        bool wrongSessionKey;
        bool factory;  // a factory reader, authenticated in clear, then given a complete key state
        LinkStatus expected;
    };
    const Case cases[] = {
        {"in the authenticated session", true, false, false, false, LINK_OK},
        {"without an authentication", false, false, false, false, LINK_STATUS_WORD_BASE + 0x6982},
        {"after a failed authentication", true, true, false, false, LINK_STATUS_WORD_BASE + 0x6982},
        {"with another session key inside", true, false, true, false,
         LINK_STATUS_WORD_BASE + 0x6982},
        {"in a clear session", false, false, false, true, LINK_STATUS_WORD_BASE + 0x6982},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SimReaderInit(&sim, kBuiltInInitial, kBuiltIn, !c.factory);
        LinkUseChannelKeys(kBuiltInInitial, kBuiltIn);
        ASSERT_EQ(c.authenticated ? SessionOpenLink(kPortPath) : SessionOpenReader(kPortPath),
                  LINK_OK);
        if (c.factory) {
            ASSERT_EQ(ChannelAuthenticate(CHANNEL_KEYS_NONE), LINK_OK);
            const std::uint8_t state[] = {0x00, 0x85, 0x00, 0x02, 0x03, 0x02, 0x11, 0x02};
            ASSERT_EQ(ReaderCommand(FRAME_TYPE_READER, state, sizeof state, nullptr, nullptr),
                      LINK_OK);
        }
        if (c.failedAgain) {
            LinkUseChannelKeys(kBuiltInInitial, kSiteSet);
            ASSERT_NE(ChannelAuthenticate(CHANNEL_KEYS_OPERATIONAL), LINK_OK);
        }
        EXPECT_EQ(SendKeyBlock(sim, c.wrongSessionKey, kSiteSet), c.expected);
        const std::uint8_t *before = c.factory ? kBuiltInInitial : kBuiltIn;
        EXPECT_EQ(std::memcmp(sim.heldKeys, c.expected == LINK_OK ? kSiteSet : before, 24), 0);
        EXPECT_EQ(SimHex(sim.keyState, 3), "02 11 02");
        ASSERT_EQ(SessionCloseLink(), LINK_OK);
    }
}

}  // namespace
