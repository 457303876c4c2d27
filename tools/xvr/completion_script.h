// The bash completion script (tools/xvr/xvr.bash), built into the program.
#pragma once

namespace xvrcli {
extern const char kBashCompletion[];
}
