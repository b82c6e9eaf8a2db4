// Serial transport over the fake port with a canned device: open and its failures, the states,
// the write loop, and the frame read with its five further attempts and 50 ms pauses.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "link/transport.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_serial.h"

namespace {

// A device that records what the host wrote and has fixed bytes to send.
struct Canned {
    std::vector<std::uint8_t> written;
    std::deque<std::uint8_t> pending;
};

bool CannedReceive(void *c, const std::uint8_t *d, std::size_t n, std::uint32_t) {
    auto *self = static_cast<Canned *>(c);
    self->written.insert(self->written.end(), d, d + n);
    return true;
}

std::size_t CannedTransmit(void *c, std::uint8_t *out, std::size_t cap) {
    auto *self = static_cast<Canned *>(c);
    std::size_t n = 0;
    while (n < cap && !self->pending.empty()) {
        out[n++] = self->pending.front();
        self->pending.pop_front();
    }
    return n;
}

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)SerialClose();
        FakePlatformReset();
        FakeSerialReset();
        FakeSerialConnect("", FakeSerialDevice{&device, CannedReceive, CannedTransmit, nullptr});
    }
    void TearDown() override { (void)SerialClose(); }
    void Send(const std::vector<std::uint8_t> &bytes) {
        device.pending.insert(device.pending.end(), bytes.begin(), bytes.end());
    }
    Canned device;
};

TEST_F(TransportTest, OpenSetsLineFormatAndBoundedTimeouts) {
    ASSERT_EQ(SerialOpen("\\\\.\\COM4"), LINK_OK);
    EXPECT_EQ(FakeSerialOpenedPath(), "\\\\.\\COM4");
    const PlatSerialLineState line = FakeSerialLineState();
    EXPECT_EQ(line.byteSize, 8);
    EXPECT_EQ(line.parity, PLAT_PARITY_EVEN);
    EXPECT_TRUE(line.parityCheck);
    EXPECT_EQ(line.baudRate, 38400u);  // left as found
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_PURGE), 1);
    // A silent reader must not block a read for ever: total time-outs are set and finite.
    const PlatSerialTimeouts t = FakeSerialTimeouts();
    EXPECT_EQ(t.readIntervalMs, 0u);
    EXPECT_GT(t.readTotalConstantMs, 0u);
    EXPECT_LE(t.readTotalConstantMs + 1024 * t.readTotalMultiplierMs, 10000u);
    EXPECT_GT(t.writeTotalConstantMs, 0u);

    // A second open is refused and the open port stays usable.
    EXPECT_EQ(SerialOpen("\\\\.\\COM4"), LINK_ERR_ALREADY_OPEN);
    EXPECT_EQ(SerialSetBaudRate(9600), LINK_OK);
    std::uint32_t rate = 0;
    EXPECT_EQ(SerialGetBaudRate(&rate), LINK_OK);
    EXPECT_EQ(rate, 9600u);
    EXPECT_EQ(SerialClose(), LINK_OK);
    EXPECT_FALSE(FakeSerialIsOpen());
    EXPECT_EQ(SerialClose(), LINK_OK);  // nothing open: still success
}

TEST_F(TransportTest, OperationsWithoutPortAnswerNotOpen) {
    std::uint8_t buf[8] = {};
    std::uint32_t len = sizeof buf;
    std::uint32_t rate = 0;
    EXPECT_EQ(SerialPurge(), LINK_ERR_NOT_OPEN);
    EXPECT_EQ(SerialSetLineFormat(), LINK_ERR_NOT_OPEN);
    EXPECT_EQ(SerialGetBaudRate(&rate), LINK_ERR_NOT_OPEN);
    EXPECT_EQ(SerialSetBaudRate(9600), LINK_ERR_NOT_OPEN);
    EXPECT_EQ(SerialWrite(buf, 4), LINK_ERR_NOT_OPEN);
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_ERR_NOT_OPEN);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_READ) + FakeCallCount(FAKE_CALL_SERIAL_WRITE), 0);
}

TEST_F(TransportTest, FailedOpenStepsCloseTheDeviceAgain) {
    struct Case {
        FakeCall op;
        LinkStatus expected;
    };
    const Case cases[] = {
        {FAKE_CALL_SERIAL_OPEN, LINK_ERR_OPEN},
        {FAKE_CALL_SERIAL_PURGE, LINK_ERR_PURGE},
        {FAKE_CALL_SERIAL_GET_STATE, LINK_ERR_GET_STATE},
        {FAKE_CALL_SERIAL_SET_STATE, LINK_ERR_SET_STATE},
        {FAKE_CALL_SERIAL_SET_TIMEOUTS, LINK_ERR_SET_STATE},
    };
    for (const Case &c : cases) {
        FakeFail(c.op, 1);
        EXPECT_EQ(SerialOpen("COM1"), c.expected) << c.op;
        EXPECT_FALSE(FakeSerialIsOpen()) << c.op;
        EXPECT_EQ(SerialOpen("COM1"), LINK_OK) << c.op;  // back in the no-port state
        EXPECT_EQ(SerialClose(), LINK_OK);
    }
}

TEST_F(TransportTest, FailedCloseKeepsThePort) {
    ASSERT_EQ(SerialOpen("COM1"), LINK_OK);
    FakeFail(FAKE_CALL_SERIAL_CLOSE, 1);
    EXPECT_EQ(SerialClose(), LINK_ERR_CLOSE);
    EXPECT_EQ(SerialPurge(), LINK_OK);
    EXPECT_EQ(SerialClose(), LINK_OK);
}

TEST_F(TransportTest, WriteSendsEveryByteOnceInOrderAndBoundsStalls) {
    ASSERT_EQ(SerialOpen("COM1"), LINK_OK);
    std::vector<std::uint8_t> data(10);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
    FakeSerialSetWriteLimit(3);
    EXPECT_EQ(SerialWrite(data.data(), 10), LINK_OK);
    EXPECT_EQ(device.written, data);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_WRITE), 4);
    EXPECT_EQ(SerialWrite(data.data(), 0), LINK_OK);
    EXPECT_EQ(SerialWrite(data.data(), -5), LINK_OK);

    // A driver that keeps accepting nothing ends the write after a few tries.
    FakeSerialSetWriteLimit(0);
    const int before = FakeCallCount(FAKE_CALL_SERIAL_WRITE);
    EXPECT_EQ(SerialWrite(data.data(), 10), LINK_ERR_WRITE);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_WRITE) - before, SERIAL_WRITE_STALL_LIMIT);

    FakeSerialSetWriteLimit(-1);
    FakeFail(FAKE_CALL_SERIAL_WRITE, 1);
    EXPECT_EQ(SerialWrite(data.data(), 10), LINK_ERR_WRITE);
}

TEST_F(TransportTest, ReadsWholeFrames) {
    ASSERT_EQ(SerialOpen("COM1"), LINK_OK);
    std::uint8_t buf[64];
    std::uint32_t len = sizeof buf;
    // A frame of an empty body is complete after the first read.
    Send({0x20, 0x00, 0x00, 0x20});
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_OK);
    EXPECT_EQ(len, 4u);

    // Pieces over five further reads are assembled, with a pause after each incomplete one.
    Send({0x20, 0x00, 0x06, 1, 2, 3, 4, 5, 6, 0x21});
    FakeSerialSetReadChunks({4, 1, 1, 1, 1, 2});
    const int reads = FakeCallCount(FAKE_CALL_SERIAL_READ);
    len = sizeof buf;
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_OK);
    EXPECT_EQ(len, 10u);
    EXPECT_EQ(buf[9], 0x21);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_READ) - reads, 6);
    EXPECT_EQ(FakeSleptMilliseconds(), 4u * SERIAL_FRAME_READ_PAUSE_MS);
}

TEST_F(TransportTest, IncompleteFrameStopsAfterFiveFurtherReads) {
    ASSERT_EQ(SerialOpen("COM1"), LINK_OK);
    Send({0x20, 0x00, 0x0A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0});
    FakeSerialSetReadChunks({4, 1});
    std::uint8_t buf[64];
    std::uint32_t len = sizeof buf;
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_ERR_INCOMPLETE);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_READ), 6);  // never a sixth further read
    EXPECT_EQ(FakeSleptMilliseconds(), 5u * SERIAL_FRAME_READ_PAUSE_MS);
}

TEST_F(TransportTest, ReadFailuresAndOversizeFrames) {
    ASSERT_EQ(SerialOpen("COM1"), LINK_OK);
    std::uint8_t buf[16];
    std::uint32_t len = sizeof buf;
    // L + 4 above the capacity: refused after the header, nothing more is read.
    Send({0x20, 0x00, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_ERR_FRAME_TOO_LONG);
    EXPECT_EQ(FakeCallCount(FAKE_CALL_SERIAL_READ), 1);
    device.pending.clear();

    // A silent line: the first read ends (time-out) with nothing.
    len = sizeof buf;
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_ERR_READ);
    // A short first read.
    Send({0x20, 0x00});
    len = sizeof buf;
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_ERR_READ);
    // A failing read.
    Send({0x20, 0x00, 0x00, 0x20});
    FakeFail(FAKE_CALL_SERIAL_READ, 1);
    len = sizeof buf;
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_ERR_READ);
    EXPECT_EQ(len, 0u);
    // A capacity below a frame header is refused without reading into it.
    len = 3;
    EXPECT_EQ(SerialReadFrame(buf, &len), LINK_ERR_FRAME_TOO_LONG);
}

}  // namespace
