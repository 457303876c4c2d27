#include "script.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "block.h"
#include "cmd_control.h"
#include "commands.h"
#include "hex.h"
#include "terminal.h"
#include "trim.h"

namespace xvrcli {

const char kStepHelp[] =
    "A line whose first word ends in '?' (*IDN?, MEAS:VOLT? DC) is sent as a query and\n"
    "the answer printed; any other line is only sent.  Blank lines and lines\n"
    "starting with '#' are skipped.  Directives:\n"
    "  :get NAME          print a parameter\n"
    "  :set NAME VALUE    set a parameter\n"
    "  :read              read and print one message\n"
    "  :read N            read and print N bytes\n"
    "  :sleep MS          wait (also 500ms, 2s)\n"
    "  :help, :quit\n"
    "Instrument control (what the driver offers; 'xvr params DRIVER'):\n";

namespace {

// "NAME VALUE" split at the first blank; the value keeps its inner blanks.
std::pair<std::string, std::string> Split(const std::string &rest) {
    const auto blank = rest.find_first_of(" \t");
    if (blank == std::string::npos) return {rest, ""};
    return {rest.substr(0, blank), Trim(rest.substr(blank + 1))};
}

bool IsQuery(const std::string &data) {
    const std::string word = data.substr(0, data.find_first_of(" \t"));
    return !word.empty() && word.back() == '?';
}

Step Directive(Step step, const std::string &line, const DriverInfo &driver) {
    const auto [word, rest] = Split(line);
    if ((word == ":quit" || word == ":q" || word == ":exit" || word == ":help") && rest.empty()) {
        step.kind = word == ":help" ? Step::Kind::Help : Step::Kind::Quit;
    } else if (word == ":get" && !rest.empty() && Split(rest).second.empty()) {
        CheckGetName(driver, rest);
        step.kind = Step::Kind::Get;
        step.text = rest;
    } else if (word == ":set" && !rest.empty()) {
        const auto [name, value] = Split(rest);
        step.kind = Step::Kind::Set;
        step.text = name;
        step.value = CheckSetValue(driver, name, value);
    } else if (word == ":sleep" && !rest.empty()) {
        step.kind = Step::Kind::Sleep;
        step.number = static_cast<uint64_t>(ParseDuration(rest, ":sleep"));
    } else if (word == ":read") {
        step.kind = rest.empty() ? Step::Kind::ReadMessage : Step::Kind::ReadCount;
        if (!rest.empty()) step.number = ParseNumber(rest, 1, UINT64_C(1) << 28, ":read");
    } else if (!ParseControlDirective(word, rest, driver, &step)) {
        throw UsageError("cannot understand '" + ShortPrintable(line) +
                         "' (:help lists the directives)");
    }
    return step;
}

// A block's data is binary: hexadecimal on a terminal, as 'query --block'.
void PrintAnswer(const Answer &answer, bool hexOut) {
    PrintData(answer.data, hexOut || (answer.block && StdoutIsTerminal()));
}

}  // namespace

std::optional<Step> ParseStep(const std::string &text, size_t number, const DriverInfo &driver,
                              bool hexIn) {
    const std::string line = Trim(text);
    // A binary file given as a script fails at its first line, and what is
    // sent is always what --echo shows.
    for (unsigned char c : line)
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            throw UsageError("the line holds the control byte \\" +
                             ToHex(std::string(1, static_cast<char>(c))) +
                             ": not a text line (--hex-in sends any bytes as hex pairs)");
    if (line.empty() || line[0] == '#') return std::nullopt;
    Step step{Step::Kind::Send, "", "", 0, number, line};
    if (line[0] == ':') return Directive(step, line, driver);
    step.text = hexIn ? FromHex(line) : line;
    if (IsQuery(step.text)) step.kind = Step::Kind::Query;
    return step;
}

std::vector<Step> ParseScript(std::istream &in, const std::string &name, const DriverInfo &driver,
                              bool hexIn) {
    std::vector<Step> steps;
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        try {
            if (auto step = ParseStep(line, number, driver, hexIn)) steps.push_back(*step);
        } catch (const UsageError &e) {
            throw UsageError(name + ":" + std::to_string(number) + ": " + e.what());
        }
    }
    return steps;
}

bool RunStep(Device &device, const Step &step, bool hexOut) {
    switch (step.kind) {
    case Step::Kind::Send: device.Write(step.text, true); break;
    case Step::Kind::Query:
        device.Write(step.text, true);
        PrintAnswer(ReadAnswer(device, "the answer to '" + ShortPrintable(step.text) + "'"),
                    hexOut);
        break;
    case Step::Kind::Get: std::printf("%s\n", device.Get(step.text).c_str()); break;
    case Step::Kind::Set: device.Set(step.text, step.value); break;
    case Step::Kind::Sleep:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.number));
        break;
    case Step::Kind::ReadMessage: PrintAnswer(ReadAnswer(device, "a message"), hexOut); break;
    case Step::Kind::ReadCount: {
        std::string data;
        device.ReadCount(
            step.number, [&](const std::string &part) { data += part; },
            std::to_string(step.number) + " bytes");
        PrintData(data, hexOut);
        break;
    }
    case Step::Kind::Help:
        std::fputs(kStepHelp, stdout);
        std::fputs(kControlStepHelp, stdout);
        break;
    case Step::Kind::Quit: return false;
    case Step::Kind::Control: RunControlStep(device, step); break;
    }
    std::fflush(stdout);
    return true;
}

}  // namespace xvrcli
