// What zukcli prints: one entry per subcommand (or per presence change while watching), shown as
// text when it completes, or gathered into one JSON document printed at the end with --json.
#ifndef ZUKCLI_REPORT_H
#define ZUKCLI_REPORT_H

#include <string>
#include <vector>

struct Field {
    enum Kind { Number, Hex, Text, Flag, Json };
    enum Shown { Everywhere, TextOnly, JsonOnly };
    std::string key;
    Kind kind = Text;
    Shown shown = Everywhere;
    long long number = 0;
    std::string text;  // Text: bytes in the system's ANSI code page; Json: a JSON value as is
};

struct Entry {
    std::string command;     // the subcommand: "version", "sense", "status", ...
    std::string exportName;  // the export it called, empty for status
    bool called = false;     // the export ran and returned `result`
    int result = 0;
    std::string error;                 // why the export could not be called
    std::vector<Field> fields;         // the outputs
    std::vector<std::string> lines;    // further text for the text output (status findings)
    std::vector<std::string> prompts;  // the library's prompts that --cancel-prompts answered
    bool failed = false;               // counts against the exit code
    std::string line;                  // when set, the text output is this one line (watch events)

    void AddNumber(const std::string &key, long long value);
    void AddHex(const std::string &key, long long value);
    void AddText(const std::string &key, const std::string &value);
    void AddFlag(const std::string &key, bool value);
    void AddJson(const std::string &key, const std::string &json);  // JSON output only
    // The last field added appears in one output only.
    void Only(Field::Shown shown) { fields.back().shown = shown; }
};

class Report {
public:
    explicit Report(bool json) : json_(json) {}
    bool Json() const { return json_; }
    // JSON Lines: each entry is printed at once as one JSON object on a line of its own, and
    // Finish prints a last object with the exit code (for watching, which runs until stopped).
    void SetJsonLines(bool on) { lines_ = on; }
    void SetDll(const std::string &path) { dll_ = path; }
    // Prints the entry at once in text mode; keeps it for the document in JSON mode.
    void Add(const Entry &entry);
    // Prints the JSON document (JSON mode only).
    void Finish(int exitCode);
    // A message outside any entry: to stdout in text mode, into the document's "messages" in
    // JSON mode.
    void Message(const std::string &text);

private:
    bool json_;
    bool lines_ = false;
    std::string dll_;
    std::vector<Entry> entries_;
    std::vector<std::string> messages_;
};

// JSON string literal (with quotes) of a text in the system's ANSI code page, as UTF-8.
std::string JsonString(const std::string &ansiText);

#endif
