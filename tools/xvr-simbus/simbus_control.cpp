#include "simbus_control.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace simbus {

Control ReadControl() {
    Control control;
    const char *path = std::getenv("XVR_SIMBUS_CONFIG");
    if (!path || !*path) return control;
    std::ifstream in(path);
    if (!in) control.error = std::string(path) + ": cannot read the file";
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string key, rest;
        if (!(words >> key) || key[0] == '#') continue;
        const char *why = nullptr;
        if (key == "fail") {
            std::string entry;
            if (words >> entry)
                control.failing.insert(entry);
            else
                why = "fail needs an entry point";
        } else if (key == "delay" || key == "overreport") {
            uint32_t &value = key == "delay" ? control.delayMs : control.overreport;
            if (!(words >> value)) why = "needs a whole number";
        } else if (key == "log" || key == "instrument") {
            std::getline(words >> std::ws, rest);
            (key == "log" ? control.logFile : control.instrumentFile) = rest;
            if (rest.empty()) why = "needs a file name";
        } else {
            why = "unknown directive (fail, delay, overreport, log, instrument)";
        }
        if (why && control.error.empty())
            control.error =
                std::string(path) + ": line " + std::to_string(number) + ": " + key + ": " + why;
    }
    return control;
}

void Record(const Control &control, const std::string &line) {
    if (control.logFile.empty()) return;
    std::ofstream out(control.logFile, std::ios::app | std::ios::binary);
    out << line << '\n';
}

std::string Printable(const uint8_t *data, size_t count) {
    std::string text;
    const size_t shown = count < 64 ? count : 64;
    for (size_t i = 0; i < shown; ++i) {
        if (data[i] >= 0x20 && data[i] <= 0x7E && data[i] != '\\') {
            text.push_back(static_cast<char>(data[i]));
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "\\%02X", data[i]);
            text += escape;
        }
    }
    if (shown < count) text += "...";
    return text;
}

}  // namespace simbus
