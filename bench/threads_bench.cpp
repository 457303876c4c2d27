// Parallel efficiency: N threads, each querying its own TCP instrument that
// answers after a fixed delay (as instruments that measure do), against N
// times the rate of one thread alone.  1.0 means the threads never wait for
// each other inside the library.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/host_api.h"
#include "support/ip_peer.h"

namespace {

constexpr int kDelayMs = 5;
constexpr auto kRun = std::chrono::milliseconds(600);

// Queries answered per second by n threads on n devices.
double Rate(const xvr::test::HostApi &x, int n) {
    std::vector<std::unique_ptr<xvr::test::EchoInstrument>> peers;
    std::vector<uint32_t> handles(n);
    for (int i = 0; i < n; ++i) {
        peers.push_back(
            std::make_unique<xvr::test::EchoInstrument>("I" + std::to_string(i), false, kDelayMs));
        x.OpenWithTimeout(XVR_MODULE_HANDLE, &handles[i], "TCP/IP", peers.back()->Address().c_str(),
                          2000);
    }
    std::atomic<long> done{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) {
        threads.emplace_back([&, i] {
            uint8_t buffer[64];
            while (std::chrono::steady_clock::now() - start < kRun) {
                int32_t len = 5;
                x.Write(handles[i], reinterpret_cast<const uint8_t *>("MEAS?"), &len,
                        XVR_WRITE_APPEND_DELIMITER);
                len = sizeof buffer;
                if (x.Read(handles[i], buffer, &len, XVR_READ_STOP_AT_DELIMITER) ==
                    XVR_READ_DELIMITER)
                    ++done;
            }
        });
    }
    for (auto &t : threads) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (uint32_t h : handles) x.Close(h);
    return static_cast<double>(done) / seconds;
}

void ParallelEfficiency(benchmark::State &state) {
    const xvr::test::HostApi *x = xvr::test::LoadHostApi(nullptr);
    if (!x) return state.SkipWithError("library not loaded");
    uint32_t module = 0;
    x->Init(nullptr, &module, XVR_INTERFACE_VERSION, XVR_INTERFACE_VERSION);
    const int n = static_cast<int>(state.range(0));
    double single = 0, parallel = 0;
    for (auto _ : state) {
        single = Rate(*x, 1);
        parallel = Rate(*x, n);
    }
    state.counters["single_qps"] = single;
    state.counters["parallel_qps"] = parallel;
    state.counters["efficiency"] = single > 0 ? parallel / (n * single) : 0;
    x->DeInit(module);
}
BENCHMARK(ParallelEfficiency)->Arg(8)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
