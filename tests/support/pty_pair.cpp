#ifndef _WIN32

#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>

namespace xvr::test {

namespace {

using Clock = std::chrono::steady_clock;

// The kernel's termios2, for rates without a B constant.
struct termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

}  // namespace

bool PtyPair::Reopen() {
    CloseMaster();
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const char *name = fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 ? nullptr : ptsname(fd);
    if (!name) {
        if (fd >= 0) close(fd);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_pathLock);
        m_slavePath = name;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_master = fd;
    return true;
}

void PtyPair::CloseMaster() {
    if (m_master >= 0) close(m_master);
    m_master = -1;
}

bool PtyPair::Send(const std::string &bytes) {
    return write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string PtyPair::Receive(size_t n, int timeoutMs) {
    std::string out;
    char buffer[256];
    for (auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
         out.size() < n && Clock::now() < until;) {
        ssize_t r = read(m_master, buffer, std::min(sizeof buffer, n - out.size()));
        if (r > 0)
            out.append(buffer, static_cast<size_t>(r));
        else
            usleep(1000);
    }
    return out;
}

termios PtyPair::SlaveSettings() const {
    termios t{};
    tcgetattr(m_master, &t);
    return t;
}

std::string PtyPair::Line() const {
    const termios t = SlaveSettings();
    termios2 t2{};
    ioctl(m_master, TCGETS2, &t2);
    const tcflag_t c = t.c_cflag, x = t.c_iflag & (IXON | IXOFF);
    const bool odd = c & PARODD;
    const char parity = !(c & PARENB) ? 'N' : (c & CMSPAR) ? "SM"[odd] : "EO"[odd];
    std::string flow = (c & CRTSCTS) ? "RTSCTS" : "";
    if (x) {
        const bool usual = x == (IXON | IXOFF) && t.c_cc[VSTART] == 0x11 && t.c_cc[VSTOP] == 0x13;
        flow += usual ? "XONXOFF" : "PARTXON";
    }
    return std::to_string(t2.c_ospeed) + " " + char('5' + (c & CSIZE) / CS6) + " " + parity +
           ((c & CSTOPB) ? " 2 " : " 1 ") + (flow.empty() ? "NONE" : flow);
}

PtyInstrument::PtyInstrument(PtyPair *pty, std::string answer,
                             std::function<void(PtyPair *)> onNewPair)
    : m_pty(pty), m_answer(std::move(answer)), m_onNewPair(std::move(onNewPair)), m_thread([this] {
          char buffer[4096];
          std::string line;
          while (!m_stop) {
              pollfd p{m_pty->Master(), POLLIN, 0};
              ssize_t r = poll(&p, 1, 20) > 0 ? read(p.fd, buffer, sizeof buffer) : 0;
              if (r <= 0) usleep(1000);  // also when no slave is open at the moment
              line.append(buffer, r > 0 ? static_cast<size_t>(r) : 0);
              for (size_t end; (end = line.find('\r')) != std::string::npos; line.erase(0, end + 1))
                  Handle(line.substr(0, end));
          }
      }) {}

PtyInstrument::~PtyInstrument() {
    m_stop = true;
    m_thread.join();
}

void PtyInstrument::Handle(const std::string &line) {
    if (line.rfind("DRIP ", 0) == 0) {
        for (char c : line.substr(5)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            m_pty->Send(std::string(1, c));
        }
    } else if (line == "LINE?") {
        m_pty->Send(m_pty->Line() + "\r");
    } else if (line == "HANGUP") {
        m_pty->CloseMaster();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (m_pty->Reopen() && m_onNewPair) m_onNewPair(m_pty);
    } else {
        m_pty->Send((m_answer.empty() ? line : m_answer) + "\r");
    }
}

}  // namespace xvr::test

#endif
