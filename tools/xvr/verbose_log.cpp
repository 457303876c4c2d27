#include "verbose_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "log_view.h"
#include "options.h"
#include "param_rules.h"
#include "system.h"
#include "trim.h"
#include "utf.h"

namespace xvrcli {

namespace {
const char kParameterFile[] = "XVR.XVR";
const char kLogFile[] = "XVR.log";

// The key of an "key=value" line, as the library compares it.
std::string KeyOf(const std::string &line) {
    const auto eq = line.find('=');
    return eq == std::string::npos ? "" : NormalizedName(line.substr(0, eq));
}
}  // namespace

std::string WithLoggingOn(const std::string &parameterFile) {
    Encoding encoding;
    std::istringstream in(DecodeFile(parameterFile, &encoding));
    // Each line keeps its own line end (a CR stays at the end of the line).
    std::string out = "[XVR]\nLogFunctions=Yes\nLogData=Yes\n";
    bool inXvr = false;
    std::string line;
    while (std::getline(in, line)) {
        const std::string trimmed = NormalizedName(line);
        if (!trimmed.empty() && trimmed[0] == '[') inXvr = trimmed.rfind("[XVR]", 0) == 0;
        const std::string key = KeyOf(line);
        if (inXvr && (key == "LOGFUNCTIONS" || key == "LOGDATA")) continue;
        out += line + "\n";
    }
    return EncodeFile(out, encoding);
}

bool CallLogSwitchedOn(const std::string &parameterFile) {
    Encoding encoding;
    std::istringstream in(DecodeFile(parameterFile, &encoding));
    bool inXvr = false;
    for (std::string line; std::getline(in, line);) {
        const std::string trimmed = NormalizedName(line);
        if (!trimmed.empty() && trimmed[0] == '[') inXvr = trimmed.rfind("[XVR]", 0) == 0;
        const std::string key = KeyOf(line);
        if (inXvr && (key == "LOGFUNCTIONS" || key == "LOGDATA") &&
            NormalizedName(Trim(line.substr(line.find('=') + 1), " \t\r")) == "YES")
            return true;
    }
    return false;
}

void WarnIfTheCallLogCannotBeWritten() {
    const std::string dir = ParameterDirectory();
    std::string settings;
    if (!ReadWholeFile(dir + kParameterFile, &settings) || !CallLogSwitchedOn(settings)) return;
    // The library has just started the log afresh; appending nothing shows
    // whether it could.
    errno = 0;
    std::FILE *log = std::fopen((dir + kLogFile).c_str(), "ab");
    if (log) {
        std::fclose(log);
        return;
    }
    std::fprintf(
        stderr,
        "xvr: warning: the call log is switched on in %s%s, but %s%s cannot be written: %s\n",
        dir.c_str(), kParameterFile, dir.c_str(), kLogFile, std::strerror(errno ? errno : EACCES));
}

VerboseLog::VerboseLog() : m_dir(MakeTempDirectory()) {
    std::string user;
    ReadWholeFile(ParameterDirectory() + kParameterFile, &user);  // none: an empty file
    if (!WriteWholeFile(m_dir + kParameterFile, WithLoggingOn(user))) {
        RemoveTempDirectory(m_dir, {kParameterFile});
        throw DeviceError("cannot write " + m_dir + kParameterFile + ": " +
                          std::strerror(errno ? errno : EIO));
    }
    SetEnv("XVR_DIR", m_dir);
}

VerboseLog::~VerboseLog() {
    std::fflush(stdout);
    std::fprintf(stderr, "--- call log (xvr -v) ---\n");
    if (!PrintLogFile(m_dir + kLogFile, stderr))
        std::fprintf(stderr, "(no call log was written)\n");
    std::fprintf(stderr, "--- end of call log ---\n");
    RemoveTempDirectory(m_dir, {kParameterFile, kLogFile});
}

}  // namespace xvrcli
