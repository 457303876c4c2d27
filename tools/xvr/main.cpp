// xvr: talk to an instrument from the command line through the library's
// exported interface.  Exit status 0 ok, 1 device or I/O failure, 2 usage.
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

#include "commands.h"
#include "hex.h"

namespace xvrcli {

namespace {

const char kCommonOptions[] =
    "  -t, --timeout MS      read time-out (the TIMEOUT parameter) and connect time-out\n"
    "                        in milliseconds; without it the device's own read time-out\n"
    "                        and a connect time-out of 5000 ms\n"
    "  -d, --delimiter TEXT  end-of-message bytes in the DELIMITER parameter's syntax:\n"
    "                        printable bytes as themselves, others as \\XX (\\0D\\0A)\n";
const char kHexOption[] =
    "  -x, --hex             data given and printed as hexadecimal byte pairs (41 0D FF)\n";

void PrintOverview(std::FILE *to) {
    std::fprintf(to,
                 "Usage: xvr COMMAND [ARGS] [OPTIONS]\n"
                 "Talk to instruments over serial ports, TCP, UDP and GPIB.\n\n"
                 "Commands:\n");
    for (const auto &c : Commands()) std::fprintf(to, "  %-9s %s\n", c.name, c.summary);
    std::fprintf(to,
                 "\nDRIVER is one of \"COM\", \"TCP/IP\", \"UDP\", \"KX GPIB\", \"QUV GPIB\";\n"
                 "ADDRESS is COM1 or a device path, host:port, or Dev 5.\n"
                 "Run 'xvr COMMAND --help' for the options of a command.\n"
                 "Exit status: 0 ok, 1 device or I/O failure, 2 bad command line.\n");
}

void PrintCommandHelp(const Command &c) {
    std::printf("Usage: xvr %s %s\n%s\n\n%s", c.name, c.synopsis, c.summary, c.details);
    bool common = false, hex = false;
    for (Opt o : c.options) {
        common = common || o == Opt::Timeout;
        hex = hex || o == Opt::Hex;
    }
    if (common || hex) std::printf("\nOptions:\n%s%s", common ? kCommonOptions : "", hex ? kHexOption : "");
    std::printf("  -h, --help            this text\n");
}

}  // namespace

const std::vector<Command> &Commands() {
    static const std::vector<Command> commands = {
        {"drivers", "[--all]", "list the drivers, their open parameter and its values",
         "Asks the library's catalogue.  Lists of values are shortened to their first\n"
         "and last entry unless --all is given.\n\n"
         "Options:\n  -a, --all             print every value of a list, one a line\n",
         0, 0, {Opt::All}, RunDrivers},
        {"query", "DRIVER ADDRESS COMMAND", "send a command and print the answer",
         "Writes COMMAND followed by the delimiter and prints the answer up to the\n"
         "delimiter (which is not printed).\n",
         3, 3, {Opt::Timeout, Opt::Delimiter, Opt::Hex}, RunQuery},
        {"write", "DRIVER ADDRESS DATA", "send data",
         "Writes DATA followed by the delimiter.\n\n"
         "  -r, --raw             send DATA alone, without the delimiter\n",
         3, 3, {Opt::Timeout, Opt::Delimiter, Opt::Hex, Opt::Raw}, RunWrite},
        {"read", "DRIVER ADDRESS [-n COUNT] [-o FILE]", "read one message or a number of bytes",
         "Without -n, reads one message up to the delimiter.  With -n, reads exactly\n"
         "COUNT bytes whatever they hold; a time-out before the last one is a failure.\n"
         "With -o the data goes to FILE, and progress is shown when stderr is a terminal.\n\n"
         "  -n, --count COUNT     number of bytes to read\n"
         "  -o, --output FILE     write the data to FILE instead of stdout\n",
         2, 2, {Opt::Timeout, Opt::Delimiter, Opt::Hex, Opt::Count, Opt::Output}, RunRead},
        {"get", "DRIVER ADDRESS NAME", "print a parameter of a device",
         "Prints the value of parameter NAME (TIMEOUT, DELIMITER, BAUDRATE, ...).\n", 3, 3,
         {Opt::Timeout, Opt::Delimiter}, RunGet},
        {"set", "DRIVER ADDRESS NAME VALUE", "set a parameter of a device",
         "Sets parameter NAME to VALUE.  The setting lasts while the device is open,\n"
         "that is for this command only: use it to check a value, or use 'xvr shell'.\n",
         4, 4, {Opt::Timeout, Opt::Delimiter}, RunSet},
        {"shell", "DRIVER ADDRESS", "interactive session with one device",
         "Reads lines from stdin (with line editing on a terminal).  A line holding a\n"
         "'?' is sent as a query and the answer printed; any other line is only sent.\n"
         "  :get NAME          print a parameter\n"
         "  :set NAME VALUE    set a parameter\n"
         "  :read              read one message\n"
         "  :help, :quit\n",
         2, 2, {Opt::Timeout, Opt::Delimiter, Opt::Hex}, RunShell},
        {"bench", "DRIVER ADDRESS COMMAND [-n N]", "measure query latency and throughput",
         "Sends COMMAND N times as a query (after a few unmeasured ones) and prints\n"
         "the latency percentiles p50, p99 and the maximum, and the throughput.\n\n"
         "  -n, --count N         number of measured queries (default 1000)\n",
         3, 3, {Opt::Timeout, Opt::Delimiter, Opt::Count}, RunBench},
    };
    return commands;
}

void PrintData(const std::string &data, bool hex) {
    if (hex) {
        const std::string text = ToHex(data) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        std::fwrite(data.data(), 1, data.size(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}

}  // namespace xvrcli

int main(int argc, char **argv) {
    using namespace xvrcli;
    if (argc < 2) {
        PrintOverview(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintOverview(stdout);
        return kExitOk;
    }
    const Command *command = nullptr;
    for (const auto &c : Commands())
        if (name == c.name) command = &c;
    if (!command) {
        std::fprintf(stderr, "xvr: unknown command '%s'\nRun 'xvr --help' for the commands.\n",
                     name.c_str());
        return kExitUsage;
    }
    try {
        const Options options = ParseOptions(argc, argv, 2, command->options);
        if (options.help) {
            PrintCommandHelp(*command);
            return kExitOk;
        }
        if (options.args.size() < command->minArgs || options.args.size() > command->maxArgs)
            throw UsageError(std::string("expected arguments: ") + command->synopsis);
        Library library;
        return command->run(library, options);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "xvr %s: %s\nRun 'xvr %s --help' for its usage.\n", command->name,
                     e.what(), command->name);
        return kExitUsage;
    } catch (const DeviceError &e) {
        std::fprintf(stderr, "xvr %s: %s\n", command->name, e.what());
        return kExitDevice;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "xvr %s: %s\n", command->name, e.what());
        return kExitDevice;
    }
}
