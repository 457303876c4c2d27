#include "instrument.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace xvrsim {

namespace {

std::string Trim(const std::string &s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Upper(std::string s) {
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The first word and the trimmed rest of a line.
std::pair<std::string, std::string> SplitWord(const std::string &line) {
    const auto blank = line.find_first_of(" \t");
    if (blank == std::string::npos) return {line, ""};
    return {line.substr(0, blank), Trim(line.substr(blank))};
}

bool AllDigits(const std::string &text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ParseMs(const std::string &text, uint32_t *ms) {
    if (!AllDigits(text) || text.size() > 7) return false;
    *ms = static_cast<uint32_t>(std::stoul(text));
    return *ms <= 600000;
}

bool IsQuery(const std::string &command) { return command.find('?') != std::string::npos; }

// A byte count from 0 to kMaxBulkBytes.
bool ParseLength(const std::string &text, uint64_t *length) {
    if (!AllDigits(text) || text.size() > 12) return false;
    *length = std::stoull(text);
    return *length <= kMaxBulkBytes;
}

// A whole finite number ("2.5", "-1e3"), nothing else.
std::optional<double> ParseNumber(const std::string &text) {
    if (text.empty()) return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno || *end || !std::isfinite(value)) return std::nullopt;
    return value;
}

// "prop NAME VALUE [min X] [max Y]"
bool ParseProperty(const std::string &rest, InstrumentModel *model, std::string *why) {
    std::istringstream words(rest);
    std::string name;
    Property property;
    if (!(words >> name >> property.value)) return *why = "prop needs a name and a value", false;
    name = Upper(name);
    if (IsQuery(name)) return *why = "prop names the property without '?': " + name, false;
    std::string word, number;
    while (words >> word) {
        std::optional<double> bound;
        if ((word != "min" && word != "max") || !(words >> number) ||
            !(bound = ParseNumber(number)))
            return *why = "prop " + name + ": after the value only 'min NUMBER' and 'max NUMBER'",
                   false;
        (word == "min" ? property.min : property.max) = bound;
    }
    if (property.min && property.max && *property.min > *property.max)
        return *why = "prop " + name + ": min above max", false;
    const auto start = ParseNumber(property.value);
    if ((property.min || property.max) && (!start || (property.min && *start < *property.min) ||
                                           (property.max && *start > *property.max)))
        return *why = "prop " + name + ": the value at start is not a number within min and max",
               false;
    if (!model->properties.emplace(name, property).second)
        return *why = "second prop " + name, false;
    return true;
}

// "block QUERY LENGTH"
bool ParseBlock(const std::string &rest, InstrumentModel *model, std::string *why) {
    const auto blank = rest.find_last_of(" \t");
    uint64_t length = 0;
    if (blank == std::string::npos || !ParseLength(rest.substr(blank + 1), &length))
        return *why =
                   "block needs a command and a length from 0 to " + std::to_string(kMaxBulkBytes),
               false;
    const std::string query = Upper(Trim(rest.substr(0, blank)));
    if (!model->blocks.emplace(query, length).second) return *why = "second block " + query, false;
    return true;
}

}  // namespace

const char kInstrumentFileHelp[] =
    "Instrument file: one directive a line; blank lines and lines starting with '#'\n"
    "are skipped; commands are matched trimmed and ignoring case.\n"
    "  name TEXT               the instrument's name, printed at start\n"
    "  QUERY -> ANSWER         a fixed answer\n"
    "  prop NAME VALUE [min X] [max Y]\n"
    "                          a setting: \"NAME?\" answers its value, \"NAME V\" sets it;\n"
    "                          with min or max, V must be a number within them, else\n"
    "                          the error queue gets -104 (not a number) or -222 (range)\n"
    "  block QUERY LENGTH      answers an IEEE 488.2 block \"#<n><LENGTH><data>\" whose data\n"
    "                          holds LF and CR: read it by its length\n"
    "  bulk QUERY              \"QUERY N\" answers N letters (ABC...)\n"
    "  delay MS QUERY|*        answer QUERY (or every query) after MS milliseconds\n"
    "  error TEXT              an entry in the error queue at start\n"
    "  state shared|per-transport\n"
    "                          one instrument behind TCP, UDP and COM, so a value set\n"
    "                          over one is read over another, or (the default) one\n"
    "                          instrument per transport\n"
    "Built in: SYST:ERR? takes the oldest error (0,\"No error\" when none), *CLS empties\n"
    "the queue; an unknown query queues -113,\"Undefined header\" and gets no answer.\n"
    "IEEE 488.2 status: *STB? (bit 0 user, 2 error queue, 4 MAV, 5 ESB, 6 MSS; MAV is\n"
    "set only where the transport tells it: VXI-11, HiSLIP), *SRE N / *SRE?, *ESE N /\n"
    "*ESE?, *ESR? (reads and clears; errors set bits 2-5), *OPC (ESR bit 0), *OPC?\n"
    "(answers 1), *CLS (also clears ESR and the user bit), *TRG (a trigger, as a\n"
    "device trigger gives), TRIG:COUNT? (triggers so far), SIM:CLEAR:COUNT? (device\n"
    "clears so far), SIM:SRQ (sets the user bit anew: a service request whenever\n"
    "*SRE has bit 0).  A service request rises when STB & SRE & 0xBF becomes non-zero,\n"
    "e.g. \"*SRE 32;*ESE 1;*OPC\"; ';' separates commands on one line.\n"
    "Every answer ends with the transport's line end (LF; CR on the serial port).\n"
    "Example:\n"
    "  name Bench supply\n"
    "  state shared\n"
    "  *IDN? -> XVR-SIM,PS-1,0001,1.0\n"
    "  prop VOLT 1.0 min 0 max 30\n"
    "  block CURV? 1000\n"
    "  delay 50 MEAS:VOLT?\n"
    "  MEAS:VOLT? -> +1.000E+00\n";

bool ParseInstrument(std::istream &in, InstrumentModel *model, std::string *error) {
    InstrumentModel result;
    std::string line;
    int number = 0;
    auto fail = [&](const std::string &why) {
        *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const auto arrow = line.find("->");
        if (arrow != std::string::npos) {
            const std::string query = Upper(Trim(line.substr(0, arrow)));
            if (query.empty()) return fail("no command before '->'");
            if (!result.answers.emplace(query, Trim(line.substr(arrow + 2))).second)
                return fail("second answer for " + query);
            continue;
        }
        const auto [word, rest] = SplitWord(line);
        if (word == "name") {
            result.name = rest;
        } else if (word == "error") {
            if (rest.empty()) return fail("error without text");
            result.errors.push_back(rest);
        } else if (word == "bulk") {
            if (rest.empty()) return fail("bulk without a command");
            result.bulkQueries.push_back(Upper(rest));
        } else if (word == "prop" || word == "block") {
            std::string why;
            if (!(word == "prop" ? ParseProperty : ParseBlock)(rest, &result, &why))
                return fail(why);
        } else if (word == "state") {
            if (rest != "shared" && rest != "per-transport")
                return fail("state is 'shared' or 'per-transport'");
            result.sharedState = rest == "shared";
        } else if (word == "delay") {
            const auto [msText, query] = SplitWord(rest);
            uint32_t ms = 0;
            if (!ParseMs(msText, &ms)) return fail("delay needs milliseconds from 0 to 600000");
            if (query.empty()) return fail("delay without a command (\"*\" for every answer)");
            if (query == "*")
                result.defaultDelayMs = ms;
            else
                result.delaysMs[Upper(query)] = ms;
        } else {
            return fail(
                "neither 'QUERY -> ANSWER' nor name, state, delay, error, prop, block or bulk: " +
                line);
        }
    }
    *model = std::move(result);
    return true;
}

InstrumentModel DefaultInstrument() {
    std::istringstream text(
        "name xvr-sim default instrument\n"
        "*IDN? -> XVR-SIM,Simulated instrument,0001,1.0\n"
        "MEAS:VOLT? -> +1.234500E+00\n"
        "bulk DATA?\n");
    InstrumentModel model;
    std::string error;
    ParseInstrument(text, &model, &error);
    return model;
}

std::string DefiniteLengthBlock(uint64_t length) {
    const std::string digits = std::to_string(length);
    std::string block = "#" + std::to_string(digits.size()) + digits;
    block.reserve(block.size() + length + 2);  // room for the line end the transport adds
    // The bytes repeat every 256; appended a period at a time, a 16 MiB
    // block is ready long before a client's time-out.
    char period[256];
    for (int i = 0; i < 256; ++i) period[i] = static_cast<char>((i + 10) % 256);
    for (uint64_t done = 0; done < length;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof period, length - done));
        block.append(period, n);
        done += n;
    }
    return block;
}

Instrument::Instrument(InstrumentModel model)
    : m_model(std::move(model)), m_errors(m_model.errors.begin(), m_model.errors.end()) {
    for (const auto &[name, property] : m_model.properties) m_values[name] = property.value;
    UpdateServiceRequest();
}

void Instrument::PushError(const std::string &error) {
    // The event bit of the error's class: command, execution, device, query.
    const int code = std::atoi(error.c_str());
    if (code <= -100 && code > -500) m_esr |= static_cast<uint8_t>(0x20 >> (-code / 100 - 1));
    if (m_errors.size() >= kMaxErrorQueue) {
        m_errors.back() = "-350,\"Queue overflow\"";
        return;
    }
    m_errors.push_back(error);
}

bool Instrument::SetProperty(const std::string &name, const std::string &value) {
    const auto property = m_model.properties.find(name);
    if (property == m_model.properties.end()) return false;
    const Property &rule = property->second;
    const auto number = ParseNumber(value);
    if (value.empty()) {
        PushError("-109,\"Missing parameter\"");
    } else if ((rule.min || rule.max) && !number) {
        PushError("-104,\"Data type error\"");
    } else if ((rule.min && *number < *rule.min) || (rule.max && *number > *rule.max)) {
        PushError("-222,\"Data out of range\"");
    } else {
        m_values[name] = value;
    }
    return true;
}

std::optional<Instrument::Reply> Instrument::Handle(const std::string &line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string text = Trim(line);
    // A fixed answer may itself hold ';'.
    if (text.find(';') == std::string::npos || m_model.answers.count(Upper(text))) {
        auto reply = HandleOne(text);
        UpdateServiceRequest();
        return reply;
    }
    std::optional<Reply> joined;
    for (size_t begin = 0;;) {
        const size_t end = text.find(';', begin);
        auto reply = HandleOne(text.substr(begin, end == std::string::npos ? end : end - begin));
        UpdateServiceRequest();
        if (reply && !joined) {
            joined = std::move(reply);
        } else if (reply) {
            joined->data += ';' + reply->data;
            joined->delayMs = std::max(joined->delayMs, reply->delayMs);
        }
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    return joined;
}

std::optional<Instrument::Reply> Instrument::HandleOne(const std::string &line) {
    const std::string text = Trim(line);
    const std::string command = Upper(text);
    if (command.empty()) return std::nullopt;
    Reply reply;
    const auto delay = m_model.delaysMs.find(command);
    reply.delayMs =
        delay != m_model.delaysMs.end() ? delay->second : m_model.defaultDelayMs.value_or(0);

    const auto answer = m_model.answers.find(command);
    if (answer != m_model.answers.end()) {
        reply.data = answer->second;
        return reply;
    }
    if (command == "SYST:ERR?" || command == "SYSTEM:ERROR?" || command == "SYST:ERR:NEXT?") {
        if (m_errors.empty()) {
            reply.data = "0,\"No error\"";
        } else {
            reply.data = m_errors.front();
            m_errors.pop_front();
        }
        return reply;
    }
    // "NAME?" reads a property, "NAME VALUE" sets it.
    const auto [word, value] = SplitWord(text);
    const std::string name = Upper(word);
    std::optional<std::string> status;
    if (HandleStatusCommand(name, value, &status)) {
        if (!status) return std::nullopt;
        reply.data = std::move(*status);
        return reply;
    }
    if (value.empty() && name.size() > 1 && name.back() == '?') {
        const auto current = m_values.find(name.substr(0, name.size() - 1));
        if (current != m_values.end()) {
            reply.data = current->second;
            return reply;
        }
    }
    if (SetProperty(name, value)) return std::nullopt;
    const auto block = m_model.blocks.find(command);
    if (block != m_model.blocks.end()) {
        reply.data = DefiniteLengthBlock(block->second);
        return reply;
    }
    for (const auto &bulk : m_model.bulkQueries) {
        if (command.rfind(bulk, 0) != 0) continue;
        uint64_t length = 0;
        if (!ParseLength(Trim(command.substr(bulk.size())), &length))
            break;  // a bad count is an unknown query
        const size_t n = static_cast<size_t>(length);
        // Generated once and copied, so that benchmarks measure the transfer.
        static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        while (m_bulk.size() < n)
            m_bulk.append(kAlphabet, 0, std::min<size_t>(26, n - m_bulk.size()));
        reply.data.reserve(n + 2);  // room for the line end the transport adds
        reply.data.assign(m_bulk, 0, n);
        return reply;
    }
    if (IsQuery(command)) {
        PushError("-113,\"Undefined header\"");
    }
    return std::nullopt;
}

bool Instrument::HandleStatusCommand(const std::string &name, const std::string &value,
                                     std::optional<std::string> *answer) {
    // A register value: an NRf number, rounded, from 0 to 255.
    auto setRegister = [&](uint8_t *reg) {
        const auto number = ParseNumber(value);
        if (value.empty())
            PushError("-109,\"Missing parameter\"");
        else if (!number)
            PushError("-104,\"Data type error\"");
        else if (std::lround(*number) < 0 || std::lround(*number) > 255)
            PushError("-222,\"Data out of range\"");
        else
            *reg = static_cast<uint8_t>(std::lround(*number));
    };
    const bool query = value.empty();
    if (name == "*CLS" && query) {
        m_errors.clear();
        m_esr = 0;
        m_userBit = false;
    } else if (name == "*STB?" && query) {
        *answer = std::to_string(KnownStatus(false));
    } else if (name == "*SRE") {
        setRegister(&m_sre);
        m_sre &= 0xBF;  // bit 6 cannot be enabled
    } else if (name == "*SRE?" && query) {
        *answer = std::to_string(m_sre);
    } else if (name == "*ESE") {
        setRegister(&m_ese);
    } else if (name == "*ESE?" && query) {
        *answer = std::to_string(m_ese);
    } else if (name == "*ESR?" && query) {
        *answer = std::to_string(m_esr);
        m_esr = 0;
    } else if (name == "*OPC" && query) {
        m_esr |= 0x01;
    } else if (name == "*OPC?" && query) {
        *answer = "1";
    } else if (name == "*TRG" && query) {
        ++m_triggers;
    } else if (name == "TRIG:COUNT?" && query) {
        *answer = std::to_string(m_triggers);
    } else if (name == "SIM:CLEAR:COUNT?" && query) {
        *answer = std::to_string(m_clears);
    } else if (name == "SIM:SRQ" && query) {
        // Cleared and set again, so that every SIM:SRQ is a new request.
        m_userBit = false;
        UpdateServiceRequest();
        m_userBit = true;
    } else {
        return false;
    }
    return true;
}

uint8_t Instrument::KnownStatus(bool messageAvailable) const {
    uint8_t stb = (m_userBit ? 0x01 : 0) | (m_errors.empty() ? 0 : 0x04) |
                  (messageAvailable ? 0x10 : 0) | ((m_esr & m_ese) ? 0x20 : 0);
    if (stb & m_sre & 0xBF) stb |= 0x40;
    return stb;
}

void Instrument::UpdateServiceRequest() {
    // The instrument alone never knows MAV, so a request on MAV is the
    // server's business.
    const bool line = (KnownStatus(false) & 0x40) != 0;
    if (line && !m_serviceLine && m_serviceRequests < UINT32_MAX) ++m_serviceRequests;
    m_serviceLine = line;
}

uint8_t Instrument::StatusByte(bool messageAvailable) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return KnownStatus(messageAvailable);
}

void Instrument::DeviceClear() {
    // The instrument keeps no half-done exchange of its own (the server
    // drops its pending answer); the status registers stay as they are.
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_clears;
}

void Instrument::Trigger() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_triggers;
}

bool Instrument::TakeServiceRequest() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_serviceRequests == 0) return false;
    --m_serviceRequests;
    return true;
}

std::vector<std::string> TakeLines(std::string *pending, const std::string &input) {
    std::vector<std::string> lines;
    for (char c : input) {
        if (c == '\r' || c == '\n') {
            if (!pending->empty()) lines.push_back(std::move(*pending));
            pending->clear();
        } else if (pending->size() < kMaxLineBytes) {
            *pending += c;
        }
    }
    return lines;
}

}  // namespace xvrsim
