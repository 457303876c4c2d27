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
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
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
        if ((word != "min" && word != "max") || !(words >> number) || !(bound = ParseNumber(number)))
            return *why = "prop " + name + ": after the value only 'min NUMBER' and 'max NUMBER'", false;
        (word == "min" ? property.min : property.max) = bound;
    }
    if (property.min && property.max && *property.min > *property.max)
        return *why = "prop " + name + ": min above max", false;
    const auto start = ParseNumber(property.value);
    if ((property.min || property.max) &&
        (!start || (property.min && *start < *property.min) || (property.max && *start > *property.max)))
        return *why = "prop " + name + ": the value at start is not a number within min and max", false;
    if (!model->properties.emplace(name, property).second) return *why = "second prop " + name, false;
    return true;
}

// "block QUERY LENGTH"
bool ParseBlock(const std::string &rest, InstrumentModel *model, std::string *why) {
    const auto blank = rest.find_last_of(" \t");
    uint64_t length = 0;
    if (blank == std::string::npos || !ParseLength(rest.substr(blank + 1), &length))
        return *why = "block needs a command and a length from 0 to " + std::to_string(kMaxBulkBytes), false;
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
            if (!(word == "prop" ? ParseProperty : ParseBlock)(rest, &result, &why)) return fail(why);
        } else if (word == "state") {
            if (rest != "shared" && rest != "per-transport") return fail("state is 'shared' or 'per-transport'");
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
            return fail("neither 'QUERY -> ANSWER' nor name, state, delay, error, prop, block or bulk: " +
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
    for (uint64_t i = 0; i < length; ++i) block.push_back(static_cast<char>((i + 10) % 256));
    return block;
}

Instrument::Instrument(InstrumentModel model)
    : m_model(std::move(model)), m_errors(m_model.errors.begin(), m_model.errors.end()) {
    for (const auto &[name, property] : m_model.properties) m_values[name] = property.value;
}

bool Instrument::SetProperty(const std::string &name, const std::string &value) {
    const auto property = m_model.properties.find(name);
    if (property == m_model.properties.end()) return false;
    const Property &rule = property->second;
    const auto number = ParseNumber(value);
    if (value.empty()) {
        m_errors.push_back("-109,\"Missing parameter\"");
    } else if ((rule.min || rule.max) && !number) {
        m_errors.push_back("-104,\"Data type error\"");
    } else if ((rule.min && *number < *rule.min) || (rule.max && *number > *rule.max)) {
        m_errors.push_back("-222,\"Data out of range\"");
    } else {
        m_values[name] = value;
    }
    return true;
}

std::optional<Instrument::Reply> Instrument::Handle(const std::string &line) {
    const std::string text = Trim(line);
    const std::string command = Upper(text);
    if (command.empty()) return std::nullopt;
    Reply reply;
    const auto delay = m_model.delaysMs.find(command);
    reply.delayMs = delay != m_model.delaysMs.end() ? delay->second : m_model.defaultDelayMs.value_or(0);

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
    if (command == "*CLS") {
        m_errors.clear();
        return std::nullopt;
    }
    // "NAME?" reads a property, "NAME VALUE" sets it.
    const auto [word, value] = SplitWord(text);
    const std::string name = Upper(word);
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
        if (!ParseLength(Trim(command.substr(bulk.size())), &length)) break;  // a bad count is an unknown query
        const size_t n = static_cast<size_t>(length);
        // Generated once and copied, so that benchmarks measure the transfer.
        static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        while (m_bulk.size() < n) m_bulk.append(kAlphabet, 0, std::min<size_t>(26, n - m_bulk.size()));
        reply.data.reserve(n + 2);  // room for the line end the transport adds
        reply.data.assign(m_bulk, 0, n);
        return reply;
    }
    if (IsQuery(command)) {
        m_errors.push_back("-113,\"Undefined header\"");
    }
    return std::nullopt;
}

uint8_t Instrument::StatusByte(bool messageAvailable) { return messageAvailable ? 0x10 : 0; }

void Instrument::DeviceClear() {}

void Instrument::Trigger() {}

bool Instrument::TakeServiceRequest() { return false; }

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
