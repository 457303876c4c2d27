// xvr params, xvr completion: what xvr knows without asking the library.
#include <cstdio>

#include "commands.h"
#include "completion_script.h"
#include "param_rules.h"

namespace xvrcli {

void CheckParams(Options &o) { o.driver = &FindDriver(o.args[0]); }

int RunParams(const Options &o) {
    PrintParams(*o.driver, stdout);
    return kExitOk;
}

void CheckCompletion(Options &o) {
    if (o.args[0] != "bash") throw UsageError("only 'bash' completion is available");
}

int RunCompletion(const Options &) {
    std::fputs(kBashCompletion, stdout);
    return kExitOk;
}

}  // namespace xvrcli
