#ifndef _WIN32

#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace xvr::test {

namespace {

// The kernel's termios2, for rates without a B constant.
struct termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

int64_t MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

}  // namespace

bool PtyPair::Reopen() {
    CloseMaster();
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    const char *name = nullptr;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || (name = ptsname(fd)) == nullptr) {
        close(fd);
        return false;
    }
    m_slavePath = name;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_master = fd;
    return true;
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
    if (m_master >= 0) close(m_master);
    m_master = -1;
}

bool PtyPair::Send(const std::string &bytes) {
    size_t done = 0;
    auto start = std::chrono::steady_clock::now();
    while (done < bytes.size() && MsSince(start) < 5000) {
        ssize_t r = write(m_master, bytes.data() + done, bytes.size() - done);
        if (r > 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        pollfd p{m_master, POLLOUT, 0};
        poll(&p, 1, 50);
    }
    return done == bytes.size();
}

std::string PtyPair::Receive(size_t n, int timeoutMs) {
    std::string out;
    auto start = std::chrono::steady_clock::now();
    char buffer[4096];
    while (out.size() < n) {
        ssize_t r = read(m_master, buffer, std::min(sizeof buffer, n - out.size()));
        if (r > 0) {
            out.append(buffer, static_cast<size_t>(r));
            continue;
        }
        int64_t left = timeoutMs - MsSince(start);
        if (left <= 0) break;
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        // No slave open: the master reports a hang-up at once; wait a little
        // instead of spinning until the library opens it.
        if (!(p.revents & POLLIN)) usleep(1000);
    }
    return out;
}

termios PtyPair::SlaveSettings() const {
    termios t;
    std::memset(&t, 0, sizeof t);
    tcgetattr(m_master, &t);
    return t;
}

void PtyPair::MakeSlaveRaw() {
    termios t = SlaveSettings();
    cfmakeraw(&t);
    tcsetattr(m_master, TCSANOW, &t);
}

unsigned PtyPair::SlaveBaudRate() const {
    termios2 t;
    std::memset(&t, 0, sizeof t);
    if (ioctl(m_master, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}

PtyInstrument::PtyInstrument(PtyPair *pty, std::string defaultAnswer,
                             std::function<void(PtyPair *)> onNewPair)
    : m_pty(pty),
      m_answer(std::move(defaultAnswer)),
      m_onNewPair(std::move(onNewPair)),
      m_thread([this] { Run(); }) {}

PtyInstrument::~PtyInstrument() {
    m_stop = true;
    m_thread.join();
}

std::string PtyInstrument::DescribeLine(const PtyPair &pty) {
    termios t = pty.SlaveSettings();
    const char *bits = (t.c_cflag & CSIZE) == CS5   ? "5"
                       : (t.c_cflag & CSIZE) == CS6 ? "6"
                       : (t.c_cflag & CSIZE) == CS7 ? "7"
                                                    : "8";
    const char *parity = !(t.c_cflag & PARENB) ? "N"
                         : (t.c_cflag & CMSPAR) ? ((t.c_cflag & PARODD) ? "M" : "S")
                                                : ((t.c_cflag & PARODD) ? "O" : "E");
    const char *flow = (t.c_cflag & CRTSCTS) ? "RTSCTS"
                       : (t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF) ? "XONXOFF"
                       : (t.c_iflag & (IXON | IXOFF)) ? "PARTXON"
                                                      : "NONE";
    return std::to_string(pty.SlaveBaudRate()) + " " + bits + " " + parity + " " +
           ((t.c_cflag & CSTOPB) ? "2" : "1") + " " + flow;
}

void PtyInstrument::Handle(const std::string &line) {
    if (line.rfind("ECHO ", 0) == 0) {
        m_pty->Send(line.substr(5) + "\r");
    } else if (line.rfind("DRIP ", 0) == 0) {
        for (char c : line.substr(5)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            m_pty->Send(std::string(1, c));
        }
    } else if (line == "LINE?") {
        m_pty->Send(DescribeLine(*m_pty) + "\r");
    } else if (line == "HANGUP") {
        m_pty->CloseMaster();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (m_pty->Reopen() && m_onNewPair) m_onNewPair(m_pty);
    } else if (!m_answer.empty()) {
        m_pty->Send(m_answer + "\r");
    }
}

void PtyInstrument::Run() {
    char buffer[4096];
    std::string line;
    while (!m_stop) {
        if (m_pty->Master() < 0) {
            usleep(1000);
            continue;
        }
        pollfd p{m_pty->Master(), POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        ssize_t r = read(m_pty->Master(), buffer, sizeof buffer);
        if (r <= 0) {
            usleep(1000);  // no slave open at the moment
            continue;
        }
        for (ssize_t i = 0; i < r; ++i) {
            if (buffer[i] != '\r') {
                line.push_back(buffer[i]);
                continue;
            }
            Handle(line);
            line.clear();
        }
    }
}

}  // namespace xvr::test

#endif
