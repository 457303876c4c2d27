// Controls the simulated bus library (tools/xvr-simbus) for one test through
// a control file of its own (XVR_SIMBUS_CONFIG) that always logs the calls.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "support/test_env.h"

namespace xvr::test {

class SimBusSession {
public:
    SimBusSession() {
        SetEnv("XVR_SIMBUS_CONFIG", File("simbus.cfg"));
        Configure("");
    }
    ~SimBusSession() { UnsetEnv("XVR_SIMBUS_CONFIG"); }

    // Replaces the control lines ("fail iecSend", "delay 200", ...).
    void Configure(const std::string &lines) const {
        WriteFileBytes(File("simbus.cfg"), "log " + File("calls.log") + "\n" + lines + "\n");
    }

    // The calls received so far ("iecOpen 5 256") that begin with prefix.
    std::vector<std::string> Calls(const std::string &prefix = "") const {
        std::istringstream log(ReadFileBytes(File("calls.log")));
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);)
            if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
        return lines;
    }

private:
    std::string File(const char *name) const { return (m_dir.path() / name).string(); }

    TempDir m_dir;
};

}  // namespace xvr::test
