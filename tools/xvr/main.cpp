// xvr: talk to an instrument from the command line through the library's
// exported interface.  Exit status 0 ok, 1 device or I/O failure, 2 usage.
//
// The whole command line is checked before the library is initialised:
// that initialisation empties the call log, which a rejected command must
// leave as it was.
#include <quvxvr.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "commands.h"
#include "output_file.h"
#include "param_rules.h"
#include "verbose_log.h"

#ifndef XVR_VERSION
#define XVR_VERSION "unknown"
#endif

namespace xvrcli {
namespace {

const Command *FindCommand(const std::string &name) {
    for (const auto &c : Commands())
        if (name == c.name) return &c;
    return nullptr;
}

// Whether the command reads answers up to the delimiter.
bool ReadsMessages(const Command &command, const Options &options) {
    if (command.run == RunQuery) return !options.block;
    if (command.run == RunRead) return !options.count;
    return command.run == RunShell || command.run == RunRun || command.run == RunBench;
}

// Everything that can be checked without the library.
Options Prepare(const Command &command, int argc, char **argv, int first, bool verbose) {
    Options options = ParseOptions(argc, argv, first, command.options);
    if (options.help) return options;
    if (options.args.size() < command.minArgs || options.args.size() > command.maxArgs) {
        std::string hint;
        // MEAS:VOLT? DC unquoted arrives as two arguments.
        if (command.device && command.maxArgs == 3 && options.args.size() > 3)
            hint = " (a command with blanks is one argument: quote it, as in 'MEAS:VOLT? DC')";
        throw UsageError(std::string("expected arguments: ") + command.synopsis + hint);
    }
    if ((verbose || options.verbose) && !command.library)
        throw UsageError(
            "-v shows the call log of commands that use the library; this one does not");
    if (command.device) {
        options.driver = &FindDriver(options.args[0]);
        CheckAddress(*options.driver, options.args[1]);
        if (options.delimiter) CheckDelimiter(*options.delimiter);
        if (options.delimiter && options.delimiter->empty() && ReadsMessages(command, options))
            throw UsageError(
                "an empty delimiter cannot end a message: this command would wait for "
                "one that never comes (read -n COUNT reads by count)");
    }
    if (command.check) command.check(options);
    return options;
}

int Run(const Command &command, int argc, char **argv, int first, bool verbose) {
    try {
        const Options options = Prepare(command, argc, argv, first, verbose);
        if (options.help) {
            PrintCommandHelp(command);
            return kExitOk;
        }
        std::unique_ptr<VerboseLog> log;
        if (verbose || options.verbose) log = std::make_unique<VerboseLog>();
        const int status = command.run(options);
        // What printf wrote is only known to have arrived after this.
        FlushChecked(stdout, kStdoutName);
        return status;
    } catch (const UsageError &e) {
        std::fprintf(stderr, "xvr %s: %s\nRun 'xvr %s --help' for its usage.\n", command.name,
                     e.what(), command.name);
        return kExitUsage;
    } catch (const DeviceError &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "xvr %s: %s\n", command.name, e.what());
        return kExitDevice;
    } catch (const std::bad_alloc &) {
        std::fflush(stdout);
        std::fprintf(stderr, "xvr %s: out of memory\n", command.name);
        return kExitDevice;
    } catch (const std::exception &e) {
        // Not a failure the tool foresaw: say so rather than pass a bare
        // runtime text on as if it explained itself.
        std::fflush(stdout);
        std::fprintf(stderr, "xvr %s: unexpected failure (%s)\n", command.name, e.what());
        return kExitDevice;
    }
}

}  // namespace
}  // namespace xvrcli

int main(int argc, char **argv) {
    using namespace xvrcli;
    bool verbose = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        const std::string word = argv[first];
        if (word == "-v" || word == "--verbose") {
            verbose = true;
        } else if (word == "--version") {
            std::printf("xvr %s (library interface version %d)\n", XVR_VERSION,
                        XVR_INTERFACE_VERSION);
            return kExitOk;
        } else if (word == "-h" || word == "--help") {
            PrintOverview(stdout);
            return kExitOk;
        } else {
            std::fprintf(stderr, "xvr: unknown option '%s'\nRun 'xvr --help' for the commands.\n",
                         word.c_str());
            return kExitUsage;
        }
    }
    if (first >= argc) {
        PrintOverview(stderr);
        return kExitUsage;
    }
    std::string name = argv[first];
    if (name == "help") {
        const Command *command = first + 1 < argc ? FindCommand(argv[first + 1]) : nullptr;
        if (command) {
            PrintCommandHelp(*command);
        } else {
            PrintOverview(stdout);
        }
        return kExitOk;
    }
    const Command *command = FindCommand(name);
    if (!command) {
        std::fprintf(stderr, "xvr: unknown command '%s'\nRun 'xvr --help' for the commands.\n",
                     name.c_str());
        return kExitUsage;
    }
    const int status = Run(*command, argc, argv, first + 1, verbose);
    errno = 0;
    if (std::fclose(stdout) != 0 && status == kExitOk) {
        std::fprintf(stderr, "xvr %s: cannot write standard output: %s\n", command->name,
                     std::strerror(errno ? errno : EIO));
        return kExitDevice;
    }
    return status;
}
