#include "options.h"

#include <algorithm>

namespace xvrcli {

namespace {

struct OptName {
    Opt opt;
    const char *longName;
    char shortName;  // 0: none
    bool takesValue;
};

constexpr OptName kNames[] = {
    {Opt::Timeout, "timeout", 't', true}, {Opt::Delimiter, "delimiter", 'd', true},
    {Opt::Hex, "hex", 'x', false},        {Opt::HexIn, "hex-in", 0, false},
    {Opt::HexOut, "hex-out", 0, false},   {Opt::Raw, "raw", 'r', false},
    {Opt::Count, "count", 'n', true},     {Opt::Output, "output", 'o', true},
    {Opt::All, "all", 'a', false},        {Opt::Block, "block", 'b', false},
    {Opt::Follow, "follow", 'f', false},  {Opt::Echo, "echo", 0, false},
    {Opt::KeepGoing, "keep-going", 'k', false},
};

const OptName *Lookup(const std::string &word, std::string *inlineValue) {
    if (word.size() > 2 && word[0] == '-' && word[1] == '-') {
        std::string name = word.substr(2);
        const auto eq = name.find('=');
        if (eq != std::string::npos) {
            *inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        for (const auto &n : kNames)
            if (name == n.longName) return &n;
        return nullptr;
    }
    if (word.size() == 2 && word[0] == '-' && word[1] != 0)
        for (const auto &n : kNames)
            if (word[1] == n.shortName) return &n;
    return nullptr;
}

}  // namespace

uint64_t ParseNumber(const std::string &text, uint64_t minimum, uint64_t maximum,
                     const std::string &what) {
    if (text.empty() || text.size() > 19 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw UsageError(what + " must be a decimal number, not '" + text + "'");
    const uint64_t value = std::stoull(text);
    if (value < minimum || value > maximum)
        throw UsageError(what + " must lie between " + std::to_string(minimum) + " and " +
                         std::to_string(maximum));
    return value;
}

int32_t ParseDuration(const std::string &text, const std::string &what, uint64_t minimum) {
    std::string digits = text;
    uint64_t scale = 1;
    if (digits.size() > 2 && digits.compare(digits.size() - 2, 2, "ms") == 0) {
        digits.resize(digits.size() - 2);
    } else if (digits.size() > 1 && digits.back() == 's') {
        digits.pop_back();
        scale = 1000;
    }
    try {
        const uint64_t least = (minimum + scale - 1) / scale;
        const uint64_t value = ParseNumber(digits, least, kMaxTimeoutMs / scale, what) * scale;
        return static_cast<int32_t>(value);
    } catch (const UsageError &) {
        throw UsageError(what + " must be a whole number of milliseconds from " + std::to_string(minimum) +
                         " to " + std::to_string(kMaxTimeoutMs) + " (or with a unit: 500ms, 2s), not '" +
                         text + "'");
    }
}

Options ParseOptions(int argc, char **argv, int first, const std::vector<Opt> &allowed) {
    Options o;
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            o.args.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "-h" || word == "--help") {
            o.help = true;
            continue;
        }
        std::string value;
        bool hasValue = word.find('=') != std::string::npos && word.rfind("--", 0) == 0;
        const OptName *n = Lookup(word, &value);
        if (!n || std::find(allowed.begin(), allowed.end(), n->opt) == allowed.end())
            throw UsageError("unknown option '" + word + "'");
        if (n->takesValue && !hasValue) {
            if (i + 1 >= argc) throw UsageError("option '" + word + "' needs a value");
            value = argv[++i];
        } else if (!n->takesValue && hasValue) {
            throw UsageError("option '--" + std::string(n->longName) + "' takes no value");
        }
        switch (n->opt) {
        case Opt::Timeout:
            o.timeoutMs = ParseDuration(value, "--timeout");
            break;
        case Opt::Delimiter: o.delimiter = value; break;
        case Opt::Hex: o.hexIn = o.hexOut = true; break;
        case Opt::HexIn: o.hexIn = true; break;
        case Opt::HexOut: o.hexOut = true; break;
        case Opt::Raw: o.raw = true; break;
        case Opt::Count: o.count = ParseNumber(value, 1, UINT64_C(1) << 40, "--count"); break;
        case Opt::Output:
            if (value.empty()) throw UsageError("--output needs a file name");
            o.output = value;
            break;
        case Opt::All: o.all = true; break;
        case Opt::Block: o.block = true; break;
        case Opt::Follow: o.follow = true; break;
        case Opt::Echo: o.echo = true; break;
        case Opt::KeepGoing: o.keepGoing = true; break;
        }
    }
    return o;
}

}  // namespace xvrcli
