// Body builders of the FeliCa command layer: every command body, with its limits checked and
// the output capacity respected.
#include <cstring>

#include "card/felica.h"
#include "link/link.h"
#include "link/reader.h"

namespace {

// Appends bytes to a bounded body; remembers whether anything failed to fit.
struct BodyWriter {
    std::uint8_t *out;
    std::size_t cap;
    std::size_t used;
    bool overflow;

    void Byte(std::uint8_t b) {
        if (used >= cap) {
            overflow = true;
            return;
        }
        out[used++] = b;
    }
    void Bytes(const std::uint8_t *p, std::size_t n) {
        if (n > cap - used) {
            overflow = true;
            return;
        }
        std::memcpy(out + used, p, n);
        used += n;
    }
    CardStatus Finish(std::size_t *length) const {
        if (overflow) return BUILD_ERR_TOO_LONG;
        *length = used;
        return BUILD_OK;
    }
};

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

bool KeyByteValid(int v) { return InRange(v, 0, 15) || InRange(v, 0x80, 0x8F); }

}  // namespace

CardStatus FelicaBuildPolling(const std::uint8_t code[2], std::uint8_t *out, std::size_t cap,
                              std::size_t *length) {
    if (code == nullptr || out == nullptr || length == nullptr) return BUILD_ERR_LIMIT;
    BodyWriter w{out, cap, 0, false};
    w.Byte(0x00);
    w.Bytes(code, 2);
    w.Byte(0x01);  // request code
    w.Byte(0x00);  // time slot
    return w.Finish(length);
}

CardStatus FelicaBuildPollingMulti(int n, const std::uint8_t *codes, std::uint8_t *out,
                                   std::size_t cap, std::size_t *length) {
    if (!InRange(n, 0, FELICA_MAX_POLL_CODES) || (n > 0 && codes == nullptr) || out == nullptr ||
        length == nullptr)
        return BUILD_ERR_LIMIT;
    BodyWriter w{out, cap, 0, false};
    w.Byte(0x60);
    w.Byte(static_cast<std::uint8_t>(0x80 + n));
    if (n > 0) w.Bytes(codes, 2 * static_cast<std::size_t>(n));
    w.Byte(0x01);
    w.Byte(0x00);
    return w.Finish(length);
}

CardStatus FelicaBuildRequestResponse(const std::uint8_t idm[8], std::uint8_t *out, std::size_t cap,
                                      std::size_t *length) {
    if (idm == nullptr || out == nullptr || length == nullptr) return BUILD_ERR_LIMIT;
    BodyWriter w{out, cap, 0, false};
    w.Byte(0x04);
    w.Bytes(idm, FELICA_IDM_SIZE);
    return w.Finish(length);
}

CardStatus FelicaBuildRead(const std::uint8_t idm[8], int n, const std::uint8_t *blocks,
                           std::uint8_t *out, std::size_t cap, std::size_t *length) {
    if (idm == nullptr || blocks == nullptr || out == nullptr || length == nullptr ||
        !InRange(n, 1, FELICA_MAX_READ_BLOCKS))
        return BUILD_ERR_LIMIT;
    BodyWriter w{out, cap, 0, false};
    w.Byte(0x14);
    w.Bytes(idm, FELICA_IDM_SIZE);
    w.Byte(static_cast<std::uint8_t>(n));
    w.Bytes(blocks, 2 * static_cast<std::size_t>(n));
    return w.Finish(length);
}

CardStatus FelicaBuildWrite(const std::uint8_t idm[8], int n, const std::uint8_t *blocks,
                            const std::uint8_t *data, std::uint8_t *out, std::size_t cap,
                            std::size_t *length) {
    if (idm == nullptr || blocks == nullptr || data == nullptr || out == nullptr ||
        length == nullptr || !InRange(n, 1, FELICA_MAX_WRITE_BLOCKS))
        return BUILD_ERR_LIMIT;
    BodyWriter w{out, cap, 0, false};
    w.Byte(0x16);
    w.Bytes(idm, FELICA_IDM_SIZE);
    w.Byte(static_cast<std::uint8_t>(n));
    w.Bytes(blocks, 2 * static_cast<std::size_t>(n));
    w.Bytes(data, FELICA_BLOCK_SIZE * static_cast<std::size_t>(n));
    return w.Finish(length);
}

CardStatus FelicaBuildKeySelect(int keyNumber, int keyVersion, std::uint8_t *out, std::size_t cap,
                                std::size_t *length) {
    if (out == nullptr || length == nullptr || !KeyByteValid(keyNumber) ||
        !KeyByteValid(keyVersion))
        return BUILD_ERR_LIMIT;
    BodyWriter w{out, cap, 0, false};
    w.Byte(0x42);
    w.Byte(static_cast<std::uint8_t>(keyNumber));
    w.Byte(static_cast<std::uint8_t>(keyVersion));
    return w.Finish(length);
}

namespace {

// 56/52, 81, IDm, na, areas, ns, services: the common head of both authentication bodies.
void AuthHead(BodyWriter *w, std::uint8_t command, const std::uint8_t idm[8], int na,
              const std::uint8_t *areas, int ns, const std::uint8_t *services) {
    w->Byte(command);
    w->Byte(0x81);
    w->Bytes(idm, FELICA_IDM_SIZE);
    w->Byte(static_cast<std::uint8_t>(na));
    w->Bytes(areas, 2 * static_cast<std::size_t>(na));
    w->Byte(static_cast<std::uint8_t>(ns));
    w->Bytes(services, 2 * static_cast<std::size_t>(ns));
}

}  // namespace

CardStatus FelicaBuildAuth(const std::uint8_t idm[8], int na, const std::uint8_t *areas, int ns,
                           const std::uint8_t *services, std::uint8_t *out, std::size_t cap,
                           std::size_t *length) {
    if (idm == nullptr || areas == nullptr || services == nullptr || out == nullptr ||
        length == nullptr || !InRange(na, 1, FELICA_MAX_LIST) || !InRange(ns, 1, FELICA_MAX_LIST))
        return BUILD_ERR_LIMIT;
    BodyWriter w{out, cap, 0, false};
    AuthHead(&w, 0x52, idm, na, areas, ns, services);
    return w.Finish(length);
}

CardStatus FelicaBuildAuthRead(const std::uint8_t idm[8], int na, const std::uint8_t *areas, int ns,
                               const std::uint8_t *services, int nb, const std::uint8_t *blocks,
                               std::uint8_t *out, std::size_t cap, std::size_t *length) {
    if (idm == nullptr || areas == nullptr || services == nullptr || blocks == nullptr ||
        out == nullptr || length == nullptr || !InRange(na, 1, FELICA_MAX_LIST) ||
        !InRange(ns, 1, FELICA_MAX_LIST) || !InRange(nb, 1, FELICA_MAX_READ_BLOCKS))
        return BUILD_ERR_LIMIT;
    BodyWriter w{out, cap, 0, false};
    AuthHead(&w, 0x56, idm, na, areas, ns, services);
    w.Byte(static_cast<std::uint8_t>(nb));
    w.Bytes(blocks, 2 * static_cast<std::size_t>(nb));
    return w.Finish(length);
}

CardStatus FelicaBuildKeyTableFrame(int p1, int p2, int slots, const std::uint8_t *data,
                                    std::uint8_t *out, std::size_t cap, std::size_t *length) {
    if (data == nullptr || out == nullptr || length == nullptr || !InRange(p1, 0, 255) ||
        !InRange(p2, 0, 15) || !InRange(slots, 0, FELICA_MAX_KEY_SLOTS))
        return BUILD_ERR_LIMIT;
    // Lc is one byte: 32 slots (256 bytes) would be sent as Lc 00 followed by 256 bytes, a
    // frame whose length field contradicts itself, so the largest table is 31 slots.
    if (slots * 8 > 0xFF) return BUILD_ERR_LIMIT;
    const std::size_t lc = 8 * static_cast<std::size_t>(slots);
    const std::size_t bodyLength = 5 + lc;
    BodyWriter w{out, cap, 0, false};
    w.Byte(FRAME_TYPE_READER);
    w.Byte(static_cast<std::uint8_t>(bodyLength >> 8));
    w.Byte(static_cast<std::uint8_t>(bodyLength));
    w.Byte(0x00);
    w.Byte(0x89);
    w.Byte(static_cast<std::uint8_t>(p1));
    w.Byte(static_cast<std::uint8_t>(p2));
    w.Byte(static_cast<std::uint8_t>(lc));
    w.Bytes(data, lc);
    if (w.overflow) return BUILD_ERR_TOO_LONG;
    w.Byte(FrameChecksum(out, w.used));
    return w.Finish(length);
}
