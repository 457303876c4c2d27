// Serial ports on termios.
//
// How the DCB-like line settings map onto termios:
//   baudRate     standard rates with cfsetspeed; any other rate through the
//                kernel's termios2 (BOTHER), refused when the device does not
//                keep it; 0 is refused (B0 would hang the line up).
//   byteSize     5-8 -> CS5-CS8; 4 is refused.
//   parity       none / odd / even / mark / space -> PARENB, PARODD, CMSPAR.
//   stopBits     one -> no CSTOPB; one and a half and two -> CSTOPB.
//   outxCtsFlow, rtsControl = handshake -> CRTSCTS (termios has one switch
//                for both directions).
//   outX, inX    -> IXON, IXOFF; xonChar, xoffChar -> VSTART, VSTOP.
//   rtsControl enable / disable: no termios equivalent; the RTS line keeps
//                the state the system gave it.
//   evtChar      no equivalent; reported as 0 and otherwise ignored.
// Everything else (HUPCL, input checks, ...) keeps the port's setting.
// A setting the device does not keep (read back after the change) fails the
// whole change and leaves the port as it was.
// Opening puts the line in raw mode (no echo, no line editing, no character
// translation, no signals, no software flow control until the line settings ask
// for it), since the driver moves plain bytes, and sets CREAD and CLOCAL so that
// a line without carrier detect still receives.
#include "platform/serial.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/deadline.h"
#include "platform/platform.h"

namespace xvr::platform {

namespace {

// The kernel's termios2 (glibc declares neither it nor BOTHER).
struct termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
constexpr tcflag_t kBaudOther = 0010000;  // BOTHER
constexpr unsigned kInputBaudShift = 16;  // IBSHIFT

static_assert(sizeof(termios) <= sizeof(SerialLine::system), "termios must fit the line state");

struct StandardRate {
    uint32_t rate;
    speed_t code;
};
constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

const StandardRate *FindStandardRate(uint32_t rate) {
    for (const auto &s : kStandardRates)
        if (s.rate == rate) return &s;
    return nullptr;
}

constexpr tcflag_t kLineFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

// The DCB-like settings onto termios flags, the rate aside; false for a
// setting no line has.
bool LineToTermios(const SerialLine &line, termios *tio) {
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (line.baudRate == 0 || line.byteSize < 5 || line.byteSize > 8 || line.parity > 4 ||
        line.stopBits > SerialLine::kTwoStopBits)
        return false;
    tio->c_cflag &= ~kLineFlags;
    tio->c_cflag |= kSizes[line.byteSize - 5];
    if (line.parity != 0) tio->c_cflag |= PARENB;
    if (line.parity == 1 || line.parity == 3) tio->c_cflag |= PARODD;
    if (line.parity >= 3) tio->c_cflag |= CMSPAR;
    if (line.stopBits != SerialLine::kOneStopBit) tio->c_cflag |= CSTOPB;
    if (line.outxCtsFlow || line.rtsControl == SerialLine::kRtsHandshake) tio->c_cflag |= CRTSCTS;
    tio->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (line.outX) tio->c_iflag |= IXON;
    if (line.inX) tio->c_iflag |= IXOFF;
    tio->c_cc[VSTART] = line.xonChar;
    tio->c_cc[VSTOP] = line.xoffChar;
    return true;
}

// Drivers drop what their line cannot do (a pseudo-terminal keeps no parity
// and only 8 data bits); a setting that did not stick is refused, as
// SetCommState refuses it.
bool LineKept(int fd, const termios &asked) {
    termios now;
    if (tcgetattr(fd, &now) != 0) return false;
    if ((now.c_cflag & kLineFlags) != (asked.c_cflag & kLineFlags) ||
        (now.c_iflag & (IXON | IXOFF)) != (asked.c_iflag & (IXON | IXOFF))) {
        errno = EINVAL;
        return false;
    }
    return true;
}

// A rate without a termios code, through the kernel's termios2.  A device
// that cannot run the rate rounds it: refused as well.
bool SetOtherRate(int fd, uint32_t rate) {
    termios2 t2;
    if (ioctl(fd, TCGETS2, &t2) != 0) return false;
    t2.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << kInputBaudShift));
    t2.c_cflag |= kBaudOther;
    t2.c_ispeed = rate;
    t2.c_ospeed = rate;
    if (ioctl(fd, TCSETS2, &t2) != 0 || ioctl(fd, TCGETS2, &t2) != 0) return false;
    if (t2.c_ospeed != rate) {
        errno = EINVAL;
        return false;
    }
    return true;
}

// Waits up to ms (negative: without limit) for events on fd; the poll
// result, or 0 when the time ran out.
int WaitFor(int fd, short events, int64_t ms, short *revents) {
    pollfd p{fd, events, 0};
    for (;;) {
        int slice = ms < 0 ? -1 : static_cast<int>(ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms);
        int r = poll(&p, 1, slice);
        if (r < 0 && errno == EINTR) continue;
        *revents = p.revents;
        return r;
    }
}

}  // namespace

bool SerialNameIsPath(std::u16string_view name) { return !name.empty() && name[0] == u'/'; }

const bool kSerialNamesMapped = true;

std::u16string SerialSystemPath(const std::u16string &name) {
    if (name.size() < 4 || name.size() > 8 || name.compare(0, 3, u"COM") != 0 || name[3] == u'0')
        return {};
    uint32_t n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < u'0' || name[i] > u'9') return {};
        n = n * 10 + static_cast<uint32_t>(name[i] - u'0');
    }
    return AnsiToWide("/dev/ttyS" + std::to_string(n - 1));
}

uint32_t SerialInvalidSettingError() { return EINVAL; }

bool SerialPort::Fail() {
    m_error = static_cast<uint32_t>(errno);
    return false;
}

bool SerialPort::Open(const std::u16string &devicePath) {
    Close();
    m_readMode = ReadMode::kEachByte;
    m_readMs = m_writePerByteMs = m_writeMs = 0;
    const std::string path = WideToAnsi(devicePath);
    if (path.empty()) {
        m_error = ENOENT;
        return false;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Fail();
    termios tio;
    bool ok = isatty(fd);
    // The lock first: a port somebody else holds keeps its own settings.
    if (ok && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) errno = EBUSY;  // report the busy device it is
        ok = false;
    }
    if (ok) ok = ioctl(fd, TIOCEXCL) == 0 && tcgetattr(fd, &tio) == 0;
    if (ok) {
        tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                              ICRNL | IUCLC | IXON | IXOFF | IXANY | IMAXBEL);
        tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        tio.c_cflag |= CREAD | CLOCAL;
        tio.c_cc[VMIN] = 1;  // with O_NONBLOCK: EAGAIN when empty, 0 only at hang-up
        tio.c_cc[VTIME] = 0;
        ok = tcsetattr(fd, TCSANOW, &tio) == 0;
    }
    if (!ok) {
        Fail();
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

void SerialPort::Close() {
    m_aheadBegin = m_aheadEnd = 0;
    if (m_handle == kNoHandle) return;
    int fd = static_cast<int>(m_handle);
    ioctl(fd, TIOCNXCL);
    ::close(fd);
    m_handle = kNoHandle;
}

bool SerialPort::Purge() {
    m_aheadBegin = m_aheadEnd = 0;
    if (tcflush(static_cast<int>(m_handle), TCIOFLUSH) != 0) return Fail();
    return true;
}

bool SerialPort::GetLine(SerialLine *line) {
    int fd = static_cast<int>(m_handle);
    termios tio;
    if (tcgetattr(fd, &tio) != 0) return Fail();
    *line = SerialLine{};
    std::memcpy(line->system, &tio, sizeof tio);

    speed_t code = cfgetospeed(&tio);
    line->baudRate = 0;
    for (const auto &s : kStandardRates)
        if (s.code == code) line->baudRate = s.rate;
    if (code == kBaudOther) {
        termios2 t2;
        if (ioctl(fd, TCGETS2, &t2) != 0) return Fail();
        line->baudRate = t2.c_ospeed;
    }
    switch (tio.c_cflag & CSIZE) {
    case CS5: line->byteSize = 5; break;
    case CS6: line->byteSize = 6; break;
    case CS7: line->byteSize = 7; break;
    default: line->byteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB))
        line->parity = 0;
    else if (tio.c_cflag & CMSPAR)
        line->parity = (tio.c_cflag & PARODD) ? 3 : 4;
    else
        line->parity = (tio.c_cflag & PARODD) ? 1 : 2;
    line->stopBits = (tio.c_cflag & CSTOPB) ? SerialLine::kTwoStopBits : SerialLine::kOneStopBit;
    line->outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    line->rtsControl = line->outxCtsFlow ? SerialLine::kRtsHandshake : SerialLine::kRtsEnable;
    line->outX = (tio.c_iflag & IXON) != 0;
    line->inX = (tio.c_iflag & IXOFF) != 0;
    line->xonChar = tio.c_cc[VSTART];
    line->xoffChar = tio.c_cc[VSTOP];
    line->evtChar = 0;
    return true;
}

bool SerialPort::SetLine(const SerialLine &line) {
    int fd = static_cast<int>(m_handle);
    termios old;
    if (tcgetattr(fd, &old) != 0) return Fail();
    termios tio;
    std::memcpy(&tio, line.system, sizeof tio);
    if (!LineToTermios(line, &tio)) {
        errno = EINVAL;
        return Fail();
    }
    const StandardRate *standard = FindStandardRate(line.baudRate);
    cfsetspeed(&tio, standard ? standard->code : B9600);
    bool ok = (tcsetattr(fd, TCSANOW, &tio) == 0 || errno == EINVAL) && LineKept(fd, tio);
    if (ok && !standard) ok = SetOtherRate(fd, line.baudRate);
    if (ok) return true;
    Fail();
    tcsetattr(fd, TCSANOW, &old);  // leave the port as it was
    return false;
}

// The deadlines are kept here and applied by Read and Write; only a port
// that is not open refuses them, as the system would.
bool SerialPort::ReadWaiting(uint32_t ms) {
    if (m_handle == kNoHandle) return (errno = EBADF, Fail());
    m_readMode = ReadMode::kWaiting;
    m_readMs = ms;
    return true;
}

bool SerialPort::ReadEachByte(uint32_t ms) {
    if (m_handle == kNoHandle) return (errno = EBADF, Fail());
    m_readMode = ReadMode::kEachByte;
    m_readMs = ms;
    return true;
}

bool SerialPort::WriteWithin(uint32_t perByteMs, uint32_t ms) {
    if (m_handle == kNoHandle) return (errno = EBADF, Fail());
    m_writePerByteMs = perByteMs;
    m_writeMs = ms;
    return true;
}

bool SerialPort::Read(uint8_t *buffer, uint32_t size, uint32_t *done) {
    *done = 0;
    if (size == 0) return true;
    auto takeAhead = [this](uint8_t *to, uint32_t n) {
        uint32_t k = std::min(n, m_aheadEnd - m_aheadBegin);
        std::memcpy(to, m_ahead + m_aheadBegin, k);
        m_aheadBegin += k;
        return k;
    };
    *done = takeAhead(buffer, size);
    const int fd = static_cast<int>(m_handle);
    const bool firstByte = m_readMode == ReadMode::kWaiting;
    Deadline deadline = Deadline::In(m_readMs);  // for the first byte, or for each byte

    for (;;) {
        if (*done == size || (firstByte && *done > 0)) return true;
        const uint32_t want = size - *done;
        ssize_t r;
        if (want >= kAheadSize) {
            r = ::read(fd, buffer + *done, want);
        } else {
            r = ::read(fd, m_ahead, kAheadSize);
            if (r > 0) {
                m_aheadBegin = 0;
                m_aheadEnd = static_cast<uint32_t>(r);
                r = takeAhead(buffer + *done, want);
            }
        }
        if (r > 0) {
            *done += static_cast<uint32_t>(r);
            if (*done == size || firstByte) return true;
            deadline = Deadline::In(m_readMs);  // each byte has its own wait
            continue;
        }
        if (r == 0) {  // a hung-up line reads as end of file
            errno = EIO;
            return Fail();
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail();

        if (deadline.Expired()) return true;
        short revents = 0;
        int p = WaitFor(fd, POLLIN, deadline.Remaining(), &revents);
        if (p < 0) return Fail();
        if (p == 0) continue;  // the limit is checked above
        if (!(revents & POLLIN) && (revents & (POLLHUP | POLLERR | POLLNVAL))) {
            errno = EIO;
            return Fail();
        }
    }
}

bool SerialPort::Write(const uint8_t *buffer, uint32_t size, const uint8_t *tail, uint32_t tailSize,
                       uint32_t *done) {
    *done = 0;
    const int fd = static_cast<int>(m_handle);
    const uint64_t all = static_cast<uint64_t>(size) + tailSize;
    // Both 0: no limit, as with COMMTIMEOUTS.
    const bool limited = m_writePerByteMs != 0 || m_writeMs != 0;
    const Deadline deadline =
        Deadline::In(static_cast<int64_t>(m_writePerByteMs * all + m_writeMs));
    uint64_t sent = 0;
    auto failed = [&]() {
        Fail();
        *done = sent < size ? 0 : static_cast<uint32_t>(sent);
        return false;
    };
    while (sent < all) {
        iovec parts[2];
        int count = 0;
        if (sent < size) parts[count++] = {const_cast<uint8_t *>(buffer) + sent, size - sent};
        const uint64_t tailSent = sent > size ? sent - size : 0;
        if (tailSize > tailSent)
            parts[count++] = {const_cast<uint8_t *>(tail) + tailSent, tailSize - tailSent};
        ssize_t r = ::writev(fd, parts, count);
        if (r > 0) {
            sent += static_cast<uint64_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return failed();
        if (limited && deadline.Expired()) break;  // time-out: a short count, no failure
        short revents = 0;
        int p = WaitFor(fd, POLLOUT, limited ? int64_t{deadline.Remaining()} : -1, &revents);
        if (p < 0) return failed();
        if (p > 0 && !(revents & POLLOUT) && (revents & (POLLHUP | POLLERR | POLLNVAL))) {
            errno = EIO;
            return failed();
        }
    }
    *done = static_cast<uint32_t>(sent);
    return true;
}

}  // namespace xvr::platform
