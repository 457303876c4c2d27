// xvr-scale: what one open and one close cost with many devices open, through
// the exports, against the same with 9 devices open.  With a driver that
// needs no system resource (the tests' loop driver) up to the 60,000th
// device, and with UDP up to the descriptor limit.  Prints the rows of
// xvr-compare (name, unit, figure at scale, "10th device", figure at 10).
//
//   xvr-scale [-n REPEATS]
#include <sys/resource.h>

#include <quvxvr.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/loop_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string &what) {
    std::fprintf(stderr, "xvr-scale: %s\n", what.c_str());
    std::exit(1);
}

uint32_t Open(uint32_t module, const char *driver, const std::string &address) {
    uint32_t device = 0;
    const int32_t status = flXVROpen(module, &device, driver, address.c_str());
    if (status < 0)
        Fail(std::string("open ") + driver + " " + address + ": status " + std::to_string(status));
    return device;
}

double Micros(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

double Median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

struct Cost {
    double open, close;
};

// The median cost of opening and closing the device that takes number
// `at`, with at - 1 devices open beside it.  Each driver fills its numbers
// from 1, so the device opened after them gets number `at`.
// `fill` names the i-th of the devices opened beside it.
using Fill = std::string (*)(size_t i);

Cost CostAt(uint32_t module, const char *driver, const std::string &address, Fill fill, int at,
            int repeats, std::vector<uint32_t> *open) {
    while (static_cast<int>(open->size()) < at - 1)
        open->push_back(Open(module, driver, fill(open->size())));
    std::vector<double> opens, closes;
    for (int i = 0; i < repeats; ++i) {
        uint32_t device = 0;
        const auto t0 = Clock::now();
        const int32_t status = flXVROpen(module, &device, driver, address.c_str());
        const auto t1 = Clock::now();
        if (status < 0 || (device & 0xFFFF) != static_cast<uint32_t>(at))
            Fail("unexpected device number");
        flXVRClose(device);
        const auto t2 = Clock::now();
        opens.push_back(Micros(t0, t1));
        closes.push_back(Micros(t1, t2));
    }
    return {Median(opens), Median(closes)};
}

void Rows(const char *what, uint32_t module, const char *driver, const std::string &address,
          Fill fill, int far, int repeats) {
    std::vector<uint32_t> open;
    const Cost near = CostAt(module, driver, address, fill, 10, repeats, &open);
    const Cost atScale = CostAt(module, driver, address, fill, far, repeats, &open);
    for (uint32_t device : open) flXVRClose(device);
    const std::string at = ", device " + std::to_string(far) + " (" + what + ")";
    std::printf("Open%s\tus\t%.2f\t10th device\t%.2f\n", at.c_str(), atScale.open, near.open);
    std::printf("Close%s\tus\t%.2f\t10th device\t%.2f\n", at.c_str(), atScale.close, near.close);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
    int repeats = 2000;
    if (argc == 3 && std::string(argv[1]) == "-n")
        repeats = std::max(11, std::atoi(argv[2]));
    else if (argc != 1)
        Fail("usage: xvr-scale [-n REPEATS]");
    xvr::test::RegisterLoopDrivers();
    uint32_t module = 0;
    if (flXVRInit(nullptr, &module, 100, 100) != XVR_OK) Fail("flXVRInit failed");

    // The loop driver shares a record per address: each address is a device.
    Rows(
        "loop driver", module, "LOOP", "PROBE", [](size_t i) { return "D" + std::to_string(i); },
        60000, repeats);

    // Every UDP open is a socket of its own, wherever it points; leave room
    // for the descriptors the process already has.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
    const int udpDevices = static_cast<int>(std::min<rlim_t>(files.rlim_cur - 100, 60000));
    if (udpDevices > 100)
        Rows(
            "UDP", module, "UDP", "127.0.0.1:9", [](size_t) { return std::string("127.0.0.1:9"); },
            udpDevices, repeats / 4);
    return flXVRDeInit(module) == XVR_OK ? 0 : 1;
}
