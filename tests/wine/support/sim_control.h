// The control channel of zuk-reader-sim as the Wine tests use it: one loopback connection to the
// port run_with_sim.sh puts in ZUK_SIM_CONTROL_PORT, one line per command and reply.
#ifndef ZUK_TESTS_WINE_SIM_CONTROL_H
#define ZUK_TESTS_WINE_SIM_CONTROL_H

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

class SimControl {
public:
    SimControl() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        const char *port = std::getenv("ZUK_SIM_CONTROL_PORT");
        if (port == nullptr) return;
        sock_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<u_short>(std::atoi(port)));
        if (connect(sock_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            closesocket(sock_);
            sock_ = INVALID_SOCKET;
        }
    }
    ~SimControl() {
        if (sock_ != INVALID_SOCKET) closesocket(sock_);
        WSACleanup();
    }
    SimControl(const SimControl &) = delete;
    SimControl &operator=(const SimControl &) = delete;

    bool Connected() const { return sock_ != INVALID_SOCKET; }
    // Sends one command and returns the first line of the reply.
    std::string Command(const std::string &line) {
        const std::string out = line + "\n";
        send(sock_, out.data(), static_cast<int>(out.size()), 0);
        return ReadLine();
    }
    // The next line of a reply of several lines.
    std::string ReadLine() {
        std::string reply;
        char c;
        while (recv(sock_, &c, 1, 0) == 1 && c != '\n') reply += c;
        return reply;
    }

    // The blocks of one service of the card (hex, one block a line); empty when refused.
    std::vector<std::string> Dump(int service) {
        std::vector<std::string> blocks;
        if (Command("dump " + std::to_string(service)) != "OK") return blocks;
        for (std::string line = ReadLine(); !line.empty() && line != "END"; line = ReadLine())
            blocks.push_back(line);
        return blocks;
    }

private:
    SOCKET sock_ = INVALID_SOCKET;
};

#endif
