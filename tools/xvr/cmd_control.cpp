// xvr clear, trigger, stb, wait-srq, lock, remote, and their directives.
#include "cmd_control.h"

#include <cstdio>

#include "trim.h"

namespace xvrcli {

namespace {

// One operation: the parameter it sets or gets, and how.
struct Operation {
    const char *name;  // command and directive word (without ':')
    const char *param;
    enum Kind { kSet, kGet, kWait } kind;
    bool valued;  // takes a value (lock, remote)
};

const Operation kOperations[] = {
    {"clear", "CLEAR", Operation::kSet, false}, {"trigger", "TRIGGER", Operation::kSet, false},
    {"stb", "STB", Operation::kGet, false},     {"wait-srq", "SRQ", Operation::kWait, false},
    {"lock", "LOCK", Operation::kSet, true},    {"remote", "REMOTE", Operation::kSet, true},
};

const Operation &Find(const std::string &name) {
    for (const auto &op : kOperations)
        if (name == op.name) return op;
    return kOperations[0];  // the table names every caller
}

// The step of one operation, with its value checked against the driver.
Step Prepare(const Operation &op, const std::string &value, const DriverInfo &driver, Step step) {
    step.kind = Step::Kind::Control;
    step.text = op.name;
    if (op.kind == Operation::kSet)
        step.value = CheckSetValue(driver, op.param, op.valued ? value : "1");
    else
        CheckGetName(driver, op.param);
    return step;
}

// The device's TIMEOUT for the block, set back after it.
template <class Call>
auto WithTimeout(Device &device, uint64_t ms, Call call) {
    if (ms == 0) return call();
    const std::string old = device.Get("TIMEOUT");
    device.Set("TIMEOUT", std::to_string(ms));
    try {
        auto result = call();
        device.Set("TIMEOUT", old);
        return result;
    } catch (...) {
        device.Set("TIMEOUT", old);
        throw;
    }
}

void Run(Device &device, const Step &step) {
    const Operation &op = Find(step.text);
    switch (op.kind) {
    case Operation::kSet: device.Set(op.param, step.value); break;
    case Operation::kGet: std::printf("%s\n", device.Get(op.param).c_str()); break;
    case Operation::kWait: {
        const std::string stb = WithTimeout(
            device, step.number, [&] { return device.GetAwaiting(op.param, "a service request"); });
        std::printf("%s\n", stb.c_str());
        break;
    }
    }
    std::fflush(stdout);
}

// The commands: DRIVER ADDRESS [VALUE], checked before the library starts.
template <size_t kIndex>
void Check(Options &o) {
    const Operation &op = kOperations[kIndex];
    Step step = Prepare(op, op.valued ? o.args[2] : "", *o.driver, Step{});
    o.args.resize(2);
    o.args.push_back(step.value);
}

template <size_t kIndex>
int RunCommand(const Options &o) {
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    Step step{};
    step.kind = Step::Kind::Control;
    step.text = kOperations[kIndex].name;
    step.value = o.args[2];
    Run(device, step);
    return kExitOk;
}

}  // namespace

const char kControlStepHelp[] =
    "  :clear             device clear (also drops what waits unread)\n"
    "  :trigger           trigger the device\n"
    "  :stb               print the status byte\n"
    "  :wait-srq [TIME]   wait for a service request (up to TIMEOUT, or TIME), print\n"
    "                     the status byte it came with\n"
    "  :lock MODE         EXCLUSIVE, SHARED:key (HiSLIP) or NONE\n"
    "  :remote MODE       REMOTE, LOCAL or LOCKOUT (HiSLIP)\n";

const std::vector<Command> &ControlCommands() {
    using O = Opt;
    static const std::vector<Command> commands = {
        {"clear",
         "DRIVER ADDRESS",
         "device clear: drop a pending answer",
         "VXI-11 and HiSLIP: the instrument drops a pending answer and the link is\n"
         "in step again.  TCP/IP, UDP, COM: what waits unread in the library and in\n"
         "the system is dropped (COM: also what waits to be sent).  GPIB: refused.\n",
         2,
         2,
         {O::Timeout, O::Delimiter},
         true,
         true,
         Check<0>,
         RunCommand<0>},
        {"trigger",
         "DRIVER ADDRESS",
         "trigger the device",
         "GPIB: a group execute trigger to the device; VXI-11: device_trigger;\n"
         "HiSLIP: a Trigger message.\n",
         2,
         2,
         {O::Timeout, O::Delimiter},
         true,
         true,
         Check<1>,
         RunCommand<1>},
        {"stb",
         "DRIVER ADDRESS",
         "print the IEEE 488.2 status byte",
         "Prints the status byte (0-255) read beside the messages: bit 6 RQS/MSS,\n"
         "bit 5 ESB, bit 4 MAV (an answer waits).  VXI-11 and HiSLIP.\n",
         2,
         2,
         {O::Timeout, O::Delimiter},
         true,
         true,
         Check<2>,
         RunCommand<2>},
        {"wait-srq",
         "DRIVER ADDRESS [-t TIME]",
         "wait for a service request",
         "Waits up to the time-out (-t; else the device's TIMEOUT) for a service\n"
         "request of the instrument and prints the status byte it came with.  The\n"
         "request must come while the device is open: 'xvr shell' or 'xvr run' with\n"
         ":wait-srq after the command that raises it.  VXI-11 and HiSLIP.\n",
         2,
         2,
         {O::Timeout, O::Delimiter},
         true,
         true,
         Check<3>,
         RunCommand<3>},
        {"lock",
         "DRIVER ADDRESS EXCLUSIVE|SHARED:KEY|NONE",
         "lock the instrument against other clients",
         "Takes (or with NONE gives up) a lock, waiting LOCK_TIMEOUT for one another\n"
         "client holds.  A lock lasts while the device is open, that is for this\n"
         "command only: use :lock in 'xvr shell' or 'xvr run'.  SHARED:KEY on HiSLIP.\n",
         3,
         3,
         {O::Timeout, O::Delimiter},
         true,
         true,
         Check<4>,
         RunCommand<4>},
        {"remote",
         "DRIVER ADDRESS REMOTE|LOCAL|LOCKOUT",
         "remote or local control of the instrument",
         "REMOTE: the instrument goes to remote; LOCAL: back to local (its front\n"
         "panel); LOCKOUT: remote with the local key locked out (HiSLIP only).\n",
         3,
         3,
         {O::Timeout, O::Delimiter},
         true,
         true,
         Check<5>,
         RunCommand<5>},
    };
    return commands;
}

bool ParseControlDirective(const std::string &word, const std::string &rest,
                           const DriverInfo &driver, Step *step) {
    if (word.empty() || word[0] != ':') return false;
    for (const auto &op : kOperations) {
        if (word.substr(1) != op.name) continue;
        if (op.valued == rest.empty() && op.kind != Operation::kWait)
            throw UsageError(std::string(":") + op.name +
                             (op.valued ? " needs a value" : " takes no value"));
        *step = Prepare(op, rest, driver, *step);
        if (op.kind == Operation::kWait && !rest.empty())
            step->number = static_cast<uint64_t>(ParseDuration(rest, ":wait-srq"));
        return true;
    }
    return false;
}

void RunControlStep(Device &device, const Step &step) { Run(device, step); }

}  // namespace xvrcli
