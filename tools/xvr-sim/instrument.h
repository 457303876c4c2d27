// A simulated instrument: its description (parsed from a small text file)
// and its behaviour (answers, error queue, delays).  No system header: the
// transports live in the simulator's main program.
//
// The instrument file's format is documented in xvr-sim's --help
// (kInstrumentFileHelp), the one place users read it.
#pragma once

#include <cstdint>
#include <deque>
#include <istream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace xvrsim {

// An IEEE 488.2 definite-length block "#<digits><length><data>" of length
// bytes.  Byte i of the data is (i + 10) mod 256, so it begins with LF and
// holds CR: a client has to go by the length, not by a delimiter.
std::string DefiniteLengthBlock(uint64_t length);

// A value that commands can read ("NAME?") and set ("NAME VALUE").
struct Property {
    std::string value;               // the value at start
    std::optional<double> min, max;  // when given, a set must be a number within them
};

struct InstrumentModel {
    std::string name;
    bool sharedState = false;                    // one state for every transport
    std::map<std::string, std::string> answers;  // upper-cased command -> answer
    std::map<std::string, uint32_t> delaysMs;    // upper-cased command -> delay
    std::optional<uint32_t> defaultDelayMs;      // "delay MS *"
    std::vector<std::string> errors;             // error queue at start
    std::vector<std::string> bulkQueries;        // upper-cased
    std::map<std::string, Property> properties;  // upper-cased name
    std::map<std::string, uint64_t> blocks;      // upper-cased query -> data length
};

// The format of instrument files, with an example, for --help.
extern const char kInstrumentFileHelp[];

// Parses an instrument file; false and "line N: why" in *error on a fault.
bool ParseInstrument(std::istream &in, InstrumentModel *model, std::string *error);

// The instrument used without a file: it answers "*IDN?" and a few more.
InstrumentModel DefaultInstrument();

// Largest answer "bulk" or "block" generates, so a typo cannot exhaust memory.
constexpr uint64_t kMaxBulkBytes = 256ull * 1024 * 1024;

// Every method may be called from any thread (the transports' servers run
// in threads of their own); one internal lock keeps each call whole.
class Instrument {
public:
    explicit Instrument(InstrumentModel model);
    Instrument(const Instrument &) = delete;
    Instrument &operator=(const Instrument &) = delete;

    struct Reply {
        std::string data;  // without the line end
        uint32_t delayMs = 0;
    };
    // The reply to one command line, or nothing when the command has none.
    // A line of several commands ("*SRE 32;*ESE 1;*OPC") runs them in turn
    // and joins their answers with ';'.
    std::optional<Reply> Handle(const std::string &command);
    const std::string &name() const { return m_model.name; }

    // Control beside the command lines, for the VXI-11 and HiSLIP servers.
    // IEEE 488.2 status byte: bit 0 the simulator's user bit (SIM:SRQ),
    // EAV (bit 2, the error queue holds an entry), MAV (bit 4) as the caller
    // says (the server knows whether an answer waits), ESB (bit 5) and
    // RQS/MSS (bit 6) = (STB & SRE & 0xBF) != 0.
    uint8_t StatusByte(bool messageAvailable);
    // Device clear: what the instrument holds of an unfinished exchange is
    // dropped; the status registers stay.
    void DeviceClear();
    // A trigger, as "*TRG" gives one; the instrument counts them.
    void Trigger();
    // True once for each new service request, then false until the next.
    bool TakeServiceRequest();

private:
    // Everything below runs with m_mutex held.
    std::optional<Reply> HandleOne(const std::string &command);
    // IEEE 488.2 common commands and the simulator's own; true when the
    // command was one of them, with its answer (if any) in *answer.
    bool HandleStatusCommand(const std::string &name, const std::string &value,
                             std::optional<std::string> *answer);
    // Sets a property, or queues the error of a refused value; false when
    // there is no property of that name.
    bool SetProperty(const std::string &name, const std::string &value);
    // Queues an error ("-222,\"...\"") and sets its event bit in the ESR.
    void PushError(const std::string &error);
    uint8_t KnownStatus(bool messageAvailable) const;
    // Counts a service request when the summary bit rises.
    void UpdateServiceRequest();

    mutable std::mutex m_mutex;
    InstrumentModel m_model;
    std::deque<std::string> m_errors;
    std::map<std::string, std::string> m_values;  // property -> current value
    std::string m_bulk;                           // the longest bulk answer so far
    uint8_t m_esr = 0, m_ese = 0, m_sre = 0;
    bool m_userBit = false;
    bool m_serviceLine = false;      // summary bit after the last command
    uint32_t m_serviceRequests = 0;  // rising edges not yet taken
    uint64_t m_triggers = 0;
    uint64_t m_clears = 0;
};

// The error queue keeps at most this many entries; the last becomes
// -350,"Queue overflow" when more come, as IEEE 488.2 has it.
constexpr size_t kMaxErrorQueue = 100;

// Longer command lines are cut; a peer cannot make the simulator grow.
constexpr size_t kMaxLineBytes = 1 << 20;

// A peer that writes and never reads leaves at most this much of its
// answers waiting (and one answer more): the TCP server stops reading its
// commands, the VXI-11 server drops further answers, as an instrument's
// full output queue would.
constexpr size_t kMaxQueuedBytes = 4u << 20;

// Splits a byte stream into command lines at CR, LF or CR LF; keeps an
// unfinished line in *pending for the next call.
std::vector<std::string> TakeLines(std::string *pending, const std::string &input);

}  // namespace xvrsim
