// Serial queries through the exports against a plain termios loop, both on a
// pseudo-terminal whose master answers every line with 40 bytes:
//   query latency (median) library / raw   target <= 1.2
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/host_api.h"
#include "support/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kModule = 0x01000000u;
constexpr int kQueries = 5000;
const std::string kQuery = "MEAS:VOLT?";
const std::string kAnswer = "+1.23456789E+00,+9.87654321E-01,OK,READY";  // 40 bytes

using Exports = xvr::test::HostApi;

const Exports *Library() { return xvr::test::LoadHostApi(nullptr); }

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double Micros(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

// A plain termios client: raw line, write the query, poll and read to '\r'.
class RawClient {
public:
    explicit RawClient(const std::string &path)
        : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios t;
        if (m_fd < 0 || tcgetattr(m_fd, &t) != 0) return;
        cfmakeraw(&t);
        t.c_cc[VMIN] = 1;
        m_ok = tcsetattr(m_fd, TCSANOW, &t) == 0;
    }
    ~RawClient() {
        if (m_fd >= 0) close(m_fd);
    }
    bool Ok() const { return m_ok; }
    bool Query(const std::string &line, char *answer, size_t size) {
        if (write(m_fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            return false;
        size_t got = 0;
        while (got == 0 || answer[got - 1] != '\r') {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0) return false;
            ssize_t n = read(m_fd, answer + got, size - got);
            if (n > 0) got += static_cast<size_t>(n);
        }
        return true;
    }

private:
    int m_fd;
    bool m_ok = false;
};

// Library and raw queries alternate, each on its own pseudo-terminal, so
// that the load of the machine falls on both alike.
void BM_ComQueryLatency(benchmark::State &state) {
    const Exports *x = Library();
    if (!x) {
        state.SkipWithError("library not loaded");
        return;
    }
    xvr::test::PtyPair rawPty, libPty;
    xvr::test::PtyInstrument rawInstrument(&rawPty, kAnswer), libInstrument(&libPty, kAnswer);
    RawClient raw(rawPty.SlavePath());
    uint32_t module = 0, h = 0;
    x->Init(nullptr, &module, 100, 100);
    if (!raw.Ok() || x->Open(kModule, &h, "COM", libPty.SlavePath().c_str()) != XVR_OK) {
        state.SkipWithError("cannot open the pseudo-terminals");
        x->DeInit(kModule);
        return;
    }
    const std::string line = kQuery + "\r";
    std::vector<double> rawUs, libUs;
    rawUs.reserve(kQueries);
    libUs.reserve(kQueries);
    char rawAnswer[256];
    uint8_t answer[256];
    for (auto _ : state) {
        auto t0 = Clock::now();
        if (!raw.Query(line, rawAnswer, sizeof rawAnswer)) {
            state.SkipWithError("raw query failed");
            break;
        }
        auto t1 = Clock::now();
        int32_t n = static_cast<int32_t>(kQuery.size());
        x->Write(h, reinterpret_cast<const uint8_t *>(kQuery.data()), &n, 2);
        n = sizeof answer;
        if (x->Read(h, answer, &n, 1) != XVR_READ_DELIMITER ||
            n != static_cast<int32_t>(kAnswer.size())) {
            state.SkipWithError("library query failed");
            break;
        }
        auto t2 = Clock::now();
        rawUs.push_back(Micros(t0, t1));
        libUs.push_back(Micros(t1, t2));
    }
    x->Close(h);
    x->DeInit(kModule);
    const double rawMedian = Median(rawUs), libMedian = Median(libUs);
    state.counters["raw_median_us"] = rawMedian;
    state.counters["library_median_us"] = libMedian;
    if (rawMedian > 0) {
        state.counters["ratio_to_raw"] = libMedian / rawMedian;
        std::printf("com query latency: library %.2f us, raw %.2f us, ratio %.3f (target <= 1.2)\n",
                    libMedian, rawMedian, libMedian / rawMedian);
    }
}

}  // namespace

BENCHMARK(BM_ComQueryLatency)->Iterations(kQueries)->UseRealTime();
