// zuk-reader-sim: the simulated reader as a program.  It serves a pseudo-terminal (which Wine maps
// to a COM port through $WINEPREFIX/dosdevices/comN), sees the line speed the host sets on it, and
// takes commands on a control channel (a FIFO or a loopback TCP port): place, remove or swap the
// simulated card, dump its blocks, check the key table the host loaded, and inject reader and card
// faults.  Every frame both ways is logged in hex.  With --key-file it is a site's reader: that
// file's key sets, key tables and card keys instead of the build's.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/line_pace.h"
#include "sim/sim_card.h"
#include "sim/sim_key_file.h"
#include "sim/sim_reader.h"
#include "zuk_build_constants.h"
#include "zuk_issuer_keys.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

struct Options {
    std::string link;
    std::string fifo;
    int tcpPort = -1;
    std::string initialHex;  // empty: the key file's set, else the build's
    std::string operationalHex;
    std::string keyFile;
    bool provisioned = true;
    std::string keyState;
    std::string logPath;
    bool speedCheck = true;
    std::string cardFile;
    SimLinePace pace;
};

SimCard g_card;
bool g_haveCard = false;

// The key tables `keytable` recognises (the library's and the issuing station's) and the keys
// every card laid carries: the build's, or those of the key file.
std::uint8_t g_libraryTable[SIM_KEY_TABLE_SIZE];
std::uint8_t g_issuerTable[SIM_KEY_TABLE_SIZE];
// The build's issuing table: the keys of a blank card from the vendor, also with a key file.
std::uint8_t g_builtInIssuerTable[SIM_KEY_TABLE_SIZE];

// Loads a card description file into the card and places it in the field (replacing any card);
// the card carries the keys of `keys` (the cards' table by default).
std::string LoadCard(SimReader *r, const std::string &path,
                     const std::uint8_t *keys = g_issuerTable) {
    SimCardDescription description;
    std::string error;
    if (!SimCardReadDescriptionFile(path, &description, &error)) return "ERR " + error;
    SimCardInit(&g_card, description);
    SimCardUseKeys(&g_card, keys);
    SimCardPlace(&g_card, r);
    g_haveCard = true;
    return "OK";
}

// The build's tables: the library's (slots 0-1, 3-5, 7 and 9 carry its reader keys) and the
// issuing station's (zukcard: the library's with the write slots filled).
void UseBuildTables() {
    std::vector<std::uint8_t> keys, issuer;
    std::memset(g_libraryTable, 0, sizeof g_libraryTable);
    std::memset(g_issuerTable, 0, sizeof g_issuerTable);
    if (SimParseHex(ZUK_READER_KEYS_HEX, &keys) && keys.size() == SIM_READER_KEYS_SIZE) {
        SimLibraryKeyTable(keys.data(), g_libraryTable);
    }
    if (SimParseHex(ZUK_ISSUER_KEYS_HEX, &issuer) && issuer.size() == SIM_KEY_TABLE_SIZE) {
        std::memcpy(g_issuerTable, issuer.data(), sizeof g_issuerTable);
    }
    std::memcpy(g_builtInIssuerTable, g_issuerTable, sizeof g_builtInIssuerTable);
}

// A site's tables from its key file: its reader keys as the library loads them, and its issuing
// table (without one, its reader keys with the build's write slots), which the cards carry.
void UseSiteTables(const SimSiteKeys &keys) {
    std::uint8_t build[SIM_KEY_TABLE_SIZE];
    std::memcpy(build, g_issuerTable, sizeof build);
    SimLibraryKeyTable(keys.reader, g_libraryTable);
    SimCardKeyTable(keys, build, g_issuerTable);
}

bool IsTable(const std::vector<std::uint8_t> &data, const std::uint8_t table[SIM_KEY_TABLE_SIZE]) {
    return data.size() == SIM_KEY_TABLE_SIZE &&
           std::memcmp(data.data(), table, SIM_KEY_TABLE_SIZE) == 0;
}

// Card faults: read F1F2 [N] | write F1F2 [N] | silent-after N | remove-after-reads N |
// overcount N.
std::string CardFault(std::istringstream &in) {
    std::string kind, word;
    in >> kind;
    SimCardFaults &f = g_card.faults;
    if (kind == "read" || kind == "write") {
        int count = 1;
        in >> word >> count;
        const unsigned long flags = std::strtoul(word.c_str(), nullptr, 16);
        const std::uint8_t f1 = static_cast<std::uint8_t>(flags >> 8);
        const std::uint8_t f2 = static_cast<std::uint8_t>(flags);
        if (kind == "read") {
            f.readFlag1 = f1;
            f.readFlag2 = f2;
            f.readFlagCount = count;
        } else {
            f.writeFlag1 = f1;
            f.writeFlag2 = f2;
            f.writeFlagCount = count;
        }
        return "OK";
    }
    int n = 0;
    in >> n;
    if (kind == "silent-after") {
        f.silentAfter = n;
        return "OK";
    }
    if (kind == "remove-after-reads") {
        f.removeAfterReads = n;
        return "OK";
    }
    if (kind == "overcount") {
        f.overcountRead = n;
        return "OK";
    }
    if (kind == "remove-at-write") {
        f.removeAtWrite = n;
        return "OK";
    }
    return "ERR unknown card fault";
}

void Usage() {
    std::fprintf(stderr,
                 "usage: zuk-reader-sim [--link PATH] [--control-fifo PATH | --control-port N]\n"
                 "         [--key-file FILE] [--initial-keys HEX48] [--operational-keys HEX48]\n"
                 "         [--unprovisioned] [--key-state HEX6] [--log FILE] [--no-speed-check]\n"
                 "         [--pace [--reader-us N] [--card-us N]]\n"
                 "Prints 'PTY <slave path>' on stdout when ready.  Control commands, one a line:\n"
                 "  place | remove | busy N | class XX N | split BYTES DELAY_MS | cut [N] |\n"
                 "  lost counted|uncounted | drop INS acted|ignored [N] | wrong-seq |\n"
                 "  bad-auth | empty | sw INS SW1SW2 [COUNT] | silent on|off | close |\n"
                 "  keystate HEX6 | status | log | counts | quit |\n"
                 "  card FILE | dump SERVICE(0-4) | keytable | card-fault read F1F2 [N] |\n"
                 "  card-fault write F1F2 [N] | card-fault silent-after N |\n"
                 "  card-fault remove-after-reads N | card-fault overcount N |\n"
                 "  card-fault remove-at-write N\n"
                 "--key-file FILE makes it a site's reader: a site key file's initial and\n"
                 "operational sets (--initial-keys and --operational-keys override them), its\n"
                 "reader table as the library's, its issuer table as the issuing station's and\n"
                 "as every card's keys (without one: its reader keys, the build's write keys).\n"
                 "status shows the held key set's check value (held-kcv: DES of zeros under KA).\n"
                 "--card FILE places a card described by FILE (name = value lines: account,\n"
                 "password, pin, retry_limit, failure_count, user_name, user_option,\n"
                 "admin_option, idm, pmm, system_code).\n"
                 "--pace keeps real line time: 11 bit times a byte each way, plus --reader-us\n"
                 "per answered frame (default %u) and --card-us per card command (default %u).\n",
                 SIM_DEFAULT_READER_US, SIM_DEFAULT_CARD_US);
}

std::uint32_t SpeedOf(speed_t s) {
    switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;  // a speed the reader does not know: no check
    }
}

void MakeRaw(int fd) {
    struct termios t;
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
}

// A pseudo-terminal carries no parity, but it keeps the parity checking a host last asked for, and
// Wine then fails to apply the line format of the next open (error 87).  A real port starts every
// open afresh, so the reader puts its own line format back whenever a host left parity on it:
// after a host gave up on a silent reader, the next open works without a restart.
void RestoreLine(int fd) {
    struct termios t;
    if (fd < 0 || tcgetattr(fd, &t) != 0) return;
    if ((t.c_iflag & (INPCK | PARMRK)) == 0 && (t.c_cflag & (PARENB | PARODD)) == 0) return;
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK);
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
    tcsetattr(fd, TCSANOW, &t);
}

FILE *g_log = stderr;
std::size_t g_logged = 0;
// With pacing, the moment each logged frame's last byte was on the line (monotonic clock), by
// log index; and the processing time charged so far.
std::vector<std::int64_t> g_frameEndNs;
std::int64_t g_processingUs = 0;

void FlushLog(SimReader &r) {
    for (; g_logged < r.log.size(); ++g_logged) {
        const SimLogEntry &e = r.log[g_logged];
        std::fprintf(g_log, "%s %s  (%u bit/s)", e.fromHost ? ">" : "<", SimHex(e.bytes).c_str(),
                     e.baud);
        if (g_logged < g_frameEndNs.size() && g_frameEndNs[g_logged] != 0) {
            std::fprintf(g_log, " t=%.6f", static_cast<double>(g_frameEndNs[g_logged]) / 1e9);
        }
        std::fputc('\n', g_log);
    }
    for (const std::string &ev : r.events) std::fprintf(g_log, "# %s\n", ev.c_str());
    r.events.clear();
    std::fflush(g_log);
}

// The card commands: place, card, dump, card-fault, keytable, remove.  Empty: not one of them.
std::string CardControl(SimReader *r, const std::string &cmd, std::istringstream &in) {
    if (cmd == "place") {
        if (g_haveCard) SimCardPlace(&g_card, r);
        r->cardPresent = true;
        return "OK";
    }
    if (cmd == "card") {
        std::string path, keys;
        in >> path >> keys;
        if (!keys.empty() && keys != "built-in") return "ERR card FILE [built-in]";
        return LoadCard(r, path, keys.empty() ? g_issuerTable : g_builtInIssuerTable);
    }
    if (cmd == "dump") {
        int service = -1;
        in >> service;
        if (!g_haveCard || service < 0 || service >= SIM_CARD_SERVICES)
            return "ERR no such service";
        // The blocks, one a line, then END, so that a client knows where the reply stops.
        return "OK\n" + SimCardDump(g_card, service) + "END";
    }
    if (cmd == "card-fault") return g_haveCard ? CardFault(in) : "ERR no card";
    if (cmd == "keytable") {
        std::ostringstream out;
        out << "OK tables " << r->keyTable.size();
        if (!r->keyTable.empty()) {
            const SimKeyTableEntry &e = r->keyTable.back();
            out << " p1 " << int(e.p1) << " p2 " << int(e.p2) << " match "
                << (IsTable(e.data, g_libraryTable)  ? "yes"
                    : IsTable(e.data, g_issuerTable) ? "issuer"
                                                     : "no");
        }
        return out.str();
    }
    if (cmd == "remove") {
        r->cardPresent = false;
        return "OK";
    }
    return "";
}

// The fault commands: each arms one misbehaviour of the reader.  Empty: not one of them.
std::string FaultControl(SimReader *r, const std::string &cmd, std::istringstream &in, int *master,
                         int *slave) {
    SimFaults &f = r->faults;
    if (cmd == "busy") {
        f.answerClass = 0x80;
        f.classCount = 1;
        in >> f.classCount;
        return "OK";
    }
    if (cmd == "class") {
        std::string hex;
        in >> hex >> f.classCount;
        f.answerClass = static_cast<std::uint8_t>(std::strtoul(hex.c_str(), nullptr, 16) & 0x87);
        return "OK";
    }
    if (cmd == "split") {
        unsigned long piece = 0, delay = 0;
        in >> piece >> delay;
        f.splitPiece = piece;
        f.splitDelayMs = static_cast<std::uint32_t>(delay);
        return "OK";
    }
    if (cmd == "cut") {
        f.cutCount = 1;
        in >> f.cutCount;
        return "OK";
    }
    if (cmd == "lost") {
        std::string v;
        in >> v;
        if (v != "counted" && v != "uncounted") return "ERR lost counted|uncounted";
        f.cutUncounted = v == "uncounted";
        return "OK";
    }
    if (cmd == "drop") {
        std::string ins, how;
        int count = 1;
        in >> ins >> how >> count;
        if (ins.empty() || (how != "acted" && how != "ignored"))
            return "ERR drop INS acted|ignored [N]";
        f.dropIns = static_cast<std::uint8_t>(std::strtoul(ins.c_str(), nullptr, 16));
        f.dropActed = how == "acted";
        f.dropCount = count;
        return "OK";
    }
    if (cmd == "wrong-seq") {
        f.wrongSequence = true;
        return "OK";
    }
    if (cmd == "bad-auth") {
        f.badAuthAnswer = true;
        return "OK";
    }
    if (cmd == "empty") {
        f.emptySecured = true;
        return "OK";
    }
    if (cmd == "flip") {
        f.flipSecuredByte = true;
        return "OK";
    }
    if (cmd == "bad-checksum") {
        f.badChecksum = true;
        return "OK";
    }
    if (cmd == "sw") {
        std::string ins, word;
        int count = 1;
        in >> ins >> word >> count;
        f.statusIns = static_cast<std::uint8_t>(std::strtoul(ins.c_str(), nullptr, 16));
        f.statusWord = static_cast<std::uint16_t>(std::strtoul(word.c_str(), nullptr, 16));
        f.statusCount = count;
        return "OK";
    }
    if (cmd == "silent") {
        std::string v;
        in >> v;
        f.silent = v != "off";
        // The host may have given up on the silent reader and left its line format behind.
        if (!f.silent) RestoreLine(*slave);
        return "OK";
    }
    if (cmd == "close") {
        f.closed = true;
        if (*master >= 0) close(*master);
        if (*slave >= 0) close(*slave);
        *master = *slave = -1;
        return "OK";
    }
    if (cmd == "keystate") {
        std::string hex;
        in >> hex;
        std::vector<std::uint8_t> b;
        if (!SimParseHex(hex, &b) || b.size() != 3) return "ERR key state is 3 bytes";
        std::memcpy(r->keyState, b.data(), 3);
        return "OK";
    }
    return "";
}

// The reports: status, log, counts.  Empty: not one of them.
std::string ReportControl(const SimReader *r, const std::string &cmd) {
    if (cmd == "status") {
        std::ostringstream out;
        out << "OK speed " << r->speed << " authentications " << r->authentications << " sequence "
            << r->expectedSequence << " keystate " << SimHex(r->keyState, 3) << " card "
            << (r->cardPresent ? "present" : "absent") << " frames " << r->log.size()
            << " held-kcv " << SimKeyCheckValue(r->heldKeys);
        return out.str();
    }
    if (cmd == "log") {
        std::ostringstream out;
        out << "OK";
        for (const SimLogEntry &e : r->log)
            out << "\n" << (e.fromHost ? "> " : "< ") << SimHex(e.bytes);
        return out.str();
    }
    if (cmd == "counts") {
        // What the line has carried so far, from the frame log: frames and bytes each way, their
        // line time at the speed each went at, and the processing time charged (with --pace).
        std::uint64_t bytesIn = 0, bytesOut = 0, lineNs = 0, framesIn = 0, framesOut = 0;
        for (const SimLogEntry &e : r->log) {
            (e.fromHost ? bytesIn : bytesOut) += e.bytes.size();
            (e.fromHost ? framesIn : framesOut) += 1;
            lineNs += static_cast<std::uint64_t>(SimLineNs(e.bytes.size(), e.baud));
        }
        std::ostringstream out;
        out << "OK frames-in " << framesIn << " frames-out " << framesOut << " bytes-in " << bytesIn
            << " bytes-out " << bytesOut << " line-us " << lineNs / 1000 << " processing-us "
            << g_processingUs << " card-commands " << r->cardCommands;
        return out.str();
    }
    return "";
}

// Runs one control command; returns the reply line.
std::string Control(SimReader *r, const std::string &line, int *master, int *slave, bool *quit) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    if (cmd.empty()) return "";
    std::string reply = CardControl(r, cmd, in);
    if (reply.empty()) reply = FaultControl(r, cmd, in, master, slave);
    if (reply.empty()) reply = ReportControl(r, cmd);
    if (!reply.empty()) return reply;
    if (cmd == "quit") {
        *quit = true;
        return "OK";
    }
    return "ERR unknown command";
}

bool ParseKeys(const std::string &hex, std::uint8_t out[24]) {
    std::vector<std::uint8_t> b;
    if (!SimParseHex(hex, &b) || b.size() != 24) return false;
    std::memcpy(out, b.data(), 24);
    return true;
}

// The reader's key sets and the key tables: the build's, or the key file's, with the sets given on
// the command line over either.  False (said on stderr) when a file or a set cannot be used.
bool LoadKeys(const Options &opt, std::uint8_t initial[24], std::uint8_t operational[24]) {
    UseBuildTables();
    bool ok = ParseKeys(ZUK_INITIAL_KEYS_HEX, initial) &&
              ParseKeys(ZUK_OPERATIONAL_KEYS_HEX, operational);
    if (!opt.keyFile.empty()) {
        std::ifstream in(opt.keyFile, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        SimSiteKeys keys;
        std::string error;
        if (!in) error = "cannot read it";
        if (!in || !SimParseSiteKeys(text.str(), &keys, &error)) {
            std::fprintf(stderr, "%s: %s\n", opt.keyFile.c_str(), error.c_str());
            return false;
        }
        std::memcpy(initial, keys.initial, 24);
        std::memcpy(operational, keys.operational, 24);
        UseSiteTables(keys);
    }
    if (!opt.initialHex.empty()) ok = ok && ParseKeys(opt.initialHex, initial);
    if (!opt.operationalHex.empty()) ok = ok && ParseKeys(opt.operationalHex, operational);
    if (!ok) std::fprintf(stderr, "key sets are 48 hexadecimal digits\n");
    return ok;
}

}  // namespace

// The command line into opt; false (after the usage text) when it cannot be used.
bool ParseOptions(int argc, char **argv, Options *out) {
    Options &opt = *out;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&](std::string *v) {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            *v = argv[++i];
        };
        std::string port;
        if (a == "--link") next(&opt.link);
        else if (a == "--control-fifo") next(&opt.fifo);
        else if (a == "--control-port") {
            next(&port);
            opt.tcpPort = std::atoi(port.c_str());
        } else if (a == "--initial-keys") next(&opt.initialHex);
        else if (a == "--operational-keys") next(&opt.operationalHex);
        else if (a == "--key-file") next(&opt.keyFile);
        else if (a == "--unprovisioned") opt.provisioned = false;
        else if (a == "--key-state") next(&opt.keyState);
        else if (a == "--log") next(&opt.logPath);
        else if (a == "--no-speed-check") opt.speedCheck = false;
        else if (a == "--card") next(&opt.cardFile);
        else if (a == "--pace") opt.pace.on = true;
        else if (a == "--reader-us" || a == "--card-us") {
            std::string v;
            next(&v);
            char *end = nullptr;
            const unsigned long us = std::strtoul(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || us > 10000000ul) {
                Usage();
                return false;
            }
            (a == "--reader-us" ? opt.pace.readerUs : opt.pace.cardUs) =
                static_cast<std::uint32_t>(us);
        } else {
            Usage();
            return false;
        }
    }
    return true;
}

// Reads what the host wrote, lets the reader act on it and writes its answers back (paced like a
// real line with --pace).
void ServeLine(SimReader &reader, Options &opt, int master) {
    std::uint8_t buf[2048];
    const ssize_t got = read(master, buf, sizeof buf);
    if (got <= 0) return;
    const std::int64_t readNs = SimNowNs();
    struct termios now;
    std::uint32_t baud = 0;
    if (tcgetattr(master, &now) == 0) baud = SpeedOf(cfgetospeed(&now));
    const std::size_t logBefore = reader.log.size();
    const int cardBefore = reader.cardCommands;
    const std::uint32_t answerBaud = reader.speed;
    std::int64_t readyNs = 0;
    if (opt.pace.on) {
        // The reader acts once the last byte has arrived, then takes its own time.
        const std::int64_t arrivedNs = SimPaceReceive(
            &opt.pace, readNs, static_cast<std::size_t>(got), baud != 0 ? baud : reader.speed);
        SimReaderReceive(&reader, buf, static_cast<std::size_t>(got), baud);
        // A frame still incomplete waits for its next bytes without sleeping, so a
        // late wake-up does not delay the bytes already in the terminal's buffer.
        if (!reader.output.empty()) SimSleepUntilNs(arrivedNs);
        std::int64_t answered = 0;
        for (std::size_t i = logBefore; i < reader.log.size(); ++i) {
            if (!reader.log[i].fromHost) ++answered;
        }
        const std::int64_t us =
            answered * opt.pace.readerUs +
            static_cast<std::int64_t>(reader.cardCommands - cardBefore) * opt.pace.cardUs;
        g_processingUs += us;
        readyNs = arrivedNs + us * 1000;
        g_frameEndNs.resize(reader.log.size(), 0);
        for (std::size_t i = logBefore; i < reader.log.size(); ++i) {
            if (reader.log[i].fromHost) g_frameEndNs[i] = arrivedNs;
        }
    } else {
        SimReaderReceive(&reader, buf, static_cast<std::size_t>(got), baud);
    }
    std::uint8_t out[2048];
    bool first = true;
    for (;;) {
        const std::size_t k = SimReaderTransmit(&reader, out, sizeof out);
        if (k == 0) break;
        if (!first && reader.faults.splitDelayMs > 0) {
            usleep(reader.faults.splitDelayMs * 1000);
            if (readyNs != 0) readyNs = SimNowNs();
        }
        first = false;
        if (master < 0) break;
        if (opt.pace.on) {
            if (!SimPaceTransmit(&opt.pace, master, out, k, answerBaud, readyNs)) break;
        } else if (write(master, out, k) < 0) {
            break;
        }
    }
    if (opt.pace.on) {
        g_frameEndNs.resize(reader.log.size(), 0);
        for (std::size_t i = logBefore; i < reader.log.size(); ++i) {
            if (!reader.log[i].fromHost) g_frameEndNs[i] = opt.pace.readerLineFreeNs;
        }
    }
}

// Reads control commands (one a line) and answers each: on the TCP connection, or on standard
// output for the FIFO.  A TCP client that goes away is closed.
void ServeControl(SimReader &reader, int listener, int *control, std::string *controlLine,
                  int *master, int *slave, bool *quit) {
    char buf[512];
    const ssize_t got = read(*control, buf, sizeof buf);
    if (got <= 0) {
        if (listener >= 0) {
            close(*control);
            *control = -1;
        }
    } else {
        controlLine->append(buf, static_cast<std::size_t>(got));
        std::size_t nl;
        while ((nl = controlLine->find('\n')) != std::string::npos) {
            const std::string line = controlLine->substr(0, nl);
            controlLine->erase(0, nl + 1);
            const std::string reply = Control(&reader, line, master, slave, quit) + "\n";
            std::fprintf(g_log, "# control: %s\n", line.c_str());
            if (listener >= 0) {
                (void)!write(*control, reply.data(), reply.size());
            } else {
                std::fputs(reply.c_str(), stdout);
                std::fflush(stdout);
            }
        }
    }
}

int main(int argc, char **argv) {
    Options opt;
    if (!ParseOptions(argc, argv, &opt)) return 2;
    std::uint8_t initial[24], operational[24];
    if (!LoadKeys(opt, initial, operational)) return 2;
    if (!opt.logPath.empty()) {
        g_log = std::fopen(opt.logPath.c_str(), "a");
        if (g_log == nullptr) {
            std::perror("log");
            return 1;
        }
    }

    static SimReader reader;
    SimReaderInit(&reader, initial, operational, opt.provisioned);
    reader.checkSpeed = opt.speedCheck;
    if (!opt.keyState.empty()) {
        std::vector<std::uint8_t> b;
        if (!SimParseHex(opt.keyState, &b) || b.size() != 3) {
            Usage();
            return 2;
        }
        std::memcpy(reader.keyState, b.data(), 3);
    }
    if (!opt.cardFile.empty()) {
        const std::string loaded = LoadCard(&reader, opt.cardFile);
        if (loaded != "OK") {
            std::fprintf(stderr, "%s\n", loaded.c_str());
            return 2;
        }
    }

    int master = -1, slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    MakeRaw(master);
    MakeRaw(slave);
    // The reader starts at 9600 bit/s; the host finds the port at this speed.
    struct termios t;
    tcgetattr(slave, &t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(slave, TCSANOW, &t);
    if (!opt.link.empty()) {
        unlink(opt.link.c_str());
        if (symlink(name, opt.link.c_str()) != 0) {
            std::perror("symlink");
            return 1;
        }
    }

    int control = -1, listener = -1;
    if (!opt.fifo.empty()) {
        if (mkfifo(opt.fifo.c_str(), 0600) != 0 && errno != EEXIST) {
            std::perror("mkfifo");
            return 1;
        }
        control = open(opt.fifo.c_str(), O_RDWR | O_NONBLOCK);  // RDWR: no EOF when writers go
        if (control < 0) {
            std::perror("fifo");
            return 1;
        }
    } else if (opt.tcpPort >= 0) {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(opt.tcpPort));
        if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
            listen(listener, 4) != 0) {
            std::perror("control port");
            return 1;
        }
        socklen_t len = sizeof addr;
        getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);
        std::printf("CONTROL %u\n", ntohs(addr.sin_port));
    }
    // Paced answers are due to the microsecond: no timer slack on the sleeps.
    if (opt.pace.on) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    signal(SIGPIPE, SIG_IGN);
    std::printf("PTY %s\n", name);
    std::fflush(stdout);

    std::string controlLine;
    bool quit = false;
    while (!g_stop && !quit) {
        pollfd fds[3];
        int n = 0;
        int masterIndex = -1, controlIndex = -1, listenIndex = -1;
        if (master >= 0) {
            masterIndex = n;
            fds[n++] = {master, POLLIN, 0};
        }
        if (control >= 0) {
            controlIndex = n;
            fds[n++] = {control, POLLIN, 0};
        }
        if (listener >= 0) {
            listenIndex = n;
            fds[n++] = {listener, POLLIN, 0};
        }
        const int ready = poll(fds, static_cast<nfds_t>(n), 200);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        // A quiet line (no bytes for a poll period) is one a host may have left.
        if (ready == 0) RestoreLine(slave);
        if (masterIndex >= 0 && (fds[masterIndex].revents & POLLIN)) ServeLine(reader, opt, master);
        if (listenIndex >= 0 && (fds[listenIndex].revents & POLLIN) && control < 0) {
            control = accept(listener, nullptr, nullptr);
        }
        if (controlIndex >= 0 && (fds[controlIndex].revents & (POLLIN | POLLHUP))) {
            ServeControl(reader, listener, &control, &controlLine, &master, &slave, &quit);
        }
        FlushLog(reader);
    }
    if (!opt.link.empty()) unlink(opt.link.c_str());
    return 0;
}
