// DES and two-key triple DES against the NIST CAVP response files, classic worked examples, and
// OpenSSL on random keys and lengths, in both directions.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "link/des.h"
#include "sim/sim_reader.h"

namespace {

typedef std::vector<std::uint8_t> Bytes;

Bytes Hex(const std::string &text) {
    Bytes b;
    EXPECT_TRUE(SimParseHex(text, &b)) << text;
    return b;
}

// One record of a CAVP response file, with the section it stands in.
struct CavpRecord {
    bool encrypt;
    std::map<std::string, std::string> fields;
};

std::vector<CavpRecord> ReadCavp(const std::string &path) {
    std::vector<CavpRecord> records;
    std::ifstream in(path);
    std::string line;
    bool encrypt = true;
    CavpRecord current{true, {}};
    auto flush = [&] {
        if (current.fields.count("PLAINTEXT") && current.fields.count("CIPHERTEXT")) {
            records.push_back(current);
        }
        current = CavpRecord{encrypt, {}};
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("[ENCRYPT]", 0) == 0) {
            flush();
            encrypt = true;
            current.encrypt = true;
            continue;
        }
        if (line.rfind("[DECRYPT]", 0) == 0) {
            flush();
            encrypt = false;
            current.encrypt = false;
            continue;
        }
        const auto eq = line.find(" = ");
        if (eq == std::string::npos) continue;
        const std::string name = line.substr(0, eq);
        if (name == "COUNT") flush();
        current.fields[name] = line.substr(eq + 3);
    }
    flush();
    return records;
}

// Single-DES known-answer files: KEYs is one key, used as K1 = K2 for the triple-DES functions
// (which then reduce to single DES) and directly for CBC.
class CavpSingleDes : public ::testing::TestWithParam<const char *> {};

TEST_P(CavpSingleDes, EveryRecordBothDirections) {
    const std::string path = std::string(ZUK_CAVP_DIR) + "/" + GetParam();
    const std::vector<CavpRecord> records = ReadCavp(path);
    ASSERT_GT(records.size(), 10u) << path;
    for (const CavpRecord &r : records) {
        const Bytes key = Hex(r.fields.at("KEYs"));
        const Bytes iv = r.fields.count("IV") ? Hex(r.fields.at("IV")) : Bytes(8, 0);
        const Bytes p = Hex(r.fields.at("PLAINTEXT"));
        const Bytes c = Hex(r.fields.at("CIPHERTEXT"));
        Bytes out(p.size());
        ASSERT_TRUE(DesCbcEncrypt(key.data(), iv.data(), p.data(), p.size(), out.data()));
        EXPECT_EQ(out, c) << path << " key " << r.fields.at("KEYs");
        ASSERT_TRUE(DesCbcDecrypt(key.data(), iv.data(), c.data(), c.size(), out.data()));
        EXPECT_EQ(out, p) << path << " key " << r.fields.at("KEYs");
        if (!r.fields.count("IV")) {
            ASSERT_TRUE(TdeaEcbEncrypt(key.data(), key.data(), p.data(), p.size(), out.data()));
            EXPECT_EQ(out, c) << path;
            ASSERT_TRUE(TdeaEcbDecrypt(key.data(), key.data(), c.data(), c.size(), out.data()));
            EXPECT_EQ(out, p) << path;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kat, CavpSingleDes,
                         ::testing::Values("ECB/TECBvarkey.rsp", "ECB/TECBvartext.rsp",
                                           "ECB/TECBpermop.rsp", "ECB/TECBsubtab.rsp",
                                           "ECB/TECBinvperm.rsp", "CBC/TCBCvarkey.rsp",
                                           "CBC/TCBCvartext.rsp", "CBC/TCBCpermop.rsp",
                                           "CBC/TCBCsubtab.rsp", "CBC/TCBCinvperm.rsp"));

TEST(CavpTdea, TwoKeyMultiBlockEcbBothDirections) {
    const std::vector<CavpRecord> records =
        ReadCavp(std::string(ZUK_CAVP_DIR) + "/ECB/TECBMMT2.rsp");
    ASSERT_EQ(records.size(), 20u);
    for (const CavpRecord &r : records) {
        const Bytes k1 = Hex(r.fields.at("KEY1"));
        const Bytes k2 = Hex(r.fields.at("KEY2"));
        ASSERT_EQ(Hex(r.fields.at("KEY3")), k1);
        const Bytes p = Hex(r.fields.at("PLAINTEXT"));
        const Bytes c = Hex(r.fields.at("CIPHERTEXT"));
        Bytes out(p.size());
        if (r.encrypt) {
            ASSERT_TRUE(TdeaEcbEncrypt(k1.data(), k2.data(), p.data(), p.size(), out.data()));
            EXPECT_EQ(out, c);
        } else {
            ASSERT_TRUE(TdeaEcbDecrypt(k1.data(), k2.data(), c.data(), c.size(), out.data()));
            EXPECT_EQ(out, p);
        }
        // And the other direction of every record.
        ASSERT_TRUE(TdeaEcbDecrypt(k1.data(), k2.data(), c.data(), c.size(), out.data()));
        EXPECT_EQ(out, p);
    }
}

TEST(DesKnownAnswers, Fips81MultiBlockCbcAndEcb) {
    const Bytes key = Hex("0123456789ABCDEF");
    const Bytes iv = Hex("1234567890ABCDEF");
    const Bytes p = Hex("4E6F772069732074 68652074696D6520 666F7220616C6C20");
    const Bytes cbc = Hex("E5C7CDDE872BF27C 43E934008C389C0F 683788499A7C05F6");
    const Bytes ecb = Hex("3FA40E8A984D4815 6A271787AB8883F9 893D51EC4B563B53");
    Bytes out(p.size());
    ASSERT_TRUE(DesCbcEncrypt(key.data(), iv.data(), p.data(), p.size(), out.data()));
    EXPECT_EQ(out, cbc);
    ASSERT_TRUE(DesCbcDecrypt(key.data(), iv.data(), cbc.data(), cbc.size(), out.data()));
    EXPECT_EQ(out, p);
    ASSERT_TRUE(TdeaEcbEncrypt(key.data(), key.data(), p.data(), p.size(), out.data()));
    EXPECT_EQ(out, ecb);
    // In place.
    Bytes buf = p;
    ASSERT_TRUE(DesCbcEncrypt(key.data(), iv.data(), buf.data(), buf.size(), buf.data()));
    EXPECT_EQ(buf, cbc);
    // Overlapping by one block either way: the input is read whole before the output is written.
    for (const int shift : {-8, 8}) {
        for (const bool tdea : {false, true}) {
            Bytes room(p.size() + 8, 0xEE);
            const std::size_t in = shift < 0 ? 8 : 0, outAt = shift < 0 ? 0 : 8;
            std::copy(p.begin(), p.end(), room.begin() + static_cast<long>(in));
            const bool ok = tdea ? TdeaEcbEncrypt(key.data(), key.data(), room.data() + in,
                                                  p.size(), room.data() + outAt)
                                 : DesCbcEncrypt(key.data(), iv.data(), room.data() + in, p.size(),
                                                 room.data() + outAt);
            ASSERT_TRUE(ok);
            EXPECT_EQ(Bytes(room.begin() + static_cast<long>(outAt),
                            room.begin() + static_cast<long>(outAt + p.size())),
                      tdea ? ecb : cbc)
                << "shift " << shift << (tdea ? " TDEA-ECB" : " DES-CBC");
        }
    }
}

TEST(DesRules, LengthNotBlockMultipleFailsAndParityBitsAreIgnored) {
    const Bytes key = Hex("0123456789ABCDEF");
    const Bytes zero(16, 0);
    Bytes out(16, 0xAA);
    EXPECT_FALSE(DesCbcEncrypt(key.data(), zero.data(), zero.data(), 12, out.data()));
    EXPECT_FALSE(DesCbcDecrypt(key.data(), zero.data(), zero.data(), 12, out.data()));
    EXPECT_FALSE(TdeaEcbEncrypt(key.data(), key.data(), zero.data(), 12, out.data()));
    EXPECT_FALSE(TdeaEcbDecrypt(key.data(), key.data(), zero.data(), 7, out.data()));
    EXPECT_FALSE(DesCbcEncrypt(nullptr, zero.data(), zero.data(), 8, out.data()));

    Bytes flipped = key;
    for (auto &b : flipped) b ^= 0x01;
    Bytes a(16), b(16);
    ASSERT_TRUE(DesCbcEncrypt(key.data(), zero.data(), zero.data(), 16, a.data()));
    ASSERT_TRUE(DesCbcEncrypt(flipped.data(), zero.data(), zero.data(), 16, b.data()));
    EXPECT_EQ(a, b);
    Bytes flippedOther = key;
    flippedOther[0] ^= 0x02;  // a real key bit does change the result
    ASSERT_TRUE(DesCbcEncrypt(flippedOther.data(), zero.data(), zero.data(), 16, b.data()));
    EXPECT_NE(a, b);
}

// OpenSSL as an independent implementation, on random keys, IVs and lengths.
Bytes OpenSslCipher(const EVP_CIPHER *cipher, const Bytes &key, const Bytes *iv, const Bytes &in,
                    bool encrypt) {
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 16);
    int n1 = 0, n2 = 0;
    EXPECT_EQ(EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv ? iv->data() : nullptr,
                                encrypt ? 1 : 0),
              1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EXPECT_EQ(EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())), 1);
    EXPECT_EQ(EVP_CipherFinal_ex(ctx, out.data() + n1, &n2), 1);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n1 + n2));
    return out;
}

Bytes RandomBytes(std::size_t n) {
    Bytes b(n);
    if (n > 0) {
        EXPECT_EQ(RAND_bytes(b.data(), static_cast<int>(n)), 1);
    }
    return b;
}

TEST(DesAgainstOpenSsl, RandomKeysAndLengths) {
    OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER *deflt = OSSL_PROVIDER_load(nullptr, "default");
    ASSERT_NE(legacy, nullptr) << "OpenSSL legacy provider (single DES) not available";
    EVP_CIPHER *desCbc = EVP_CIPHER_fetch(nullptr, "DES-CBC", nullptr);
    EVP_CIPHER *ede = EVP_CIPHER_fetch(nullptr, "DES-EDE-ECB", nullptr);
    ASSERT_NE(desCbc, nullptr);
    ASSERT_NE(ede, nullptr);
    for (int round = 0; round < 200; ++round) {
        const std::size_t length = 8 * (static_cast<std::size_t>(RandomBytes(1)[0]) % 33 + 1);
        const Bytes key = RandomBytes(8), key2 = RandomBytes(8), iv = RandomBytes(8);
        const Bytes data = RandomBytes(length);
        Bytes ours(length);

        ASSERT_TRUE(DesCbcEncrypt(key.data(), iv.data(), data.data(), length, ours.data()));
        EXPECT_EQ(ours, OpenSslCipher(desCbc, key, &iv, data, true));
        ASSERT_TRUE(DesCbcDecrypt(key.data(), iv.data(), data.data(), length, ours.data()));
        EXPECT_EQ(ours, OpenSslCipher(desCbc, key, &iv, data, false));

        Bytes bundle = key;
        bundle.insert(bundle.end(), key2.begin(), key2.end());
        ASSERT_TRUE(TdeaEcbEncrypt(key.data(), key2.data(), data.data(), length, ours.data()));
        EXPECT_EQ(ours, OpenSslCipher(ede, bundle, nullptr, data, true));
        ASSERT_TRUE(TdeaEcbDecrypt(key.data(), key2.data(), data.data(), length, ours.data()));
        EXPECT_EQ(ours, OpenSslCipher(ede, bundle, nullptr, data, false));
    }
    EVP_CIPHER_free(desCbc);
    EVP_CIPHER_free(ede);
    OSSL_PROVIDER_unload(legacy);
    OSSL_PROVIDER_unload(deflt);
}

}  // namespace
