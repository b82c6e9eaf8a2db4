// zuk_des_bench: time per 8-byte block of the library's DES-CBC and two-key triple DES ECB against
// OpenSSL on the same data, side by side in one run.  Two shapes: a 32-byte message with the key
// set up for each call (what the secure channel does per frame), and a 4096-byte run.
// One JSON object a line.
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "link/des.h"

namespace {

const std::uint8_t kK1[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const std::uint8_t kK2[8] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11};
const std::uint8_t kIv[8] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xAB, 0xCD, 0xEF};
std::uint8_t g_in[4096], g_out[4096];
volatile std::uint8_t g_sink;

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void OursCbc(std::size_t n) { DesCbcEncrypt(kK1, kIv, g_in, n, g_out); }
void OursEcb(std::size_t n) { TdeaEcbEncrypt(kK1, kK2, g_in, n, g_out); }

const EVP_CIPHER *g_desCbc;
const EVP_CIPHER *g_tdeaEcb;
EVP_CIPHER_CTX *g_ctx;

void OpenSsl(const EVP_CIPHER *cipher, const std::uint8_t *key, const std::uint8_t *iv,
             std::size_t n) {
    int a = 0, b = 0;
    EVP_EncryptInit_ex(g_ctx, cipher, nullptr, key, iv);
    EVP_CIPHER_CTX_set_padding(g_ctx, 0);
    EVP_EncryptUpdate(g_ctx, g_out, &a, g_in, static_cast<int>(n));
    EVP_EncryptFinal_ex(g_ctx, g_out + a, &b);
}
std::uint8_t g_k1k2[16];
void SslCbc(std::size_t n) { OpenSsl(g_desCbc, kK1, kIv, n); }
void SslEcb(std::size_t n) { OpenSsl(g_tdeaEcb, g_k1k2, nullptr, n); }

// Nanoseconds per block: the best of five runs of enough calls to fill about 50 ms.
double PerBlock(void (*fn)(std::size_t), std::size_t n) {
    int reps = 1;
    for (;;) {
        const double a = Now();
        for (int i = 0; i < reps; ++i) fn(n);
        if (Now() - a > 0.05) break;
        reps *= 2;
    }
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        const double a = Now();
        for (int i = 0; i < reps; ++i) fn(n);
        const double t = (Now() - a) / reps / static_cast<double>(n / 8) * 1e9;
        if (t < best) best = t;
    }
    g_sink = g_out[0];
    return best;
}

void Report(const char *name, void (*ours)(std::size_t), void (*ssl)(std::size_t), std::size_t n) {
    const double o = PerBlock(ours, n), s = PerBlock(ssl, n);
    std::printf("{\"name\": \"%s, %zu bytes\", \"ours_ns_per_block\": %.1f, "
                "\"openssl_ns_per_block\": %.1f, \"ratio\": %.3f}\n",
                name, n, o, s, o / s);
}

}  // namespace

int main() {
    for (std::size_t i = 0; i < sizeof g_in; ++i) g_in[i] = static_cast<std::uint8_t>(i * 7 + 1);
    std::memcpy(g_k1k2, kK1, 8);
    std::memcpy(g_k1k2 + 8, kK2, 8);
    if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr ||
        OSSL_PROVIDER_load(nullptr, "default") == nullptr) {
        std::fprintf(stderr, "OpenSSL's legacy provider (single DES) is not available\n");
        return 1;
    }
    g_desCbc = EVP_CIPHER_fetch(nullptr, "DES-CBC", nullptr);
    g_tdeaEcb = EVP_CIPHER_fetch(nullptr, "DES-EDE-ECB", nullptr);
    g_ctx = EVP_CIPHER_CTX_new();
    if (g_desCbc == nullptr || g_tdeaEcb == nullptr || g_ctx == nullptr) return 1;
    // The same output first: a comparison of different work would mean nothing.
    std::uint8_t mine[64];
    OursCbc(64);
    std::memcpy(mine, g_out, 64);
    SslCbc(64);
    if (std::memcmp(mine, g_out, 64) != 0) {
        std::fprintf(stderr, "DES-CBC differs\n");
        return 1;
    }
    OursEcb(64);
    std::memcpy(mine, g_out, 64);
    SslEcb(64);
    if (std::memcmp(mine, g_out, 64) != 0) {
        std::fprintf(stderr, "TDEA-ECB differs\n");
        return 1;
    }
    Report("DES-CBC", OursCbc, SslCbc, 32);
    Report("DES-CBC", OursCbc, SslCbc, 4096);
    Report("TDEA-ECB", OursEcb, SslEcb, 32);
    Report("TDEA-ECB", OursEcb, SslEcb, 4096);
    return 0;
}
