// The bash completion script (made from tools/xvr/xvr.bash.in), built into the program.
#pragma once

namespace xvrcli {
extern const char kBashCompletion[];
}
