// What a zukcard run prints: its messages as it goes (text), or gathered with the rest into one
// JSON document at the end (--json).
#ifndef ZUKCARD_OUTPUT_H
#define ZUKCARD_OUTPUT_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct Output {
    bool json = false;
    std::string command;
    std::string port;
    std::vector<std::string> messages;
    std::string itemsJson;  // the plan's items, when a plan ran
    std::string cardJson;   // the card, for read
    // Further members of the document, each a name and a JSON value as is (move-reader's outcome).
    std::vector<std::pair<std::string, std::string>> fields;

    void Say(const std::string &text);
    // Prints the document (JSON mode) and gives back the exit code.
    int Finish(int exitCode);
};

// A result code with its name and meaning and the card layer's raw status, for a message.
std::string ResultText(std::int32_t result, std::uint32_t lowStatus);

#endif
