// Network transfers through the exports against the plain socket calls, on
// loopback with peers in this process.  Each pair prints its ratio:
//   query latency (median) library / raw   target <= 1.2
//   bulk throughput        library / raw   target >= 0.5
// and the open/close cycles print the growth of descriptors and memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/platform.h"
#include "support/host_api.h"
#include "support/ip_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using xvr::test::PeerSocket;
using xvr::test::TcpListener;

constexpr uint32_t kModule = 0x01000000u;
constexpr int kQueries = 20000;
constexpr size_t kBulkBytes = 16u << 20;
constexpr int32_t kBulkChunk = 64 << 10;

using Exports = xvr::test::HostApi;

const Exports *Library() { return xvr::test::LoadHostApi(nullptr); }

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    size_t i = static_cast<size_t>(p * (v.size() - 1));
    std::nth_element(v.begin(), v.begin() + i, v.end());
    return v[i];
}

double Median(const std::vector<double> &v) { return Percentile(v, 0.5); }

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

double g_rawMedianUs = 0;
double g_rawBytesPerSecond = 0;

const std::string kQuery = "MEAS:VOLT?";

// Answers every byte with the same byte, one connection at a time, until
// destroyed.
class EchoPeer {
public:
    EchoPeer()
        : m_thread([this] {
              char chunk[65536];
              while (!m_stop) {
                  PeerSocket c = m_listener.Accept(50);
                  while (!m_stop && c.Valid()) {
                      pollfd p{static_cast<int>(c.Raw()), POLLIN, 0};
                      if (poll(&p, 1, 50) <= 0) continue;
                      ssize_t n = recv(p.fd, chunk, sizeof chunk, 0);
                      if (n <= 0 || !c.Send(std::string(chunk, static_cast<size_t>(n)))) break;
                  }
              }
          }) {}
    ~EchoPeer() {
        m_stop = true;
        m_thread.join();
    }
    std::string Address() const { return m_listener.Address(); }
    uint16_t Port() const { return m_listener.Port(); }

private:
    TcpListener m_listener;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void BM_RawQuery(benchmark::State &state) {
    EchoPeer echo;
    PeerSocket s = xvr::test::ConnectLoopback(echo.Port());
    int fd = static_cast<int>(s.Raw());
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const std::string line = kQuery + "\n";
    std::vector<double> us;
    us.reserve(kQueries);
    char answer[256];
    for (auto _ : state) {
        auto t0 = Clock::now();
        send(fd, line.data(), line.size(), MSG_NOSIGNAL);
        size_t got = 0;
        while (got == 0 || answer[got - 1] != '\n') {
            ssize_t n = recv(fd, answer + got, sizeof answer - got, 0);
            if (n <= 0) {
                state.SkipWithError("echo peer went away");
                return;
            }
            got += static_cast<size_t>(n);
        }
        us.push_back(Seconds(t0, Clock::now()) * 1e6);
    }
    g_rawMedianUs = Median(us);
    state.counters["median_us"] = g_rawMedianUs;
    state.counters["p99_us"] = Percentile(us, 0.99);
}

void BM_LibraryQuery(benchmark::State &state) {
    const Exports *x = Library();
    if (!x) {
        state.SkipWithError("library not loaded");
        return;
    }
    EchoPeer echo;
    uint32_t module = 0, h = 0;
    x->Init(nullptr, &module, 100, 100);
    if (x->OpenWithTimeout(kModule, &h, "TCP/IP", echo.Address().c_str(), 1000) != XVR_OK) {
        state.SkipWithError("open failed");
        x->DeInit(kModule);
        return;
    }
    std::vector<double> us;
    us.reserve(kQueries);
    uint8_t answer[256];
    for (auto _ : state) {
        auto t0 = Clock::now();
        int32_t n = static_cast<int32_t>(kQuery.size());
        x->Write(h, reinterpret_cast<const uint8_t *>(kQuery.data()), &n, 2);
        n = sizeof answer;
        if (x->Read(h, answer, &n, 1) != XVR_READ_DELIMITER) {
            state.SkipWithError("query failed");
            break;
        }
        us.push_back(Seconds(t0, Clock::now()) * 1e6);
    }
    x->Close(h);
    x->DeInit(kModule);
    double median = Median(us);
    state.counters["median_us"] = median;
    state.counters["p99_us"] = Percentile(us, 0.99);
    if (g_rawMedianUs > 0) {
        state.counters["ratio_to_raw"] = median / g_rawMedianUs;
        std::printf("ip query latency: library %.2f us, raw %.2f us, ratio %.3f (target <= 1.2)\n",
                    median, g_rawMedianUs, median / g_rawMedianUs);
    }
}

// A peer that sends kBulkBytes to the first connection and closes it.
class BulkSender {
public:
    BulkSender()
        : m_thread([this] {
              PeerSocket c = m_listener.Accept(5000);
              if (!c.Valid()) return;
              std::string chunk(1 << 20, 'd');
              for (size_t sent = 0; sent < kBulkBytes; sent += chunk.size())
                  if (!c.Send(chunk)) return;
              c.WaitForEnd(5000);
          }) {}
    ~BulkSender() { m_thread.join(); }
    std::string Address() const { return m_listener.Address(); }
    uint16_t Port() const { return m_listener.Port(); }

private:
    TcpListener m_listener;
    std::thread m_thread;
};

void BM_RawBulkRead(benchmark::State &state) {
    double seconds = 0;
    for (auto _ : state) {
        BulkSender sender;
        PeerSocket s = xvr::test::ConnectLoopback(sender.Port());
        int fd = static_cast<int>(s.Raw());
        std::vector<char> buf(kBulkChunk);
        size_t total = 0;
        auto t0 = Clock::now();
        while (total < kBulkBytes) {
            ssize_t n = recv(fd, buf.data(), buf.size(), 0);
            if (n <= 0) break;
            total += static_cast<size_t>(n);
        }
        seconds += Seconds(t0, Clock::now());
        s.Close();
    }
    g_rawBytesPerSecond = kBulkBytes * static_cast<double>(state.iterations()) / seconds;
    state.SetBytesProcessed(static_cast<int64_t>(kBulkBytes * state.iterations()));
    state.counters["MiB_per_s"] = g_rawBytesPerSecond / (1 << 20);
}

void BM_LibraryBulkRead(benchmark::State &state) {
    const Exports *x = Library();
    if (!x) {
        state.SkipWithError("library not loaded");
        return;
    }
    uint32_t module = 0;
    x->Init(nullptr, &module, 100, 100);
    double seconds = 0;
    std::vector<uint8_t> buf(kBulkChunk);
    for (auto _ : state) {
        BulkSender sender;
        uint32_t h = 0;
        if (x->OpenWithTimeout(kModule, &h, "TCP/IP", sender.Address().c_str(), 1000) != XVR_OK) {
            state.SkipWithError("open failed");
            break;
        }
        size_t total = 0;
        auto t0 = Clock::now();
        while (total < kBulkBytes) {
            int32_t n = kBulkChunk;
            int32_t status = x->Read(h, buf.data(), &n, 0);
            total += static_cast<size_t>(n > 0 ? n : 0);
            if (status < 0) break;
        }
        seconds += Seconds(t0, Clock::now());
        x->Close(h);
    }
    x->DeInit(kModule);
    double rate = kBulkBytes * static_cast<double>(state.iterations()) / seconds;
    state.SetBytesProcessed(static_cast<int64_t>(kBulkBytes * state.iterations()));
    state.counters["MiB_per_s"] = rate / (1 << 20);
    if (g_rawBytesPerSecond > 0) {
        state.counters["ratio_to_raw"] = rate / g_rawBytesPerSecond;
        std::printf(
            "ip bulk read: library %.0f MiB/s, raw %.0f MiB/s, ratio %.3f (target >= 0.5)\n",
            rate / (1 << 20), g_rawBytesPerSecond / (1 << 20), rate / g_rawBytesPerSecond);
    }
}

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_OpenCloseCycles(benchmark::State &state) {
    const Exports *x = Library();
    if (!x) {
        state.SkipWithError("library not loaded");
        return;
    }
    TcpListener listener(64);
    const std::string address = listener.Address();
    uint32_t module = 0;
    x->Init(nullptr, &module, 100, 100);
    auto cycle = [&] {
        uint32_t h = 0;
        if (x->OpenWithTimeout(kModule, &h, "TCP/IP", address.c_str(), 1000) != XVR_OK)
            return false;
        PeerSocket peer = listener.Accept(2000);
        peer.Close();
        return x->Close(h) == XVR_CLOSE_RELEASED;
    };
    // Warm up once so that the first allocations do not count as growth.
    for (int i = 0; i < 100; ++i) cycle();
    const int fdsBefore = xvr::test::OpenDescriptorCount();
    const long rssBefore = ResidentKiB();
    int failed = 0;
    for (auto _ : state)
        if (!cycle()) ++failed;
    const int fdGrowth = xvr::test::OpenDescriptorCount() - fdsBefore;
    const long rssGrowth = ResidentKiB() - rssBefore;
    x->DeInit(kModule);
    state.counters["failed"] = failed;
    state.counters["fd_growth"] = fdGrowth;
    state.counters["rss_growth_KiB"] = static_cast<double>(rssGrowth);
    std::printf(
        "ip open/close: %lld cycles, %d failed, descriptors %+d, resident memory %+ld KiB\n",
        static_cast<long long>(state.iterations()), failed, fdGrowth, rssGrowth);
}

BENCHMARK(BM_RawQuery)->Iterations(kQueries)->UseRealTime();
BENCHMARK(BM_LibraryQuery)->Iterations(kQueries)->UseRealTime();
BENCHMARK(BM_RawBulkRead)->Iterations(8)->UseRealTime();
BENCHMARK(BM_LibraryBulkRead)->Iterations(8)->UseRealTime();
BENCHMARK(BM_OpenCloseCycles)->Iterations(10000)->UseRealTime();

}  // namespace
