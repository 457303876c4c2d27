// xvr-compare: the same work through the library's exports and through the
// system's own calls, against a running xvr-sim.  Prints one result per
// line, tab-separated (name, unit, library, reference name, reference), for
// bench/compare/compare to put into its table.
//
//   xvr-compare --tcp HOST:PORT --udp HOST:PORT [--pty PATH] [-n N]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <quvxvr.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string kQuery = "*IDN?";
constexpr int kBulkBytes = 4 * 1024 * 1024;

[[noreturn]] void Fail(const std::string &what) {
    std::fprintf(stderr, "xvr-compare: %s\n", what.c_str());
    std::exit(1);
}

// Median time of one call of op, in microseconds, after a short warm-up.
double MedianMicros(int n, const std::function<void()> &op) {
    for (int i = 0; i < std::min(n / 10 + 1, 20); ++i) op();
    std::vector<double> times(static_cast<size_t>(n));
    for (auto &t : times) {
        const auto t0 = Clock::now();
        op();
        t = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    }
    std::nth_element(times.begin(), times.begin() + n / 2, times.end());
    return times[static_cast<size_t>(n / 2)];
}

// The library's figure and the reference's, with the reference named.
void Row(const char *name, const char *unit, double library, const char *reference, double other) {
    std::printf("%s\t%s\t%.1f\t%s\t%.1f\n", name, unit, library, reference, other);
    std::fflush(stdout);
}

// --- The library -----------------------------------------------------------------
struct Library {
    uint32_t module = 0;
    Library() {
        if (flXVRInit(nullptr, &module, 100, 100) != XVR_OK) Fail("flXVRInit failed");
    }
    ~Library() { flXVRDeInit(module); }
};

void Check(int32_t status, const char *what) {
    if (status >= 0) return;
    char text[512];
    flXVRErrorTextGet(0, text, sizeof text);
    Fail(std::string(what) + ": status " + std::to_string(status) + ": " + text);
}

uint32_t LibOpen(const Library &lib, const char *driver, const std::string &address) {
    uint32_t device = 0;
    Check(flXVROpenWithTimeout(lib.module, &device, driver, address.c_str(), 2000), "open");
    return device;
}

size_t LibQuery(uint32_t device, const std::string &command, std::vector<uint8_t> &buffer) {
    int32_t length = static_cast<int32_t>(command.size());
    Check(flXVRWrite(device, reinterpret_cast<const uint8_t *>(command.data()), &length, 2), "write");
    size_t total = 0;
    for (;;) {
        length = static_cast<int32_t>(buffer.size());
        const int32_t status = flXVRRead(device, buffer.data(), &length, 1);
        Check(status, "read");
        total += static_cast<size_t>(length);
        if (status != XVR_READ_BUFFER_FULL) return total;
    }
}

// --- The system's calls ------------------------------------------------------------
sockaddr_in Address(const std::string &hostPort) {
    const auto colon = hostPort.rfind(':');
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::atoi(hostPort.c_str() + colon + 1)));
    if (colon == std::string::npos || inet_pton(AF_INET, hostPort.substr(0, colon).c_str(), &a.sin_addr) != 1)
        Fail("bad address " + hostPort);
    return a;
}

int RawConnect(int type, const std::string &hostPort) {
    const sockaddr_in a = Address(hostPort);
    const int fd = socket(AF_INET, type, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) Fail("connect " + hostPort);
    return fd;
}

// Writes the command and its line end, reads up to the end byte (2 s at most).
size_t RawQuery(int fd, const std::string &command, char end, std::vector<uint8_t> &buffer) {
    const std::string line = command + end;
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) Fail("raw write");
    size_t total = 0;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) != 1) Fail("raw read: time-out");
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n <= 0) Fail("raw read");
        total += static_cast<size_t>(n);
        if (buffer[static_cast<size_t>(n) - 1] == static_cast<uint8_t>(end)) return total;
    }
}

// Switches the call log for the next initialisation through a parameter file
// of our own.
void WriteLogSwitches(const std::string &dir, bool functions, bool data) {
    std::ofstream f(dir + "/XVR.XVR", std::ios::trunc);
    f << "[XVR]\nLogFunctions=" << (functions ? "yes" : "no") << "\nLogData=" << (data ? "yes" : "no") << "\n";
}

}  // namespace

int main(int argc, char **argv) {
    std::string tcp, udp, pty;
    int n = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--tcp") tcp = argv[i + 1];
        else if (a == "--udp") udp = argv[i + 1];
        else if (a == "--pty") pty = argv[i + 1];
        else if (a == "-n") n = std::max(10, std::atoi(argv[i + 1]));
        else Fail("unknown option " + a);
    }
    if (tcp.empty() || udp.empty()) Fail("usage: xvr-compare --tcp HOST:PORT --udp HOST:PORT [--pty PATH] [-n N]");

    char dirTemplate[] = "/tmp/xvr-compare.XXXXXX";
    if (!mkdtemp(dirTemplate)) Fail("mkdtemp");
    const std::string dir = dirTemplate;
    setenv("XVR_DIR", dir.c_str(), 1);
    WriteLogSwitches(dir, false, false);
    std::vector<uint8_t> buffer(65536);

    {
        Library lib;
        // Queries, transport by transport.
        uint32_t device = LibOpen(lib, "TCP/IP", tcp);
        const double libTcp = MedianMicros(n, [&] { LibQuery(device, kQuery, buffer); });
        int fd = RawConnect(SOCK_STREAM, tcp);
        const double rawTcp = MedianMicros(n, [&] { RawQuery(fd, kQuery, '\n', buffer); });
        Row("TCP query *IDN?", "us", libTcp, "raw socket", rawTcp);

        // Bulk: one answer of kBulkBytes bytes, in MB/s.
        const std::string bulk = "DATA? " + std::to_string(kBulkBytes);
        const int bulkRuns = std::min(20, std::max(3, n / 100));
        const double libBulk = MedianMicros(bulkRuns, [&] { LibQuery(device, bulk, buffer); });
        const double rawBulk = MedianMicros(bulkRuns, [&] { RawQuery(fd, bulk, '\n', buffer); });
        Row("TCP bulk read 4 MiB", "MB/s", kBulkBytes / libBulk, "raw socket", kBulkBytes / rawBulk);
        flXVRClose(device);
        close(fd);

        device = LibOpen(lib, "UDP", udp);
        const double libUdp = MedianMicros(n, [&] { LibQuery(device, kQuery, buffer); });
        flXVRClose(device);
        fd = RawConnect(SOCK_DGRAM, udp);
        const double rawUdp = MedianMicros(n, [&] { RawQuery(fd, kQuery, '\n', buffer); });
        close(fd);
        Row("UDP query *IDN?", "us", libUdp, "raw socket", rawUdp);

        if (!pty.empty()) {
            device = LibOpen(lib, "COM", pty);
            const double libCom = MedianMicros(n / 4, [&] { LibQuery(device, kQuery, buffer); });
            flXVRClose(device);
            fd = open(pty.c_str(), O_RDWR | O_NOCTTY);
            termios tio{};
            if (fd < 0 || tcgetattr(fd, &tio) != 0) Fail("open " + pty);
            cfmakeraw(&tio);
            tcsetattr(fd, TCSANOW, &tio);
            const double rawCom = MedianMicros(n / 4, [&] { RawQuery(fd, kQuery, '\r', buffer); });
            close(fd);
            Row("Serial query *IDN? (pty)", "us", libCom, "raw pty", rawCom);
        }

        // Open and close of a TCP connection.
        const double libOpen = MedianMicros(n / 4, [&] { flXVRClose(LibOpen(lib, "TCP/IP", tcp)); });
        const double rawOpen = MedianMicros(n / 4, [&] { close(RawConnect(SOCK_STREAM, tcp)); });
        Row("TCP open + close", "us", libOpen, "raw socket", rawOpen);
    }

    // The call log: the switches are read when the library is initialised.
    auto loggedQuery = [&](bool functions, bool data) {
        WriteLogSwitches(dir, functions, data);
        Library lib;
        const uint32_t device = LibOpen(lib, "TCP/IP", tcp);
        const double t = MedianMicros(n / 2, [&] { LibQuery(device, kQuery, buffer); });
        flXVRClose(device);
        return t;
    };
    const double logOff = loggedQuery(false, false);
    Row("TCP query, call log functions", "us", loggedQuery(true, false), "log off", logOff);
    Row("TCP query, call log functions+data", "us", loggedQuery(true, true), "log off", logOff);

    std::remove((dir + "/XVR.XVR").c_str());
    std::remove((dir + "/XVR.log").c_str());
    rmdir(dir.c_str());
    return 0;
}
