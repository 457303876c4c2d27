// Instrument control as commands of their own (xvr clear, trigger, stb,
// wait-srq, lock, remote) and as directives of the shell and of scripts
// (:clear, :trigger, :stb, :wait-srq, :lock, :remote): each is one
// parameter of the library's control vocabulary.
#pragma once

#include <string>
#include <vector>

#include "commands.h"
#include "script.h"

namespace xvrcli {

const std::vector<Command> &ControlCommands();

// A control directive as a Step; false when word names none.  Throws
// UsageError for a value the driver would not take.
bool ParseControlDirective(const std::string &word, const std::string &rest,
                           const DriverInfo &driver, Step *step);
// Runs a Step of kind Control, printing what it reads.  Throws DeviceError.
void RunControlStep(Device &device, const Step &step);

extern const char kControlStepHelp[];

}  // namespace xvrcli
