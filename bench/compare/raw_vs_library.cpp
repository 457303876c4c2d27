// xvr-compare: the same work through the library's exports and through the
// system's own calls, against a running xvr-sim.  The two sides run in
// alternating blocks (round r: library then reference, round r+1 the other
// way round), so that whatever else the machine does weighs on both alike;
// the figure is the median of the per-round ratios, with its quartiles.
// Prints one result per line, tab-separated: name, unit, library,
// reference name, reference, ratio, first quartile, third quartile (the
// ratio is library time / reference time; for MB/s the rates are shown).
//
//   xvr-compare --tcp HOST:PORT --udp HOST:PORT [--pty PATH] [--hislip HOST:PORT] [-n ROUNDS] [--cpu N]
//   xvr-compare --vxi11 HOST --tcp HOST:PORT [-n ROUNDS] [--cpu N]
//
// The second form measures only the VXI-11 rows, against liblxi's VXI-11
// client where it is installed, which asks the portmapper on port 111: run
// it where the simulator's portmapper has that port (a network namespace).
// It also prints "cpu<TAB>US", the library's CPU time per VXI-11 query.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <time.h>
#include <termios.h>
#include <unistd.h>

#include <quvxvr.h>
#ifdef XVR_HAVE_LXI
#include <lxi.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string kQuery = "*IDN?";
constexpr int kBulkBytes = 16 * 1024 * 1024;

[[noreturn]] void Fail(const std::string &what) {
    std::fprintf(stderr, "xvr-compare: %s\n", what.c_str());
    std::exit(1);
}

// Microseconds per call of op over a block of calls.
double BlockMicros(int calls, const std::function<void()> &op) {
    const auto t0 = Clock::now();
    for (int i = 0; i < calls; ++i) op();
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / calls;
}

double Quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    const double at = q * static_cast<double>(v.size() - 1);
    const size_t i = static_cast<size_t>(at);
    return i + 1 < v.size() ? v[i] + (at - static_cast<double>(i)) * (v[i + 1] - v[i]) : v[i];
}

struct Side {
    std::function<void()> begin;  // before each block, untimed (may be empty)
    std::function<void()> op;
    std::function<void()> end;  // after each block, untimed (may be empty)
};

// Library against reference in `rounds` alternating blocks of `calls` calls,
// after one untimed block of each.  perCall turns microseconds per call into
// the unit shown (identity for times, bytes / us for MB/s).
void Compare(const char *name, const char *unit, const Side &library, const char *reference,
             const Side &other, int rounds, int calls, double (*shown)(double us) = nullptr) {
    auto block = [calls](const Side &side) {
        if (side.begin) side.begin();
        const double us = BlockMicros(calls, side.op);
        if (side.end) side.end();
        return us;
    };
    block(library);
    block(other);
    std::vector<double> lib, ref, ratio;
    for (int r = 0; r < rounds; ++r) {
        double l, o;
        if (r % 2 == 0) {
            l = block(library);
            o = block(other);
        } else {
            o = block(other);
            l = block(library);
        }
        lib.push_back(l);
        ref.push_back(o);
        ratio.push_back(l / o);
    }
    const double libUs = Quantile(lib, 0.5), refUs = Quantile(ref, 0.5);
    std::printf("%s\t%s\t%.2f\t%s\t%.2f\t%.3f\t%.3f\t%.3f\n", name, unit,
                shown ? shown(libUs) : libUs, reference, shown ? shown(refUs) : refUs,
                Quantile(ratio, 0.5), Quantile(ratio, 0.25), Quantile(ratio, 0.75));
    std::fflush(stdout);
}

double BulkMBps(double us) { return kBulkBytes / us; }

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
    Check(flXVRWrite(device, reinterpret_cast<const uint8_t *>(command.data()), &length, 2),
          "write");
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
    if (colon == std::string::npos ||
        inet_pton(AF_INET, hostPort.substr(0, colon).c_str(), &a.sin_addr) != 1)
        Fail("bad address " + hostPort);
    return a;
}

int RawConnect(int type, const std::string &hostPort) {
    const sockaddr_in a = Address(hostPort);
    const int fd = socket(AF_INET, type, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0)
        Fail("connect " + hostPort);
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

// --- HiSLIP by hand: the fewest system calls a client can make ----------------------
struct RawHislip {
    int sync = -1, async = -1;
    uint32_t id = 0xFFFFFF00;
};

std::string HislipHeader(uint8_t type, uint8_t control, uint32_t parameter, uint64_t length) {
    std::string h = "HS";
    h += static_cast<char>(type);
    h += static_cast<char>(control);
    for (int shift = 24; shift >= 0; shift -= 8) h += static_cast<char>(parameter >> shift);
    for (int shift = 56; shift >= 0; shift -= 8) h += static_cast<char>(length >> shift);
    return h;
}

void RecvAll(int fd, uint8_t *into, size_t size) {
    while (size > 0) {
        const ssize_t n = recv(fd, into, size, MSG_WAITALL);
        if (n <= 0) Fail("raw HiSLIP receive");
        into += n;
        size -= static_cast<size_t>(n);
    }
}

// The type and payload length of the next message; the payload is left.
uint8_t RecvHeader(int fd, uint32_t *parameter, uint64_t *length) {
    uint8_t h[16];
    RecvAll(fd, h, sizeof h);
    *parameter = uint32_t{h[4]} << 24 | uint32_t{h[5]} << 16 | uint32_t{h[6]} << 8 | h[7];
    *length = 0;
    for (int i = 8; i < 16; ++i) *length = *length << 8 | h[i];
    return h[2];
}

void SendRaw(int fd, const std::string &bytes) {
    if (send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
        Fail("raw HiSLIP send");
}

RawHislip RawHislipOpen(const std::string &hostPort) {
    RawHislip c;
    uint32_t parameter = 0;
    uint64_t length = 0;
    c.sync = RawConnect(SOCK_STREAM, hostPort);
    SendRaw(c.sync, HislipHeader(0, 0, 0x01005856, 7) + "hislip0");
    if (RecvHeader(c.sync, &parameter, &length) != 1) Fail("raw HiSLIP: no InitializeResponse");
    c.async = RawConnect(SOCK_STREAM, hostPort);
    SendRaw(c.async, HislipHeader(17, 0, parameter & 0xFFFF, 0));
    if (RecvHeader(c.async, &parameter, &length) != 18)
        Fail("raw HiSLIP: no AsyncInitializeResponse");
    SendRaw(c.async, HislipHeader(15, 0, 0, 8) + std::string("\0\0\0\x40\0\0\0\0", 8));
    uint8_t size[8];
    if (RecvHeader(c.async, &parameter, &length) != 16 || length != 8) Fail("raw HiSLIP: no size");
    RecvAll(c.async, size, sizeof size);
    return c;
}

// The command in one DataEnd, the answer's payloads up to its DataEnd.
size_t RawHislipQuery(RawHislip &c, const std::string &command, std::vector<uint8_t> &buffer) {
    SendRaw(c.sync, HislipHeader(7, 0, c.id, command.size() + 1) + command + "\n");
    c.id += 2;
    size_t total = 0;
    for (;;) {
        uint32_t parameter = 0;
        uint64_t length = 0;
        const uint8_t type = RecvHeader(c.sync, &parameter, &length);
        if (length > buffer.size() - total) Fail("raw HiSLIP: answer too long");
        RecvAll(c.sync, buffer.data() + total, static_cast<size_t>(length));
        total += static_cast<size_t>(length);
        if (type == 7) return total;
    }
}

// --- The library a user would pick instead, where it is installed ----------------
#ifdef XVR_HAVE_LXI
// liblxi's RAW protocol: the query and its line end, then receives up to
// the line end.
Side LxiQuery(const std::string &hostPort, std::vector<uint8_t> &buffer) {
    auto device = std::make_shared<int>(-1);
    const auto colon = hostPort.rfind(':');
    const std::string host = hostPort.substr(0, colon);
    const int port = std::atoi(hostPort.c_str() + colon + 1);
    return Side{[=] {
                    lxi_init();
                    *device = lxi_connect(host.c_str(), port, nullptr, 2000, RAW);
                    if (*device < 0) Fail("lxi_connect " + hostPort);
                },
                [=, &buffer] {
                    const std::string line = kQuery + "\n";
                    if (lxi_send(*device, line.data(), static_cast<int>(line.size()), 2000) < 0)
                        Fail("lxi_send");
                    for (;;) {
                        const int n = lxi_receive(*device, reinterpret_cast<char *>(buffer.data()),
                                                  static_cast<int>(buffer.size()), 2000);
                        if (n <= 0) Fail("lxi_receive");
                        if (buffer[static_cast<size_t>(n) - 1] == '\n') return;
                    }
                },
                [=] { lxi_disconnect(*device); }};
}
#endif

#ifdef XVR_HAVE_LXI
// liblxi's VXI-11 client: lxi_receive is one device_read of up to the
// buffer's size; a long answer takes several.
Side LxiVxi11(const std::string &host, const std::string &command, size_t expected,
              std::vector<uint8_t> &buffer) {
    auto device = std::make_shared<int>(-1);
    return Side{
        [=] {
            lxi_init();
            *device = lxi_connect(host.c_str(), 0, "inst0", 3000, VXI11);
            if (*device < 0) Fail("lxi_connect VXI11 " + host);
        },
        [=, &buffer] {
            if (lxi_send(*device, command.data(), static_cast<int>(command.size()), 3000) < 0)
                Fail("lxi_send");
            // expected 0: up to the line end (a query's answer).
            size_t total = 0;
            while (expected == 0 || total < expected) {
                const int n = lxi_receive(*device, reinterpret_cast<char *>(buffer.data()) + total,
                                          static_cast<int>(buffer.size() - total), 3000);
                if (n <= 0) Fail("lxi_receive");
                total += static_cast<size_t>(n);
                if (expected == 0 && buffer[total - 1] == '\n') return;
            }
        },
        [=] { lxi_disconnect(*device); }};
}
#endif

// The bulk answer's bytes: "DATA? N" answers N letters, then the line end.
void CheckBulk(const std::vector<uint8_t> &buffer, const char *who) {
    for (int i = 0; i < kBulkBytes; ++i)
        if (buffer[static_cast<size_t>(i)] != 'A' + i % 26)
            Fail(std::string(who) + ": wrong byte at " + std::to_string(i));
}

double CpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

void Vxi11Rows(const std::string &host, const std::string &tcp, int rounds,
               std::vector<uint8_t> &buffer, std::vector<uint8_t> &bulkBuffer) {
    Library lib;
    const uint32_t device = LibOpen(lib, "VXI-11", host);
    constexpr int kCalls = 200;
    const Side libQuery{{}, [&] { LibQuery(device, kQuery, buffer); }, {}};
    const std::string bulk = "DATA? " + std::to_string(kBulkBytes);
    const Side libBulk{{}, [&] { LibQuery(device, bulk, bulkBuffer); }, {}};
    LibQuery(device, bulk, bulkBuffer);
    CheckBulk(bulkBuffer, "library");
#ifdef XVR_HAVE_LXI
    Compare("VXI-11 query *IDN?", "us", libQuery, "liblxi VXI11",
            LxiVxi11(host, kQuery + "\n", 0, buffer), rounds, kCalls);
#endif
    const int fd = RawConnect(SOCK_STREAM, tcp);
    Compare("VXI-11 bulk read 16 MiB", "MB/s", libBulk, "raw socket",
            {{}, [&] { RawQuery(fd, bulk, '\n', bulkBuffer); }, {}}, std::max(5, rounds / 2), 2,
            BulkMBps);
    close(fd);
#ifdef XVR_HAVE_LXI
    {
        Side lxi = LxiVxi11(host, bulk + "\n", kBulkBytes + 1, bulkBuffer);
        lxi.begin();
        std::fill(bulkBuffer.begin(), bulkBuffer.end(), 0);
        lxi.op();
        lxi.end();
        CheckBulk(bulkBuffer, "liblxi");
        Compare("VXI-11 bulk read 16 MiB", "MB/s", libBulk, "liblxi VXI11", lxi,
                std::max(5, rounds / 2), 2, BulkMBps);
    }
#endif
    // CPU time of the client per query, for the comparison with pyvisa-py.
    const double cpu0 = CpuMicros();
    for (int i = 0; i < 2000; ++i) LibQuery(device, kQuery, buffer);
    std::printf("cpu\t%.3f\n", (CpuMicros() - cpu0) / 2000);
    flXVRClose(device);
}

// Switches the call log for the next initialisation through a parameter file
// of our own.
void WriteLogSwitches(const std::string &dir, bool functions, bool data) {
    std::ofstream f(dir + "/XVR.XVR", std::ios::trunc);
    f << "[XVR]\nLogFunctions=" << (functions ? "yes" : "no")
      << "\nLogData=" << (data ? "yes" : "no") << "\n";
}

}  // namespace

int main(int argc, char **argv) {
    std::string tcp, udp, pty, hislip, vxi11;
    int rounds = 101, cpu = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--tcp")
            tcp = argv[i + 1];
        else if (a == "--udp")
            udp = argv[i + 1];
        else if (a == "--pty")
            pty = argv[i + 1];
        else if (a == "--hislip")
            hislip = argv[i + 1];
        else if (a == "--vxi11")
            vxi11 = argv[i + 1];
        else if (a == "-n")
            rounds = std::max(3, std::atoi(argv[i + 1]));
        else if (a == "--cpu")
            cpu = std::atoi(argv[i + 1]);
        else
            Fail("unknown option " + a);
    }
    if (tcp.empty() || (udp.empty() && vxi11.empty()))
        Fail(
            "usage: xvr-compare --tcp HOST:PORT --udp HOST:PORT [--pty PATH] [-n ROUNDS] [--cpu "
            "N]");
    if (cpu >= 0) {
        // One core for the client, so that the scheduler does not move it
        // between blocks; the peer has a core of its own.
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        if (sched_setaffinity(0, sizeof set, &set) != 0)
            Fail("cannot pin to core " + std::to_string(cpu));
    }

    char dirTemplate[] = "/tmp/xvr-compare.XXXXXX";
    if (!mkdtemp(dirTemplate)) Fail("mkdtemp");
    const std::string dir = dirTemplate;
    setenv("XVR_DIR", dir.c_str(), 1);
    WriteLogSwitches(dir, false, false);
    // A query's answer goes into a buffer of the size a host would give it:
    // the library zeroes what the answer leaves of the host's buffer, so a
    // 16 MiB buffer for "*IDN?" would measure memset.
    std::vector<uint8_t> buffer(1024), bulkBuffer(kBulkBytes + 1);
    constexpr int kCalls = 200;
    if (!vxi11.empty()) {
        Vxi11Rows(vxi11, tcp, rounds, buffer, bulkBuffer);
        std::remove((dir + "/XVR.XVR").c_str());
        rmdir(dir.c_str());
        return 0;
    }

    {
        Library lib;
        uint32_t device = LibOpen(lib, "TCP/IP", tcp);
        int fd = RawConnect(SOCK_STREAM, tcp);
        const Side libTcp{{}, [&] { LibQuery(device, kQuery, buffer); }, {}};
        Compare("TCP query *IDN?", "us", libTcp, "raw socket",
                {{}, [&] { RawQuery(fd, kQuery, '\n', buffer); }, {}}, rounds, kCalls);
#ifdef XVR_HAVE_LXI
        Compare("TCP query *IDN?", "us", libTcp, "liblxi RAW", LxiQuery(tcp, buffer), rounds,
                kCalls);
#endif

        // Bulk: one answer of 16 MiB read into a buffer of that size.
        const std::string bulk = "DATA? " + std::to_string(kBulkBytes);
        Compare("TCP bulk read 16 MiB", "MB/s",
                {{}, [&] { LibQuery(device, bulk, bulkBuffer); }, {}}, "raw socket",
                {{}, [&] { RawQuery(fd, bulk, '\n', bulkBuffer); }, {}}, std::max(5, rounds / 2), 2,
                BulkMBps);
        flXVRClose(device);
        close(fd);

        device = LibOpen(lib, "UDP", udp);
        fd = RawConnect(SOCK_DGRAM, udp);
        Compare("UDP query *IDN?", "us", {{}, [&] { LibQuery(device, kQuery, buffer); }, {}},
                "raw socket", {{}, [&] { RawQuery(fd, kQuery, '\n', buffer); }, {}}, rounds,
                kCalls);
        flXVRClose(device);
        close(fd);

        if (!pty.empty()) {
            // The port opens exclusively: each side opens it for its block.
            uint32_t com = 0;
            Side library{[&] { com = LibOpen(lib, "COM", pty); },
                         [&] { LibQuery(com, kQuery, buffer); }, [&] { flXVRClose(com); }};
            int comFd = -1;
            Side raw{[&] {
                         comFd = open(pty.c_str(), O_RDWR | O_NOCTTY);
                         termios tio{};
                         if (comFd < 0 || tcgetattr(comFd, &tio) != 0) Fail("open " + pty);
                         cfmakeraw(&tio);
                         tcsetattr(comFd, TCSANOW, &tio);
                     },
                     [&] { RawQuery(comFd, kQuery, '\r', buffer); }, [&] { close(comFd); }};
            Compare("Serial query *IDN? (pty)", "us", library, "raw pty", raw, rounds, kCalls / 4);
        }

        if (!hislip.empty()) {
            const std::string host = hislip.substr(0, hislip.rfind(':'));
            uint32_t h =
                LibOpen(lib, "HiSLIP", host + ":hislip0," + hislip.substr(hislip.rfind(':') + 1));
            RawHislip raw = RawHislipOpen(hislip);
            Compare("HiSLIP query *IDN?", "us", {{}, [&] { LibQuery(h, kQuery, buffer); }, {}},
                    "raw socket", {{}, [&] { RawHislipQuery(raw, kQuery, buffer); }, {}}, rounds,
                    kCalls);
            // The answer ends at DataEnd: read without the delimiter.
            const std::string bulk = "DATA? " + std::to_string(kBulkBytes);
            auto libBulk = [&] {
                int32_t length = static_cast<int32_t>(bulk.size());
                Check(flXVRWrite(h, reinterpret_cast<const uint8_t *>(bulk.data()), &length, 2),
                      "write");
                length = static_cast<int32_t>(bulkBuffer.size());
                if (flXVRRead(h, bulkBuffer.data(), &length, 0) != XVR_READ_DELIMITER)
                    Fail("HiSLIP bulk read");
            };
            Compare("HiSLIP bulk read 16 MiB", "MB/s", {{}, libBulk, {}}, "raw socket",
                    {{}, [&] { RawHislipQuery(raw, bulk, bulkBuffer); }, {}},
                    std::max(5, rounds / 2), 2, BulkMBps);
            flXVRClose(h);
            close(raw.sync);
            close(raw.async);
        }

        Compare("TCP open + close", "us",
                {{}, [&] { flXVRClose(LibOpen(lib, "TCP/IP", tcp)); }, {}}, "raw socket",
                {{}, [&] { close(RawConnect(SOCK_STREAM, tcp)); }, {}}, rounds, kCalls / 4);
    }

    // The call log: its switches are read by the first initialisation, so
    // each block of a logged side starts the library afresh.
    auto logged = [&](bool functions, bool data) {
        auto lib = std::make_shared<Library *>(nullptr);
        auto device = std::make_shared<uint32_t>(0);
        return Side{[=, &dir] {
                        WriteLogSwitches(dir, functions, data);
                        *lib = new Library;
                        *device = LibOpen(**lib, "TCP/IP", tcp);
                    },
                    [=, &buffer] { LibQuery(*device, kQuery, buffer); },
                    [=] {
                        flXVRClose(*device);
                        delete *lib;
                    }};
    };
    Compare("TCP query, call log functions", "us", logged(true, false), "log off",
            logged(false, false), rounds, kCalls);
    Compare("TCP query, call log functions+data", "us", logged(true, true), "log off",
            logged(false, false), rounds, kCalls);

    std::remove((dir + "/XVR.XVR").c_str());
    std::remove((dir + "/XVR.log").c_str());
    rmdir(dir.c_str());
    return 0;
}
