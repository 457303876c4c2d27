// Controls the simulated bus library (tools/xvr-simbus) for one test: points
// XVR_SIMBUS_CONFIG at a control file of its own, which always logs the
// calls the library receives, and reads that log back.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "support/test_env.h"

namespace xvr::test {

class SimBusSession {
public:
    SimBusSession() {
        SetEnv("XVR_SIMBUS_CONFIG", (m_dir.path() / "simbus.cfg").string());
        Configure("");
    }
    ~SimBusSession() { UnsetEnv("XVR_SIMBUS_CONFIG"); }
    SimBusSession(const SimBusSession &) = delete;
    SimBusSession &operator=(const SimBusSession &) = delete;

    // Replaces the control lines ("fail iecSend", "delay 200", ...).
    void Configure(const std::string &lines) const {
        WriteFileBytes(m_dir.path() / "simbus.cfg",
                       "log " + (m_dir.path() / "calls.log").string() + "\n" + lines + "\n");
    }

    // The calls received so far, one line each ("iecOpen 5 256"); with a
    // prefix, only the lines that begin with it.
    std::vector<std::string> Calls(const std::string &prefix = "") const {
        std::istringstream log(ReadFileBytes(m_dir.path() / "calls.log"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);)
            if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
        return lines;
    }
    void ClearCalls() const { WriteFileBytes(m_dir.path() / "calls.log", ""); }

private:
    TempDir m_dir;
};

}  // namespace xvr::test
