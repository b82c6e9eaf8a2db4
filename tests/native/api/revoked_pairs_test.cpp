// Stored pairs against revocation and the password mask: a pair read from a card that is revoked
// is never handed out again (in the loaded library or after a reload, from either key, masked or
// protected, remembered or handed over) and is deleted once the library meets the card or the
// pair; a pair masked under another mask than the one in force is no pair (asked for again, 16 at
// pick-up), never a wrong password; pairs stored without a record keep working under the build's
// own mask.
#include <cstring>

#include "api_fixture.h"
#include "card/last_status.h"
#include "settings/credentials.h"
#include "settings/revocation.h"
#include "status/status_table.h"
#include "tests/result_expect.h"

namespace {

const int kHandOver = ZUK_ACCOUNT_MODE_INTERACTIVE_HANDOVER;
const int kPickUp = ZUK_ACCOUNT_MODE_PICKUP;
const std::uint32_t kRememberDurable =
    kRememberStoreNonVolatile | kRememberIdAndPassword | kInputIdAndPassword;
const std::uint32_t kRememberVolatile =
    kRememberStoreVolatile | kRememberIdAndPassword | kInputIdAndPassword;
const std::uint32_t kHandOverOnly = kRememberNothing | kInputIdAndPassword;

class RevokedPairs : public StoredPairTest {
protected:
    void Load(std::uint32_t config, bool protect) {
        Configure(kLibraryModeCard, kDeviceReader, config,
                  std::string("[Prompt]\nUnattended=1\n") +
                      (protect ? "[Credentials]\nProtectPasswords=1\n" : ""));
        ASSERT_EQ(GetProtectPasswords(), protect);
    }
    void Reload() {
        ReleasePortMutex();
        LibraryDetach();
        ASSERT_TRUE(LibraryAttach(nullptr));
    }
    // Whether any byte of the card's account or password reached the host's buffers.
    bool Leaked() const {
        const std::string a(account, sizeof account), p(password, sizeof password);
        return a.find("alice") != std::string::npos || p.find("s3cret") != std::string::npos;
    }
    void Revoke() {
        FakeRegSetString(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "card", IdmText());
    }
    void Unrevoke() {
        FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_MACHINE_KEY, "card");
    }
    void StoreRemembered(const std::string &id, const std::string &pw) {
        char text[kStoredTextSize];
        const std::int32_t n = ScramblePassword(reinterpret_cast<const std::uint8_t *>(pw.data()),
                                                static_cast<std::int32_t>(pw.size()), text);
        ASSERT_EQ(
            WriteCredentials(id.data(), static_cast<std::int32_t>(id.size()), text, n, Remembered),
            0);
    }
    bool PinAsked() const {
        for (const FakeDialogShown &d : FakeDialogsShown()) {
            if (d.kind == FAKE_DIALOG_PIN) return true;
        }
        return false;
    }
};

TEST_F(RevokedPairs, APairFromARevokedCardIsNeverHandedOutAndIsDeleted) {
    struct Store {
        const char *what;
        std::uint32_t config;
        bool protect;
        int storeMode, readMode;
        const char *key;
        const char *idName, *passwordName, *recordName;
        int refused;  // what the host hears instead of the pair
    };
    const Store stores[] = {
        {"remembered in the durable key", kRememberDurable, false, 0, 0, ZUK_NONVOLATILE_KEY,
         "UserID", "Password", "PairRecord", ZUK_ERR_CARD_LOCKED},
        {"remembered in the volatile key", kRememberVolatile, false, 0, 0, ZUK_VOLATILE_KEY,
         "UserID", "Password", "PairRecord", ZUK_ERR_CARD_LOCKED},
        {"remembered, protected", kRememberDurable, true, 0, 0, ZUK_NONVOLATILE_KEY, "UserID",
         "PasswordProtected", "PairRecord", ZUK_ERR_CARD_LOCKED},
        {"handed over", kHandOverOnly, false, kHandOver, kPickUp, ZUK_VOLATILE_KEY, "InputUserID",
         "InputPassword", "InputPairRecord", ZUK_ERR_ACCOUNT_STORE},
        {"handed over, protected", kHandOverOnly, true, kHandOver, kPickUp, ZUK_VOLATILE_KEY,
         "InputUserID", "InputPasswordProtected", "InputPairRecord", ZUK_ERR_ACCOUNT_STORE},
    };
    enum When { kSameProcess, kAfterReload, kCardMetFirst };
    for (const Store &s : stores) {
        for (When when : {kSameProcess, kAfterReload, kCardMetFirst}) {
            SCOPED_TRACE(std::string(s.what) + (when == kSameProcess   ? ", in the same process"
                                                : when == kAfterReload ? ", after a reload"
                                                                       : ", the card met first"));
            Unrevoke();
            Load(s.config, s.protect);
            if (!CardSessionIsOpen()) Open();
            FakeDialogReset();
            ScriptPin();
            ASSERT_RESULT(Get(s.storeMode), ZUK_OK);
            ASSERT_EQ(Pair(), "alice/s3cret-pass");
            ASSERT_TRUE(Has(s.key, s.idName) && Has(s.key, s.passwordName) &&
                        Has(s.key, s.recordName));

            Revoke();
            if (when == kAfterReload) {
                Reload();
                Open();
            }
            if (when == kCardMetFirst) {
                char name[64];
                int length = sizeof name;
                EXPECT_RESULT(ZUKGetUserName(1, name, &length), ZUK_ERR_CARD_LOCKED);
                EXPECT_FALSE(Has(s.key, s.idName) || Has(s.key, s.passwordName) ||
                             Has(s.key, s.recordName))
                    << "meeting the revoked card deletes its pair";
            }
            FakeDialogReset();
            EXPECT_EQ(Get(s.readMode), s.refused);
            EXPECT_FALSE(Leaked());
            EXPECT_FALSE(PinAsked());
            EXPECT_FALSE(Has(s.key, s.idName) || Has(s.key, s.passwordName) ||
                         Has(s.key, s.recordName));
            // Taken off the list again, the card works; the deleted pair does not come back.
            Unrevoke();
            if (s.readMode == kPickUp) {
                EXPECT_RESULT(Get(kPickUp), ZUK_ERR_ACCOUNT_STORE);
            } else {
                ScriptPin();
                EXPECT_RESULT(Get(s.readMode), ZUK_OK);
                EXPECT_TRUE(PinAsked()) << "the pair came from the card again";
            }
        }
    }
}

TEST_F(RevokedPairs, ARevokedCardsPairIsNotHandedOutWithoutTheCard) {
    // The card is taken away after the pair was remembered: silent reuse alone would hand it out.
    Load(kRememberDurable, false);
    Open();
    ScriptPin();
    ASSERT_RESULT(Get(0), ZUK_OK);
    RemoveCard();
    Revoke();
    FakeDialogReset();
    FakeDialogScript({{FAKE_DIALOG_CARD_WAIT, -1, "", "", "", nullptr, nullptr}});
    EXPECT_RESULT(Get(0), ZUK_CANCELLED);
    EXPECT_FALSE(Leaked());
    EXPECT_FALSE(Has(ZUK_NONVOLATILE_KEY, "UserID"));
    // A typed pair names no card: revoking a card leaves it alone.
    Unrevoke();
    StoreRemembered("bob", "typed-pass");
    Revoke();
    EXPECT_RESULT(Get(0), ZUK_OK);
    EXPECT_EQ(Pair(), "bob/typed-pass");
}

// A revocation list that cannot be held whole says nothing about a card: its pairs are not handed
// out (nor deleted) while it stands.
TEST_F(RevokedPairs, NoListInForceHandsOutNoCardsPair) {
    Load(kRememberDurable, false);
    Open();
    ScriptPin();
    ASSERT_RESULT(Get(0), ZUK_OK);
    FakeRegSetValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "big", PLAT_REG_MULTI_SZ,
                    std::string(kMaxRevocationValue + 2, 'A'));
    FakeDialogReset();
    EXPECT_RESULT(Get(0), ZUK_ERR_SYSTEM);
    EXPECT_EQ(GetLastCardStatus(), SESSION_ERR_REVOCATION_TOO_LONG);
    EXPECT_FALSE(Leaked());
    EXPECT_TRUE(Has(ZUK_NONVOLATILE_KEY, "UserID")) << "kept: the card is not known to be revoked";
    FakeRegDeleteValue(PLAT_HKEY_LOCAL_MACHINE, ZUK_REVOKED_POLICY_KEY, "big");
    EXPECT_RESULT(Get(0), ZUK_OK);
    EXPECT_EQ(Pair(), "alice/s3cret-pass");
    EXPECT_FALSE(PinAsked());
}

// A pair masked under one mask read under another would unmask into garbage: it is no pair, the
// user is asked again (pick-up: 16).  Installing site keys, removing them and changing from one
// site's keys to another's all change the mask.  A protected pair does not depend on the mask and
// is read as it was.
TEST_F(RevokedPairs, APairMaskedUnderAnotherMaskIsNoPair) {
    std::uint8_t builtIn[PASSWORD_MASK_SIZE], siteA[PASSWORD_MASK_SIZE], siteB[PASSWORD_MASK_SIZE];
    std::memcpy(builtIn, g_passwordMask.bytes, sizeof builtIn);
    for (int i = 0; i < PASSWORD_MASK_SIZE; ++i) {
        siteA[i] = static_cast<std::uint8_t>(0x3C ^ (7 * i));
        siteB[i] = static_cast<std::uint8_t>(0xA5 ^ (11 * i));
    }
    struct Change {
        const char *what;
        const std::uint8_t *before, *after;
    };
    const Change changes[] = {{"keys install", builtIn, siteA},
                              {"keys remove", siteA, builtIn},
                              {"another site's keys", siteA, siteB}};
    for (const Change &c : changes) {
        for (bool protect : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (protect ? ", protected" : ", masked"));
            // Remembered: reuse.
            Load(kRememberDurable, protect);
            if (!CardSessionIsOpen()) Open();
            UsePasswordMask(c.before);
            StoreRemembered("alice", "s3cret-pass");
            UsePasswordMask(c.after);
            FakeDialogReset();
            ScriptPin();
            EXPECT_RESULT(Get(0), ZUK_OK);
            EXPECT_EQ(Pair(), "alice/s3cret-pass");
            EXPECT_EQ(PinAsked(), !protect)
                << "a masked pair is asked for again; a protected one is read";
            // Handed over, then picked up under the other mask.
            Load(kHandOverOnly, protect);
            UsePasswordMask(c.before);
            FakeDialogReset();
            ScriptPin();
            ASSERT_RESULT(Get(kHandOver), ZUK_OK);
            UsePasswordMask(c.after);
            EXPECT_EQ(Get(kPickUp), protect ? ZUK_OK : ZUK_ERR_ACCOUNT_STORE);
            if (protect) {
                EXPECT_EQ(Pair(), "alice/s3cret-pass");
            } else {
                EXPECT_FALSE(Leaked());
            }
        }
    }
}

// Pairs stored by an earlier version have no record: they were masked with the build's own mask,
// and keep working while it is in force; under a site's mask they are asked for again.  With the
// IDm as the account, the pair names its card after all, and a revocation reaches it.
TEST_F(RevokedPairs, PairsWithoutARecordKeepWorkingUnderTheBuildsMask) {
    Load(kRememberDurable, false);
    Open();
    StoreRemembered("alice", "s3cret-pass");
    FakeRegDeleteValue(PLAT_HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, "PairRecord");
    EXPECT_RESULT(Get(0), ZUK_OK);
    EXPECT_EQ(Pair(), "alice/s3cret-pass");
    EXPECT_FALSE(PinAsked());

    std::uint8_t site[PASSWORD_MASK_SIZE];
    for (int i = 0; i < PASSWORD_MASK_SIZE; ++i)
        site[i] = static_cast<std::uint8_t>(0x3C ^ (7 * i));
    UsePasswordMask(site);
    ScriptPin();
    EXPECT_RESULT(Get(0), ZUK_OK);
    EXPECT_EQ(Pair(), "alice/s3cret-pass");
    EXPECT_TRUE(PinAsked());

    Configure(kLibraryModeCard, kDeviceReader,
              kRememberStoreNonVolatile | kRememberId | kInputIdOnly, "[Prompt]\nUnattended=1\n",
              "IDM");
    if (!CardSessionIsOpen()) Open();
    std::string idm = IdmText();
    for (char &ch : idm) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    StoreRemembered(idm, "");
    FakeRegDeleteValue(PLAT_HKEY_CURRENT_USER, ZUK_NONVOLATILE_KEY, "PairRecord");
    Revoke();
    EXPECT_RESULT(Get(0), ZUK_ERR_CARD_LOCKED);
    EXPECT_FALSE(Has(ZUK_NONVOLATILE_KEY, "UserID"));
}

}  // namespace
