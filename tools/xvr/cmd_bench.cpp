// xvr bench: query latency percentiles and throughput of a device.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "commands.h"

namespace xvrcli {

namespace {
constexpr uint64_t kDefaultQueries = 1000;
constexpr int kWarmUp = 10;

double Percentile(const std::vector<double> &sorted, double p) {
    const size_t index = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}
}  // namespace

int RunBench(const Options &o) {
    const uint64_t queries = o.count.value_or(kDefaultQueries);
    if (queries > 10000000) throw UsageError("--count is limited to 10000000 queries");
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    const std::string &command = o.data;
    for (int i = 0; i < kWarmUp; ++i) device.Query(command);

    using Clock = std::chrono::steady_clock;
    std::vector<double> latencies;
    latencies.reserve(queries);
    uint64_t answerBytes = 0;
    const auto start = Clock::now();
    for (uint64_t i = 0; i < queries; ++i) {
        const auto t0 = Clock::now();
        answerBytes += device.Query(command).size();
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(latencies.begin(), latencies.end());
    std::printf("queries     %llu\n", static_cast<unsigned long long>(queries));
    std::printf("p50         %.1f us\n", Percentile(latencies, 0.50));
    std::printf("p99         %.1f us\n", Percentile(latencies, 0.99));
    std::printf("max         %.1f us\n", latencies.back());
    std::printf("throughput  %.0f queries/s, %.3f MB/s of answers\n",
                static_cast<double>(queries) / seconds,
                static_cast<double>(answerBytes) / seconds / 1e6);
    return kExitOk;
}

}  // namespace xvrcli
