#include "instrument.h"

#include <algorithm>
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

bool ParseMs(const std::string &text, uint32_t *ms) {
    if (text.empty() || text.size() > 7 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    *ms = static_cast<uint32_t>(std::stoul(text));
    return *ms <= 600000;
}

bool IsQuery(const std::string &command) { return command.find('?') != std::string::npos; }

}  // namespace

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
            return fail("neither 'QUERY -> ANSWER' nor name, delay, error or bulk: " + line);
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

Instrument::Instrument(InstrumentModel model)
    : m_model(std::move(model)), m_errors(m_model.errors.begin(), m_model.errors.end()) {}

std::optional<Instrument::Reply> Instrument::Handle(const std::string &line) {
    const std::string command = Upper(Trim(line));
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
    for (const auto &bulk : m_model.bulkQueries) {
        if (command.rfind(bulk, 0) != 0) continue;
        const std::string count = Trim(command.substr(bulk.size()));
        if (count.empty() || count.size() > 12 ||
            !std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoull(count) > kMaxBulkBytes)
            break;  // a bad count is an unknown query
        const size_t n = static_cast<size_t>(std::stoull(count));
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
