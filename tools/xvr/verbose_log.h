// xvr -v: the call log of one command, without touching the user's files.
// The library is pointed (XVR_DIR) at a temporary directory holding a copy
// of the user's parameter file with logging switched on; afterwards the
// log is printed on stderr and the directory removed.
#pragma once

#include <string>

namespace xvrcli {

class VerboseLog {
public:
    VerboseLog();   // before the library's first initialisation
    ~VerboseLog();  // after its last de-initialisation
    VerboseLog(const VerboseLog &) = delete;
    VerboseLog &operator=(const VerboseLog &) = delete;

private:
    std::string m_dir;
};

// The user's parameter file text with the [XVR] logging switches on (ours
// first, theirs removed), everything else kept.
std::string WithLoggingOn(const std::string &parameterFile);
// Whether the parameter file switches the call log on (either switch).
bool CallLogSwitchedOn(const std::string &parameterFile);
// After the library's initialisation: a warning on stderr when XVR.XVR
// switches the log on but XVR.log cannot be written, as the library says
// nothing then.
void WarnIfTheCallLogCannotBeWritten();

}  // namespace xvrcli
