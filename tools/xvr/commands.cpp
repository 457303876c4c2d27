// The table of subcommands and their help texts.
#include "commands.h"

#include "cmd_control.h"
#include "hex.h"
#include "output_file.h"
#include "terminal.h"

namespace xvrcli {

namespace {

const char kTimeoutOption[] =
    "  -t, --timeout TIME    read time-out (the TIMEOUT parameter) and connect time-out:\n"
    "                        milliseconds, or with a unit (500ms, 2s); without it the\n"
    "                        device's own read time-out and a connect time-out of 5000 ms\n";
const char kDelimiterOption[] =
    "  -d, --delimiter TEXT  end-of-message bytes in the DELIMITER parameter's syntax:\n"
    "                        printable bytes as themselves, others as \\XX (\\0D\\0A)\n";
const char kHexInOption[] =
    "      --hex-in          data arguments are typed as hexadecimal byte pairs (41 0D FF)\n";
const char kHexOutOption[] = "      --hex-out         data is printed as hexadecimal byte pairs\n";
const char kHexOption[] = "  -x, --hex             hexadecimal data, in and out\n";

// The table with the control commands after "set".
std::vector<Command> WithControl(std::vector<Command> commands) {
    auto at = commands.begin();
    while (at != commands.end() && std::string(at->name) != "set") ++at;
    if (at != commands.end()) ++at;
    commands.insert(at, ControlCommands().begin(), ControlCommands().end());
    return commands;
}

bool Has(const Command &c, Opt o) {
    for (Opt x : c.options)
        if (x == o) return true;
    return false;
}

}  // namespace

const std::vector<Command> &Commands() {
    using O = Opt;
    // One command per entry, its fields packed.
    // clang-format off
    static const std::vector<Command> commands = WithControl({
        {"drivers", "[--all]", "list the drivers, their open parameter and its values",
         "Asks the library's catalogue.  Lists of values are shortened to their first\n"
         "and last entry unless --all is given.\n\n"
         "  -a, --all             print every value of a list, one a line\n",
         0, 0, {O::All}, false, true, nullptr, RunDrivers},
        {"params", "DRIVER", "list the parameters of a driver and their values",
         "Prints the parameters that get, set and the shell's :get/:set take for\n"
         "DRIVER, whether they can be read or set, and the values they accept.  Asks\n"
         "nothing of the library.\n",
         1, 1, {}, false, false, CheckParams, RunParams},
        {"ports", "", "list the serial ports of this machine",
         "Linux: the entries of /sys/class/tty that belong to a device, with their\n"
         "driver and, for USB adapters, vendor and product ids; then the COM names of\n"
         "section [COM] of the parameter file XVR.XVR.  Windows: the system's serial\n"
         "ports.  Asks nothing of the library.\n",
         0, 0, {}, false, false, nullptr, RunPorts},
        {"query", "DRIVER ADDRESS COMMAND", "send a command and print the answer",
         "Writes COMMAND followed by the delimiter and prints the answer up to the\n"
         "delimiter (which is not printed).\n\n"
         "  -b, --block           the answer is an IEEE 488.2 block (#<n><length><data>, or\n"
         "                        #0<data> up to the delimiter): read it whole, whatever\n"
         "                        bytes the data holds, and print only the data (raw to\n"
         "                        a file or a pipe, hexadecimal on a terminal)\n"
         "  -o, --output FILE     with --block: write the data to FILE\n",
         3, 3, {O::Timeout, O::Delimiter, O::Hex, O::HexIn, O::HexOut, O::Block, O::Output},
         true, true, CheckQuery, RunQuery},
        {"write", "DRIVER ADDRESS DATA", "send data",
         "Writes DATA followed by the delimiter.\n\n"
         "  -r, --raw             send DATA alone, without the delimiter\n",
         3, 3, {O::Timeout, O::Delimiter, O::Hex, O::HexIn, O::Raw}, true, true, CheckData, RunWrite},
        {"read", "DRIVER ADDRESS [-n COUNT] [-o FILE]", "read one message or a number of bytes",
         "Without -n, reads one message up to the delimiter.  With -n, reads exactly\n"
         "COUNT bytes whatever they hold; a time-out before the last one is a failure.\n"
         "With -o the data goes to FILE, and progress is shown when stderr is a terminal.\n\n"
         "  -n, --count COUNT     number of bytes to read\n"
         "  -o, --output FILE     write the data to FILE instead of stdout\n",
         2, 2, {O::Timeout, O::Delimiter, O::Hex, O::HexOut, O::Count, O::Output}, true, true,
         nullptr, RunRead},
        {"get", "DRIVER ADDRESS NAME", "print a parameter of a device",
         "Prints the value of parameter NAME ('xvr params DRIVER' lists them).\n", 3, 3,
         {O::Timeout, O::Delimiter}, true, true, CheckGet, RunGet},
        {"set", "DRIVER ADDRESS NAME VALUE", "set a parameter of a device",
         "Sets parameter NAME to VALUE.  The setting lasts while the device is open,\n"
         "that is for this command only: use it to check a value, or use 'xvr shell'\n"
         "or 'xvr run'.  Values are checked first ('xvr params DRIVER' lists them).\n",
         4, 4, {O::Timeout, O::Delimiter}, true, true, CheckSet, RunSet},
        {"shell", "DRIVER ADDRESS", "interactive session with one device",
         "Reads lines from stdin, with line editing and a history kept in\n"
         "~/.xvr_history on a terminal (Linux).  Ctrl-C clears the line, Ctrl-D or\n"
         ":quit leaves.  A failed line is reported and the session goes on; the exit\n"
         "status is 1 if any line failed.\n\n"
         "Lines:\n",
         2, 2, {O::Timeout, O::Delimiter, O::Hex, O::HexIn, O::HexOut}, true, true, nullptr, RunShell},
        {"run", "DRIVER ADDRESS FILE", "run a script of commands (FILE, or - for stdin)",
         "Runs FILE line by line, as the shell would, and stops at the first line that\n"
         "fails, naming it (exit status 1).  The whole script is read and checked\n"
         "before the device is opened: a bad line is refused with exit status 2.\n\n"
         "  -k, --keep-going      run the remaining lines after a failure (exit status 1)\n"
         "      --echo            print each line, after '> ', before running it\n\n"
         "Lines:\n",
         3, 3, {O::Timeout, O::Delimiter, O::Hex, O::HexIn, O::HexOut, O::Echo, O::KeepGoing},
         true, true, CheckRun, RunRun},
        {"bench", "DRIVER ADDRESS COMMAND [-n N]", "measure query latency and throughput",
         "Sends COMMAND N times as a query (after a few unmeasured ones) and prints\n"
         "the latency percentiles p50, p99 and the maximum, and the throughput.\n\n"
         "  -n, --count N         number of measured queries (default 1000)\n",
         3, 3, {O::Timeout, O::Delimiter, O::Count}, true, true, CheckData, RunBench},
        {"log", "[FILE] [-f]", "print the library's call log readably",
         "Prints the call log (default: XVR.log beside the parameter file XVR.XVR) as\n"
         "UTF-8 text.  Data lines show 16 bytes a row in hexadecimal with their ASCII\n"
         "beside them.  Switch the log on with LogFunctions=Yes and LogData=Yes in\n"
         "section [XVR] of XVR.XVR, or for one command with 'xvr -v COMMAND ...'.\n\n"
         "  -f, --follow          keep printing what is added, until Ctrl-C; a log that\n"
         "                        is started afresh is printed from its beginning\n",
         0, 1, {O::Follow}, false, false, nullptr, RunLog},
        {"completion", "bash", "print the bash completion script",
         "Prints the script that completes subcommands, options and driver names.\n"
         "Installed as share/bash-completion/completions/xvr; to try it by hand:\n"
         "  source <(xvr completion bash)\n",
         1, 1, {}, false, false, CheckCompletion, RunCompletion},
    });
    // clang-format on
    return commands;
}

void PrintOverview(std::FILE *to) {
    std::fprintf(to,
                 "Usage: xvr [-v] COMMAND [ARGS] [OPTIONS]\n"
                 "       xvr --version | --help\n"
                 "Talk to instruments over serial ports, TCP, UDP, GPIB and VXI-11.\n\n"
                 "Commands:\n");
    for (const auto &c : Commands()) std::fprintf(to, "  %-11s %s\n", c.name, c.summary);
    std::fprintf(
        to,
        "\nOptions before the command:\n"
        "  -v, --verbose   switch the library's call log on for this command (in a\n"
        "                  temporary directory; XVR.XVR stays as it is) and print\n"
        "                  the log on stderr afterwards\n"
        "  --version       the versions of xvr and of the library interface\n"
        "  -h, --help      this text\n"
        "\nDRIVER is one of \"COM\", \"TCP/IP\", \"UDP\", \"KX GPIB\", \"QUV GPIB\", \"VXI-11\",\n"
        "\"HiSLIP\"; ADDRESS is COM1 or a device path, host:port, Dev 5, host:inst0 or\n"
        "host:hislip0.\n"
        "Run 'xvr COMMAND --help' for the options of a command.\n"
        "Exit status: 0 ok, 1 device or I/O failure, 2 bad command line.\n");
}

void PrintCommandHelp(const Command &c) {
    std::printf("Usage: xvr %s %s\n%s\n\n%s", c.name, c.synopsis, c.summary, c.details);
    if (c.run == RunShell || c.run == RunRun) {
        std::fputs(kStepHelp, stdout);
        std::fputs(kControlStepHelp, stdout);
    }
    if (Has(c, Opt::Timeout) || Has(c, Opt::Hex)) std::printf("\nOptions:\n");
    if (Has(c, Opt::Timeout)) std::printf("%s%s", kTimeoutOption, kDelimiterOption);
    if (Has(c, Opt::HexIn)) std::fputs(kHexInOption, stdout);
    if (Has(c, Opt::HexOut)) std::fputs(kHexOutOption, stdout);
    if (Has(c, Opt::Hex)) std::fputs(kHexOption, stdout);
    std::printf("  -h, --help            this text\n");
}

void PrintData(const std::string &data, bool hex) {
    if (hex) {
        WriteChecked(stdout, ToHexRows(data), kStdoutName);
    } else {
        static const bool terminal = StdoutIsTerminal();
        WriteChecked(stdout, (terminal ? TerminalSafe(data) : data) + "\n", kStdoutName);
    }
    FlushChecked(stdout, kStdoutName);
}

}  // namespace xvrcli
