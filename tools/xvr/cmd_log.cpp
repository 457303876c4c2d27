// xvr log: the call log, readable, once or followed.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "commands.h"
#include "log_view.h"
#include "system.h"

namespace xvrcli {

namespace {
constexpr auto kFollowInterval = std::chrono::milliseconds(200);
}

int RunLog(const Options &o) {
    const std::string path = o.args.empty() ? ParameterDirectory() + "XVR.log" : o.args[0];
    // A log that does not exist yet may still appear while followed.
    std::error_code error;
    if (!o.follow || std::filesystem::exists(path, error)) {
        const std::string problem = FileProblem(path);
        if (!problem.empty()) throw DeviceError("cannot read " + path + ": " + problem);
        std::string start;
        uint64_t size = 0;
        if (!ReadFileFrom(path, 0, &start, &size) || !LooksLikeCallLog(start.substr(0, 2)))
            throw DeviceError(path +
                              " is not a call log of the library: it does not begin with "
                              "the byte-order mark of UTF-16 text");
    }
    if (!o.follow) {
        if (!PrintLogFile(path, stdout)) throw DeviceError("cannot read " + path);
        return kExitOk;
    }
    // Until Ctrl-C or a signal ends the process; a missing file may appear.
    LogFollower follower(path);
    bool reported = false;
    for (;;) {
        std::string text;
        const bool readable = follower.Poll(&text);
        if (!readable && !reported) std::fprintf(stderr, "xvr log: waiting for %s\n", path.c_str());
        reported = reported || !readable;
        if (!text.empty()) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(kFollowInterval);
    }
}

}  // namespace xvrcli
