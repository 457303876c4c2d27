// xvr-sim: simulated instruments on loopback TCP and UDP ports and on a
// pseudo-terminal, for trying the library and its tools without hardware.
// One thread, one poll loop; SIGINT or SIGTERM ends it cleanly.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <list>
#include <string>
#include <vector>

#include "hislip_server.h"
#include "instrument.h"
#include "platform/deadline.h"
#include "sim_socket.h"
#include "vxi11_server.h"

#ifndef XVR_VERSION
#define XVR_VERSION "unknown"
#endif

namespace xvrsim {
namespace {

const char kUsage[] =
    "Usage: xvr-sim [OPTIONS]\n"
    "Simulated instruments on every transport at once, until SIGINT or SIGTERM.\n\n"
    "  --tcp PORT          TCP port on 127.0.0.1 (default 0: a free port)\n"
    "  --udp PORT          UDP port on 127.0.0.1 (default 0: a free port)\n"
    "  --hislip PORT       HiSLIP port on 127.0.0.1 (default 0: a free port); the\n"
    "                      instrument behind it has a state of its own\n"
    "  --com NAME          port name of the pseudo-terminal instrument (default COM7)\n"
    "  --no-serial         no pseudo-terminal instrument\n"
    "  --vxi11 PORT        VXI-11 core channel on 127.0.0.1 (default 0: a free port)\n"
    "  --portmapper PORT   the VXI-11 server's own portmapper, TCP and UDP (default 0:\n"
    "                      a free port; 111 where clients expect it, if free)\n"
    "  --xvr-dir DIR       write XVR.XVR into DIR: the COM entry mapping NAME onto the\n"
    "                      pseudo-terminal, the VXI-11 portmapper's port and the\n"
    "                      call-log switches (see --log)\n"
    "  --log               switch the call log (functions and data) on in that XVR.XVR\n"
    "  --gpib-address N    GPIB address to announce (default 5); the GPIB instruments\n"
    "                      live in the simulated bus library that the host loads\n"
    "                      (libquviec.so, libquviec2.so), which answers *IDN? at every\n"
    "                      address.  It lies in a directory of its own, announced as\n"
    "                      \"LD_LIBRARY_PATH DIR\", so that it never stands in for a real\n"
    "                      bus library.  XVR_SIMBUS_CONFIG=FILE names its control file:\n"
    "                      lines \"instrument FILE\" (an instrument file for every\n"
    "                      address), \"fail ENTRY\", \"delay MS\", \"log FILE\"\n"
    "  --instrument FILE   instrument description (default: a built-in one that\n"
    "                      answers *IDN?); its format follows\n"
    "  -h, --help          this text\n"
    "  --version           the version of xvr-sim\n\n"
    "It prints one line per transport (\"TCP 127.0.0.1:5025\", \"COM COM7 -> /dev/pts/3\",\n"
    "\"VXI-11 127.0.0.1:PORT portmapper PORT\",\n"
    "...) and then READY.  Exit status 0 after a signal, 1 on a failure, 2 on bad options.\n\n";

const char kFileMarker[] = "; written by xvr-sim";

struct Config {
    int tcpPort = 0;
    int udpPort = 0;
    int hislipPort = 0;
    int vxi11Port = 0;
    int portmapperPort = 0;
    std::vector<std::string> announce;  // further transports' lines, before READY
    bool serial = true;
    std::string comName = "COM7";
    std::string xvrDir;
    bool log = false;
    int gpibAddress = 5;
    std::string instrumentFile;
};

// The options that take a number, and the range each accepts.
struct NumberOption {
    const char *name;
    int Config::*field;
    int low, high;
    const char *range;
};
constexpr NumberOption kNumberOptions[] = {
    {"--tcp", &Config::tcpPort, 0, 65535, "port from 0 to 65535"},
    {"--udp", &Config::udpPort, 0, 65535, "port from 0 to 65535"},
    {"--hislip", &Config::hislipPort, 0, 65535, "port from 0 to 65535"},
    {"--vxi11", &Config::vxi11Port, 0, 65535, "port from 0 to 65535"},
    {"--portmapper", &Config::portmapperPort, 0, 65535, "port from 0 to 65535"},
    {"--gpib-address", &Config::gpibAddress, 0, 30, "address from 0 to 30"},
};

const NumberOption *FindNumberOption(const std::string &name) {
    for (const NumberOption &option : kNumberOptions)
        if (name == option.name) return &option;
    return nullptr;
}

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Nothing to do if the pipe is full: one byte is enough to stop.
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
}

[[noreturn]] void Die(const std::string &what) {
    std::fprintf(stderr, "xvr-sim: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

// The simulated bus libraries lie beside the simulator's own file, in the
// build tree and in the installed private directory alike; empty when not.
std::string BusLibraryDir() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof path) return "";
    std::string dir(path, static_cast<size_t>(n));
    dir.erase(dir.rfind('/'));
    return access((dir + "/libquviec2.so").c_str(), R_OK) == 0 ? dir : "";
}

bool ParseInt(const char *text, int low, int high, int *value) {
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

// An answer waiting for its time, to a stream peer or a datagram sender.
struct Outgoing {
    int fd;
    sockaddr_in to;  // datagram replies only
    bool datagram;
    std::string data;
    xvr::Deadline due;
};

// A TCP client or the pseudo-terminal: its unfinished command line and the
// answers not yet taken.  Sends never block: a peer that stops reading
// holds up only itself.
struct StreamPeer {
    int fd;
    Instrument *instrument;
    const char *lineEnd;
    bool closable;  // false for the pseudo-terminal, which outlives its users
    std::string pending;
    std::string out;
    size_t sent = 0;  // bytes of `out` already sent
};

class Simulator {
public:
    Simulator(const Config &config, const InstrumentModel &model)
        : m_config(config),
          m_instruments(MakeInstruments(model)),
          m_tcpInstrument(m_instruments[0]),
          m_udpInstrument(m_instruments[model.sharedState ? 0 : 1]),
          m_comInstrument(m_instruments.back()),
          m_vxi11(model) {}

    void Start();
    void Run();
    // Takes the COM line out of XVR.XVR again: the port is gone.
    void Stop();

private:
    // Instruments hold a lock, so they stay where they were made.
    static std::deque<Instrument> MakeInstruments(const InstrumentModel &model) {
        std::deque<Instrument> instruments;
        for (int i = model.sharedState ? 1 : 3; i > 0; --i) instruments.emplace_back(model);
        return instruments;
    }
    int Listen(int type, int port);
    void OpenPseudoTerminal();
    void WriteParameterFile();
    void Schedule(int fd, const sockaddr_in *to, Instrument &instrument, const std::string &line,
                  const char *lineEnd);
    void QueueDue();
    void AcceptTcp();
    void ReceiveUdp();
    // Reads commands and sends queued answers; false when the peer is gone.
    bool ServeStream(StreamPeer &peer, short revents);

    Config m_config;
    // One instrument behind every transport, or one each: the file's "state".
    std::deque<Instrument> m_instruments;
    Instrument &m_tcpInstrument, &m_udpInstrument, &m_comInstrument;
    int m_tcp = -1, m_udp = -1, m_ptyMaster = -1, m_ptySlave = -1;
    std::string m_ptyPath;
    std::list<StreamPeer> m_streams;  // the pseudo-terminal and the TCP clients
    std::list<Outgoing> m_outgoing;
    std::vector<char> m_buffer = std::vector<char>(65536);
    Vxi11Server m_vxi11;  // threads of its own, its own instrument
};

int Simulator::Listen(int type, int port) {
    std::string error;
    const int fd = ListenLoopback(type | SOCK_NONBLOCK, port, &error);
    if (fd < 0) {
        std::fprintf(stderr, "xvr-sim: %s\n", error.c_str());
        std::exit(1);
    }
    return fd;
}

void Simulator::OpenPseudoTerminal() {
    m_ptyMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_ptyMaster < 0 || grantpt(m_ptyMaster) != 0 || unlockpt(m_ptyMaster) != 0)
        Die("pseudo-terminal");
    const char *name = ptsname(m_ptyMaster);
    if (!name) Die("ptsname");
    m_ptyPath = name;
    // Held open so that the port stays up between the host's opens, and raw
    // so that the line discipline neither echoes nor rewrites the bytes.
    m_ptySlave = open(m_ptyPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_ptySlave < 0) Die("open " + m_ptyPath);
    termios tio{};
    if (tcgetattr(m_ptySlave, &tio) != 0) Die("tcgetattr");
    cfmakeraw(&tio);
    if (tcsetattr(m_ptySlave, TCSANOW, &tio) != 0) Die("tcsetattr");
    if (fcntl(m_ptyMaster, F_SETFL, fcntl(m_ptyMaster, F_GETFL) | O_NONBLOCK) != 0) Die("fcntl");
    m_streams.push_back({m_ptyMaster, &m_comInstrument, "\r", false, "", "", 0});
}

void Simulator::WriteParameterFile() {
    const std::string path = m_config.xvrDir + "/XVR.XVR";
    if (mkdir(m_config.xvrDir.c_str(), 0755) != 0 && errno != EEXIST)
        Die("cannot create " + m_config.xvrDir);
    {
        std::ifstream existing(path);
        std::string first;
        // Never replace a parameter file that someone else wrote.
        if (existing && std::getline(existing, first) && first.rfind(kFileMarker, 0) != 0) {
            std::fprintf(stderr, "xvr-sim: %s exists and was not written by xvr-sim; not touched\n",
                         path.c_str());
            std::exit(1);
        }
    }
    std::ofstream out(path, std::ios::trunc);
    const char *yesNo = m_config.log ? "yes" : "no";
    out << kFileMarker << "; rewritten on every start\n"
        << "[XVR]\nLogFunctions=" << yesNo << "\nLogData=" << yesNo << "\n";
    if (!m_ptyPath.empty()) out << "[COM]\n" << m_config.comName << "=" << m_ptyPath << "\n";
    // Hosts reach the VXI-11 server through its portmapper.
    out << "[VXI-11]\nPortmapper=" << m_vxi11.PortmapperPort() << "\n";
    out.close();
    if (!out) Die("cannot write " + path);
}

void Simulator::Start() {
    m_tcp = Listen(SOCK_STREAM, m_config.tcpPort);
    m_udp = Listen(SOCK_DGRAM, m_config.udpPort);
    if (m_config.serial) OpenPseudoTerminal();
    std::string vxi11Error;
    if (!m_vxi11.Start(m_config.vxi11Port, m_config.portmapperPort, &vxi11Error)) {
        std::fprintf(stderr, "xvr-sim: VXI-11: %s\n", vxi11Error.c_str());
        std::exit(1);
    }
    if (!m_config.xvrDir.empty()) WriteParameterFile();

    std::printf("xvr-sim: %s\n", m_tcpInstrument.name().c_str());
    std::printf("TCP 127.0.0.1:%u\n", LocalPort(m_tcp));
    std::printf("UDP 127.0.0.1:%u\n", LocalPort(m_udp));
    std::printf("VXI-11 127.0.0.1:%u portmapper %u\n", m_vxi11.CorePort(),
                m_vxi11.PortmapperPort());
    if (!m_ptyPath.empty()) {
        if (m_config.xvrDir.empty())
            std::printf("COM %s (no --xvr-dir, so open it by its path)\n", m_ptyPath.c_str());
        else
            std::printf("COM %s -> %s\n", m_config.comName.c_str(), m_ptyPath.c_str());
    }
    const std::string busDir = BusLibraryDir();
    std::printf("GPIB KX GPIB Dev %d (inside the simulated bus library libquviec2.so%s)\n",
                m_config.gpibAddress, busDir.empty() ? ", not found beside xvr-sim" : "");
    if (!busDir.empty())
        std::printf("LD_LIBRARY_PATH %s (set it for the host to reach the simulated GPIB bus)\n",
                    busDir.c_str());
    if (!m_config.xvrDir.empty())
        std::printf("XVR_DIR %s (set it for the host)\n", m_config.xvrDir.c_str());
    for (const auto &line : m_config.announce) std::printf("%s\n", line.c_str());
    std::printf("READY\n");
    std::fflush(stdout);
}

void Simulator::Schedule(int fd, const sockaddr_in *to, Instrument &instrument,
                         const std::string &line, const char *lineEnd) {
    auto reply = instrument.Handle(line);
    if (!reply) return;
    xvr::Deadline due = xvr::Deadline::In(reply->delayMs);
    // Answers to one peer leave in the order of its commands.
    for (const auto &o : m_outgoing)
        if (o.fd == fd && !o.datagram && o.due.Remaining() > due.Remaining()) due = o.due;
    Outgoing out{fd, {}, to != nullptr, std::move(reply->data), due};
    out.data += lineEnd;
    if (to) out.to = *to;
    m_outgoing.push_back(std::move(out));
}

void Simulator::QueueDue() {
    for (auto it = m_outgoing.begin(); it != m_outgoing.end();) {
        if (!it->due.Expired()) {
            ++it;
            continue;
        }
        if (it->datagram) {
            // A datagram that finds no room is lost, as on any network.
            sendto(it->fd, it->data.data(), it->data.size(), MSG_DONTWAIT,
                   reinterpret_cast<const sockaddr *>(&it->to), sizeof it->to);
        } else {
            for (auto &peer : m_streams)
                if (peer.fd == it->fd) peer.out += it->data;
        }
        it = m_outgoing.erase(it);
    }
}

void Simulator::AcceptTcp() {
    const int fd = accept4(m_tcp, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) m_streams.push_back({fd, &m_tcpInstrument, "\n", true, "", "", 0});
}

void Simulator::ReceiveUdp() {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = recvfrom(m_udp, m_buffer.data(), m_buffer.size(), 0,
                               reinterpret_cast<sockaddr *>(&from), &length);
    if (n <= 0) return;
    // Every datagram stands alone; a missing line end ends it too.
    std::string pending;
    auto lines = TakeLines(&pending, std::string(m_buffer.data(), static_cast<size_t>(n)));
    if (!pending.empty()) lines.push_back(pending);
    for (const auto &line : lines) Schedule(m_udp, &from, m_udpInstrument, line, "\n");
}

bool Simulator::ServeStream(StreamPeer &peer, short revents) {
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t n = read(peer.fd, m_buffer.data(), m_buffer.size());
        if (n > 0) {
            for (const auto &line :
                 TakeLines(&peer.pending, std::string(m_buffer.data(), static_cast<size_t>(n))))
                Schedule(peer.fd, nullptr, *peer.instrument, line, peer.lineEnd);
        } else if (peer.closable && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
            return false;
        }
    }
    while (peer.sent < peer.out.size()) {
        const ssize_t n =
            peer.closable
                ? send(peer.fd, peer.out.data() + peer.sent, peer.out.size() - peer.sent,
                       MSG_NOSIGNAL | MSG_DONTWAIT)
                : write(peer.fd, peer.out.data() + peer.sent, peer.out.size() - peer.sent);
        if (n > 0) {
            peer.sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (peer.closable) return false;
        break;
    }
    if (peer.sent == peer.out.size()) {
        peer.out.clear();
        peer.sent = 0;
    } else if (peer.sent > (1u << 20)) {
        peer.out.erase(0, peer.sent);
        peer.sent = 0;
    }
    return true;
}

void Simulator::Run() {
    for (;;) {
        std::vector<pollfd> fds = {
            {g_signalPipe[0], POLLIN, 0}, {m_tcp, POLLIN, 0}, {m_udp, POLLIN, 0}};
        const size_t firstStream = fds.size();
        for (const auto &peer : m_streams) {
            short events = peer.out.size() - peer.sent < kMaxQueuedBytes ? POLLIN : 0;
            if (peer.sent < peer.out.size()) events |= POLLOUT;
            fds.push_back({peer.fd, events, 0});
        }

        uint32_t timeoutMs = 1000;
        for (const auto &o : m_outgoing) timeoutMs = std::min(timeoutMs, o.due.Remaining());
        if (poll(fds.data(), fds.size(), static_cast<int>(timeoutMs)) < 0 && errno != EINTR)
            Die("poll");
        if (fds[0].revents) return;
        if (fds[1].revents & POLLIN) AcceptTcp();
        if (fds[2].revents & POLLIN) ReceiveUdp();
        // Only the peers polled above: one accepted just now has no entry.
        size_t index = firstStream;
        for (auto it = m_streams.begin(); it != m_streams.end() && index < fds.size(); ++index) {
            if (fds[index].revents == 0 || ServeStream(*it, fds[index].revents)) {
                ++it;
                continue;
            }
            const int fd = it->fd;
            m_outgoing.remove_if([&](const Outgoing &o) { return o.fd == fd && !o.datagram; });
            close(fd);
            it = m_streams.erase(it);
        }
        QueueDue();
        // Answers that became due go out now, without waiting for POLLOUT.
        for (auto &peer : m_streams)
            if (peer.sent < peer.out.size()) ServeStream(peer, 0);
    }
}

void Simulator::Stop() {
    if (m_config.xvrDir.empty() || m_ptyPath.empty()) return;
    m_ptyPath.clear();
    WriteParameterFile();
}

}  // namespace
}  // namespace xvrsim

int main(int argc, char **argv) {
    using namespace xvrsim;
    Config config;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto bad = [&](const char *why) {
            std::fprintf(stderr, "xvr-sim: %s: %s\nRun 'xvr-sim --help' for its usage.\n",
                         arg.c_str(), why);
            std::exit(2);
        };
        if (arg == "--version") {
            std::printf("xvr-sim %s\n", XVR_VERSION);
            return 0;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kInstrumentFileHelp, stdout);
            return 0;
        } else if (arg == "--no-serial") {
            config.serial = false;
        } else if (arg == "--log") {
            config.log = true;
        } else if (!value) {
            bad("unknown option or missing value");
        } else if (const NumberOption *option = FindNumberOption(arg)) {
            if (!ParseInt(value, option->low, option->high, &(config.*option->field)))
                bad(option->range);
            ++i;
        } else if (arg == "--com") {
            config.comName = value;
            if (config.comName.empty() ||
                config.comName.find_first_of("=[]\r\n") != std::string::npos)
                bad("a port name such as COM7");
            ++i;
        } else if (arg == "--xvr-dir") {
            config.xvrDir = value;
            ++i;
        } else if (arg == "--instrument") {
            config.instrumentFile = value;
            ++i;
        } else {
            bad("unknown option");
        }
    }

    InstrumentModel model = DefaultInstrument();
    if (!config.instrumentFile.empty()) {
        struct stat info {};
        if (stat(config.instrumentFile.c_str(), &info) != 0)
            Die("cannot read " + config.instrumentFile);
        if (!S_ISREG(info.st_mode)) {
            std::fprintf(stderr, "xvr-sim: cannot read %s: it is %s\n",
                         config.instrumentFile.c_str(),
                         S_ISDIR(info.st_mode) ? "a directory" : "not a regular file");
            return 2;
        }
        std::ifstream file(config.instrumentFile);
        if (!file) Die("cannot read " + config.instrumentFile);
        std::string error;
        if (!ParseInstrument(file, &model, &error)) {
            std::fprintf(stderr, "xvr-sim: %s: %s\n", config.instrumentFile.c_str(), error.c_str());
            return 2;
        }
        if (model.name.empty()) model.name = config.instrumentFile;
    }

    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) Die("pipe");
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A parent may hand down these signals blocked; they must reach us.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    HislipServer hislip(model);
    std::string hislipError;
    if (!hislip.Start(config.hislipPort, &hislipError)) {
        std::fprintf(stderr, "xvr-sim: %s\n", hislipError.c_str());
        return 1;
    }
    config.announce.push_back("HiSLIP 127.0.0.1:" + std::to_string(hislip.Port()));
    Simulator simulator(config, model);
    simulator.Start();
    simulator.Run();
    hislip.Stop();
    simulator.Stop();
    std::printf("xvr-sim: stopped\n");
    return 0;
}
