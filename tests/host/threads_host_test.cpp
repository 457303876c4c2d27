// Many threads through the exports, as a test bench drives several
// instruments at once.  Every answer carries its instrument's name and its
// query's number, so an answer handed to the wrong thread, or out of order,
// fails the test.  Each loop is bounded in count and time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/host_fixture.h"
#include "support/ip_peer.h"
#include "support/pty_pair.h"
#include "support/test_env.h"

namespace {

using xvr::test::EchoInstrument;
using xvr::test::Host;
using Clock = std::chrono::steady_clock;

// One query and its answer: 0 and the answer, or the failing status.
int32_t Query(uint32_t h, const std::string &command, std::string *answer) {
    int32_t n = static_cast<int32_t>(command.size());
    int32_t status = Host().Write(h, reinterpret_cast<const uint8_t *>(command.data()), &n,
                                  XVR_WRITE_APPEND_DELIMITER);
    if (status != XVR_OK) return status;
    uint8_t buffer[256];
    n = sizeof buffer;
    status = Host().Read(h, buffer, &n, XVR_READ_STOP_AT_DELIMITER);
    answer->assign(reinterpret_cast<char *>(buffer), n < 0 ? 0 : static_cast<size_t>(n));
    return status == XVR_READ_DELIMITER ? XVR_OK : status;
}

class ThreadsHost : public xvr::test::InitializedHost {
protected:
    uint32_t Open(const char *driver, const std::string &address) {
        uint32_t h = 0;
        EXPECT_EQ(Host().OpenWithTimeout(kModule, &h, driver, address.c_str(), 2000), XVR_OK)
            << driver << " " << address << ": " << Host().ErrorText();
        return h;
    }
};

TEST_F(ThreadsHost, InstrumentsInParallelKeepTheirAnswers) {
    struct Instrument {
        const char *driver;
        std::string address;
        std::string prefix;  // what the instrument puts before the echoed query
    };
    std::vector<std::unique_ptr<EchoInstrument>> peers;
    std::vector<Instrument> instruments;
    for (int i = 0; i < 6; ++i) {
        const bool udp = i >= 4;
        const std::string name = (udp ? "UDP" : "TCP") + std::to_string(i);
        peers.push_back(std::make_unique<EchoInstrument>(name, udp));
        instruments.push_back({udp ? "UDP" : "TCP/IP", peers.back()->Address(), name + ":"});
    }
    // The simulated bus echoes queries.
    instruments.push_back({"KX GPIB", "Dev 5", ""});
#ifndef _WIN32
    xvr::test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    xvr::test::PtyInstrument serial(&pty);
    instruments.push_back({"COM", pty.SlavePath(), ""});
#endif

    const auto until = Clock::now() + std::chrono::seconds(2);
    std::atomic<int> failures{0}, queries{0};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < instruments.size(); ++t) {
        threads.emplace_back([&, t] {
            const Instrument &in = instruments[t];
            const uint32_t h = Open(in.driver, in.address);
            // The serial instrument answers lines ending in its delimiter.
            if (std::string(in.driver) == "COM") Host().ParamSet(h, "DELIMITER", "\\0D");
            for (int seq = 0; seq < 400 && Clock::now() < until; ++seq) {
                const std::string q = "Q" + std::to_string(t) + "-" + std::to_string(seq) + "?";
                std::string answer;
                const int32_t status = Query(h, q, &answer);
                if (status != XVR_OK || answer != in.prefix + q) {
                    ADD_FAILURE() << in.driver << " " << q << " -> " << status << " [" << answer
                                  << "]";
                    if (++failures > 5) break;
                }
                ++queries;
            }
            // The device of instrument 0 is shared with the thread below.
            EXPECT_GE(Host().Close(h), XVR_OK);
        });
    }
    // Meanwhile: opens and closes of the same and of other devices, the
    // catalogue, and the error text, none of which may disturb the queries.
    threads.emplace_back([&] {
        while (Clock::now() < until) {
            uint32_t shared = 0, udp = 0, gpib = 0, count = 0;
            ASSERT_EQ(Host().OpenWithTimeout(kModule, &shared, "TCP/IP",
                                             instruments[0].address.c_str(), 2000),
                      XVR_OK);
            ASSERT_EQ(
                Host().OpenWithTimeout(kModule, &udp, "UDP", instruments[5].address.c_str(), 2000),
                XVR_OK);
            ASSERT_EQ(Host().Open(kModule, &gpib, "KX GPIB", "Dev 9"), XVR_OK);
            EXPECT_EQ(Host().DriverCountGet(kModule, &count), XVR_OK);
            EXPECT_GE(Host().Close(shared), XVR_OK);  // 0 while the query thread holds it
            EXPECT_EQ(Host().Close(udp), XVR_CLOSE_RELEASED);
            EXPECT_EQ(Host().Close(gpib), XVR_CLOSE_RELEASED);
        }
    });
    threads.emplace_back([&] {
        uint32_t h = 0;
        char text[512];
        while (Clock::now() < until) {
            EXPECT_EQ(Host().Open(kModule, &h, "LPT", "1"), XVR_ERR_UNKNOWN_DRIVER);
            Host().ErrorTextGet(0, text, sizeof text);
            // This thread's own last call failed: its text, whatever the others did.
            EXPECT_NE(std::string(text).find(">LPT<"), std::string::npos) << text;
        }
    });
    for (auto &t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(queries.load(), static_cast<int>(instruments.size()));
}

TEST_F(ThreadsHost, SimultaneousOpensOfOneAddressShareOneConnection) {
    EchoInstrument peer("ONE", false);
    constexpr int kThreads = 4;
    std::vector<uint32_t> handles(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (++ready; ready < kThreads;) std::this_thread::yield();
            handles[i] = Open("TCP/IP", peer.Address());
        });
    }
    for (auto &t : threads) t.join();
    for (uint32_t h : handles) EXPECT_EQ(h, handles[0]);
    std::string answer;
    EXPECT_EQ(Query(handles[0], "ID?", &answer), XVR_OK);
    EXPECT_EQ(answer, "ONE:ID?");
    for (int i = 1; i < kThreads; ++i) EXPECT_EQ(Host().Close(handles[i]), XVR_OK);
    EXPECT_EQ(Host().Close(handles[0]), XVR_CLOSE_RELEASED);
}

TEST_F(ThreadsHost, TwoThreadsOnOneDeviceNeverSplitACall) {
    EchoInstrument peer("ONE", false);
    const uint32_t h = Open("TCP/IP", peer.Address());
    // Each thread's write and read are calls of their own: an answer may go
    // to either thread, but always whole.
    std::atomic<int> bad{0};
    auto worker = [&](char who) {
        for (int seq = 0; seq < 200; ++seq) {
            const std::string q = std::string(1, who) + std::to_string(seq) + std::string(200, who);
            int32_t n = static_cast<int32_t>(q.size());
            if (Host().Write(h, reinterpret_cast<const uint8_t *>(q.data()), &n,
                             XVR_WRITE_APPEND_DELIMITER) != XVR_OK)
                ++bad;
            uint8_t buffer[512];
            n = sizeof buffer;
            if (Host().Read(h, buffer, &n, XVR_READ_STOP_AT_DELIMITER) != XVR_READ_DELIMITER) ++bad;
            const std::string answer(reinterpret_cast<char *>(buffer),
                                     n < 0 ? 0 : static_cast<size_t>(n));
            const char of = answer.size() > 4 ? answer[4] : '?';
            if (answer.size() < 205 ||
                answer.find_first_not_of(of, answer.size() - 200) != std::string::npos)
                ++bad;
        }
    };
    std::thread a(worker, 'a'), b(worker, 'b');
    a.join();
    b.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

TEST_F(ThreadsHost, CloseAndDeInitWaitForACallInProgress) {
    xvr::test::TcpListener silent;  // accepts, never answers
    for (bool deInit : {false, true}) {
        const uint32_t h = Open("TCP/IP", silent.Address());
        ASSERT_EQ(Host().ParamSet(h, "TIMEOUT", "300"), XVR_OK);
        std::atomic<int32_t> status{1000};
        std::thread reader([&] {
            uint8_t buffer[16];
            int32_t n = sizeof buffer;
            status = Host().Read(h, buffer, &n, XVR_READ_STOP_AT_DELIMITER);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (deInit) {
            EXPECT_EQ(Host().DeInit(kModule), XVR_OK);
            uint32_t module = 0;
            ASSERT_EQ(Host().Init(nullptr, &module, 100, 100), XVR_OK);
        } else {
            EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
        }
        reader.join();
        // The read ran whole: its own time-out ended it.
        EXPECT_EQ(status.load(), XVR_ERR_TRANSFER);
        EXPECT_EQ(Host().Close(h), XVR_ERR_BAD_HANDLE);
    }
}

}  // namespace
