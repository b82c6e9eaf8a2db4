// Holds host bytes and answers to the time a real serial line and reader would take.
#include "sim/line_pace.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>

std::int64_t SimLineNs(std::size_t bytes, std::uint32_t baud) {
    if (baud == 0) baud = 9600;
    return static_cast<std::int64_t>(bytes) * SIM_BITS_PER_BYTE * 1000000000LL / baud;
}

std::int64_t SimNowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

void SimSleepUntilNs(std::int64_t ns) {
    timespec t;
    t.tv_sec = static_cast<time_t>(ns / 1000000000LL);
    t.tv_nsec = static_cast<long>(ns % 1000000000LL);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

std::int64_t SimPaceReceive(SimLinePace *pace, std::int64_t nowNs, std::size_t bytes,
                            std::uint32_t baud) {
    const std::int64_t start = pace->hostLineFreeNs > nowNs ? pace->hostLineFreeNs : nowNs;
    pace->hostLineFreeNs = start + SimLineNs(bytes, baud);
    return pace->hostLineFreeNs;
}

bool SimPaceTransmit(SimLinePace *pace, int fd, const std::uint8_t *data, std::size_t length,
                     std::uint32_t baud, std::int64_t readyNs) {
    const std::int64_t start = pace->readerLineFreeNs > readyNs ? pace->readerLineFreeNs : readyNs;
    std::size_t sent = 0;
    while (sent < length) {
        // Every byte whose last bit is due by now goes out in one write.
        const std::int64_t now = SimNowNs();
        std::size_t due = sent;
        while (due < length && start + SimLineNs(due + 1, baud) <= now) ++due;
        if (due == sent) {
            SimSleepUntilNs(start + SimLineNs(sent + 1, baud));
            continue;
        }
        const ssize_t wrote = write(fd, data + sent, due - sent);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        sent += static_cast<std::size_t>(wrote);
    }
    pace->readerLineFreeNs = start + SimLineNs(length, baud);
    return true;
}
