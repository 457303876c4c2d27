// A simulated instrument: its description (parsed from a small text file)
// and its behaviour (answers, error queue, delays).  No system header: the
// transports live in the simulator's main program.
//
// Instrument file, one directive a line; blank lines and lines starting
// with '#' are ignored:
//   name TEXT            the instrument's name, printed at start
//   QUERY -> ANSWER      the answer to a command (matched trimmed, ignoring case)
//   delay MS QUERY       answer QUERY after MS milliseconds; "*" for every answer
//   error TEXT           an entry in the error queue at start ("-100,\"Command error\"")
//   bulk QUERY           "QUERY N" answers N bytes of generated data
// Built in: "SYST:ERR?" takes the oldest error (0,"No error" when there is
// none), "*CLS" empties the queue; an unknown query queues
// -113,"Undefined header" and is not answered; other commands are accepted.
#pragma once

#include <cstdint>
#include <deque>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace xvrsim {

struct InstrumentModel {
    std::string name;
    std::map<std::string, std::string> answers;   // upper-cased command -> answer
    std::map<std::string, uint32_t> delaysMs;     // upper-cased command -> delay
    std::optional<uint32_t> defaultDelayMs;       // "delay MS *"
    std::vector<std::string> errors;              // error queue at start
    std::vector<std::string> bulkQueries;         // upper-cased
};

// Parses an instrument file; false and "line N: why" in *error on a fault.
bool ParseInstrument(std::istream &in, InstrumentModel *model, std::string *error);

// The instrument used without a file: it answers "*IDN?" and a few more.
InstrumentModel DefaultInstrument();

// Largest answer "bulk" generates, so a typo cannot exhaust memory.
constexpr uint64_t kMaxBulkBytes = 256ull * 1024 * 1024;

class Instrument {
public:
    explicit Instrument(InstrumentModel model);

    struct Reply {
        std::string data;      // without the line end
        uint32_t delayMs = 0;
    };
    // The reply to one command line, or nothing when the command has none.
    std::optional<Reply> Handle(const std::string &command);
    const std::string &name() const { return m_model.name; }

private:
    InstrumentModel m_model;
    std::deque<std::string> m_errors;
    std::string m_bulk;  // the longest bulk answer so far
};

// Longer command lines are cut; a peer cannot make the simulator grow.
constexpr size_t kMaxLineBytes = 1 << 20;

// Splits a byte stream into command lines at CR, LF or CR LF; keeps an
// unfinished line in *pending for the next call.
std::vector<std::string> TakeLines(std::string *pending, const std::string &input);

}  // namespace xvrsim
