// The VXI-11 driver against scripted servers that misbehave: each fault is
// a clear failure within the time-out, the record stays closable.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/texts.h"
#include "drivers/catalogue.h"
#include "drivers/vxi11/rpc_message.h"
#include "drivers/vxi11/vxi11_driver.h"
#include "drivers/vxi11/vxi11_messages.h"
#include "platform/platform.h"
#include "support/ip_peer.h"
#include "support/test_env.h"

namespace {

using namespace xvr;
using namespace xvr::vxi11;
using test::PeerSocket;
using test::TcpListener;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

std::string Record(const std::vector<uint8_t> &body) {
    std::vector<uint8_t> out(4);
    EncodeRecordMark(static_cast<uint32_t>(body.size()), true, out.data());
    out.insert(out.end(), body.begin(), body.end());
    return std::string(out.begin(), out.end());
}

// An accepted reply with the results the encoder writes.
std::string Reply(uint32_t xid, const std::function<void(XdrWriter &)> &results,
                  AcceptStat stat = kAcceptSuccess) {
    std::vector<uint8_t> body;
    AppendAcceptedReply(&body, xid, stat);
    XdrWriter w(&body);
    if (results) results(w);
    return Record(body);
}

std::string ErrorReply(uint32_t xid, uint32_t code) {
    return Reply(xid, [code](XdrWriter &w) { w.U32(code); });
}

struct Call {
    RpcCall rpc;
    std::vector<uint8_t> record;
    XdrReader Args() const { return XdrReader(rpc.args, rpc.argsSize); }
};

bool ReceiveCall(PeerSocket &peer, Call *call, int ms = 5000) {
    auto read = [&](uint8_t *into, size_t size) {
        const std::string got = peer.Receive(size, ms);
        if (got.size() != size) return false;
        std::copy(got.begin(), got.end(), into);
        return true;
    };
    return ReadRecord(read, 64 << 20, &call->record) == RecordStatus::kOk &&
           ParseCall(call->record.data(), call->record.size(), &call->rpc);
}

// A VXI-11 server in a thread: its portmapper names the core port, the core
// channel creates a link and passes every later call to the script, which
// answers (or not) as the test wants and returns false to stop.
class ScriptedServer {
public:
    using Script = std::function<bool(const Call &, PeerSocket &)>;
    // portmapAnswer: the port the portmapper names, -1 for the core channel's.
    explicit ScriptedServer(Script script, int portmapAnswer = -1) : m_script(std::move(script)) {
        m_dir.WriteParameterFile("[VXI-11]\nPortmapper=" + std::to_string(m_portmapper.Port()) +
                                 "\n");
        m_thread = std::thread([this, portmapAnswer] { Serve(portmapAnswer); });
    }
    ~ScriptedServer() {
        m_stop = true;
        m_thread.join();
    }
    uint16_t AbortPort() const { return m_abort.Port(); }
    PeerSocket AcceptAbort(int ms) { return m_abort.Accept(ms); }

private:
    void Serve(int portmapAnswer) {
        PeerSocket pm = m_portmapper.Accept(5000);
        Call call;
        if (!ReceiveCall(pm, &call)) return;
        pm.Send(Reply(call.rpc.xid, [&](XdrWriter &w) {
            w.U32(portmapAnswer >= 0 ? static_cast<uint32_t>(portmapAnswer) : m_core.Port());
        }));
        if (portmapAnswer >= 0) return;
        PeerSocket core = m_core.Accept(5000);
        if (!core.Valid() || !ReceiveCall(core, &call)) return;
        core.Send(Reply(call.rpc.xid, [&](XdrWriter &w) {
            Encode(CreateLinkResp{0, 7, m_abort.Port(), 4096}, w);
        }));
        while (!m_stop) {
            if (!ReceiveCall(core, &call, 200)) {
                if (!core.WaitForEnd(0)) continue;
                return;
            }
            if (!m_script(call, core)) break;
        }
        while (!m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    test::ScopedXvrDir m_dir;
    TcpListener m_portmapper, m_core, m_abort;
    Script m_script;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class Vxi11DriverTest : public ::testing::Test {
protected:
    CXVR_VXI11 driver;
    uint32_t h = 0;
    std::u16string error;

    int32_t Open() {
        h = 0x01010000;
        error.clear();
        return driver.Open(&h, u"127.0.0.1", 3000, &error);
    }
    int32_t Write(const std::string &data, uint32_t flags = 0) {
        int32_t n = static_cast<int32_t>(data.size());
        error.clear();
        return driver.Write(h, reinterpret_cast<const uint8_t *>(data.data()), &n, flags, &error);
    }
    int32_t Read(std::string *out, int32_t size = 64, uint32_t flags = 0) {
        std::string buffer(static_cast<size_t>(size), '\0');
        int32_t n = size;
        error.clear();
        const int32_t status =
            driver.Read(h, reinterpret_cast<uint8_t *>(buffer.data()), &n, flags, &error);
        out->assign(buffer.data(), static_cast<size_t>(std::max(n, 0)));
        return status;
    }
    int32_t Set(const std::u16string &name, const std::u16string &value) {
        error.clear();
        return driver.ParamSet(h, name, value, &error);
    }
    int32_t Get(const std::u16string &name, std::u16string *value) {
        error.clear();
        return driver.ParamGet(h, name, value, &error);
    }
    std::string Error() const { return platform::WideToAnsi(error); }
    int32_t Close() {
        std::u16string ignored;
        return driver.Close(h, &ignored);
    }
};

TEST_F(Vxi11DriverTest, RpcAndVxi11FailuresAreToldApart) {
    ScriptedServer server([](const Call &c, PeerSocket &p) {
        switch (c.rpc.procedure) {
        case kProcDeviceTrigger: return p.Send(ErrorReply(c.rpc.xid, 8));
        case kProcDeviceClear: return p.Send(ErrorReply(c.rpc.xid, 11));
        case kProcDeviceRemote: return p.Send(Reply(c.rpc.xid, nullptr, kAcceptProcUnavail));
        case kProcDeviceLocal: {
            std::vector<uint8_t> body;
            AppendRpcMismatchReply(&body, c.rpc.xid);
            return p.Send(Record(body));
        }
        case kProcDeviceRead:
            return p.Send(Reply(c.rpc.xid, [](XdrWriter &w) {
                Encode(ReadResp{15, 0, nullptr, 0}, w);
            }));
        case kProcDestroyLink: return p.Send(ErrorReply(c.rpc.xid, 0)), false;
        default: return p.Send(ErrorReply(c.rpc.xid, 0));
        }
    });
    ASSERT_EQ(Open(), kStatusOk) << Error();
    std::u16string value;
    EXPECT_EQ(Get(u"MAXRECV", &value), kStatusOk);
    EXPECT_EQ(value, u"4096");
    EXPECT_EQ(Set(u"MAXRECV", u"1"), kStatusBadValue);
    EXPECT_EQ(Set(u"TRIGGER", u""), kStatusRefused);
    EXPECT_EQ(error, FormatText(kTextRefused,
                                {u"127.0.0.1:inst0", u"VXI-11 error 8: operation not supported"}));
    EXPECT_EQ(Set(u"CLEAR", u""), kStatusLocked);
    EXPECT_EQ(error, FormatText(kTextLocked, {u"127.0.0.1:inst0"}));
    EXPECT_EQ(Set(u"REMOTE", u"REMOTE"), kStatusRefused);
    EXPECT_NE(Error().find("RPC: procedure unavailable"), std::string::npos) << Error();
    EXPECT_EQ(Set(u"REMOTE", u"LOCAL"), kStatusRefused);
    EXPECT_NE(Error().find("RPC: version mismatch"), std::string::npos) << Error();
    EXPECT_EQ(Set(u"REMOTE", u"LOCKOUT"), kStatusBadValue);
    EXPECT_EQ(Set(u"LOCK", u"SHARED:key"), kStatusBadValue);
    EXPECT_EQ(Get(u"BUFFER", &value), kStatusUnknownParam);
    // The server's own time-out is a time-out: -6 without a text.
    std::string got;
    EXPECT_EQ(Read(&got), kStatusTransfer);
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(Close(), kStatusReleased);
}

TEST_F(Vxi11DriverTest, GarbledRepliesBreakTheLinkButNotTheRecord) {
    int round = 0;
    ScriptedServer server([&round](const Call &c, PeerSocket &p) {
        if (c.rpc.procedure != kProcDeviceWrite) return false;
        switch (round++) {
        case 0: return p.Send(ErrorReply(c.rpc.xid + 5, 0));  // a reply to no call
        default: return false;
        }
    });
    ASSERT_EQ(Open(), kStatusOk) << Error();
    EXPECT_EQ(Write("A"), kStatusRefused);
    EXPECT_NE(Error().find("never made"), std::string::npos) << Error();
    // Out of step: the link is gone, every later call says so at once.
    const auto start = Clock::now();
    EXPECT_EQ(Write("B"), kStatusConnectionLost);
    EXPECT_LT(MsSince(start), 100);
    EXPECT_EQ(Close(), kStatusReleased);
}

TEST_F(Vxi11DriverTest, HugeMarkTruncatedRecordAndSilenceEndInTime) {
    int round = 0;
    ScriptedServer server([&round](const Call &c, PeerSocket &p) {
        if (c.rpc.procedure != kProcDeviceRead) return true;
        if (round++ == 0) return p.Send(std::string("\xFF\xFF\xFF\xF0", 4));  // gigabytes announced
        return true;
    });
    ASSERT_EQ(Open(), kStatusOk) << Error();
    ASSERT_EQ(Set(u"TIMEOUT", u"300"), kStatusOk);
    std::string got;
    auto start = Clock::now();
    EXPECT_EQ(Read(&got), kStatusRefused);
    EXPECT_NE(Error().find("RPC reply longer than"), std::string::npos) << Error();
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(Close(), kStatusReleased);

    int reads = 0;
    ScriptedServer second([&reads](const Call &c, PeerSocket &p) {
        if (c.rpc.procedure != kProcDeviceRead) return p.Send(ErrorReply(c.rpc.xid, 0));
        if (reads++ == 0) {
            // Half a record, then nothing.
            const std::string r = Reply(c.rpc.xid, [](XdrWriter &w) {
                Encode(ReadResp{0, 4, nullptr, 0}, w);
            });
            std::string cut(4, '\0');
            EncodeRecordMark(200, true, reinterpret_cast<uint8_t *>(cut.data()));
            return p.Send(cut + r.substr(4));
        }
        return true;  // silence
    });
    ASSERT_EQ(Open(), kStatusOk) << Error();
    ASSERT_EQ(Set(u"TIMEOUT", u"300"), kStatusOk);
    start = Clock::now();
    EXPECT_LT(Read(&got), 0);
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_EQ(Close(), kStatusReleased);
}

TEST_F(Vxi11DriverTest, ATimedOutCallIsAbortedAndItsLateReplyDropped) {
    std::atomic<int> aborts{0};
    uint32_t staleXid = 0;
    bool first = true;
    ScriptedServer *self = nullptr;
    std::thread abortThread;
    ScriptedServer server([&](const Call &c, PeerSocket &p) {
        if (c.rpc.procedure == kProcDeviceRead && first) {
            first = false;
            staleXid = c.rpc.xid;  // answered late, after the next call came
            return true;
        }
        if (c.rpc.procedure == kProcDeviceWrite && staleXid != 0) {
            p.Send(Reply(staleXid, [](XdrWriter &w) {
                const uint8_t late[] = {'L', 'A', 'T', 'E', '\n'};
                Encode(ReadResp{0, 4, late, sizeof late}, w);
            }));
            staleXid = 0;
        }
        if (c.rpc.procedure == kProcDeviceWrite) {
            return p.Send(Reply(c.rpc.xid, [](XdrWriter &w) { Encode(WriteResp{0, 6}, w); }));
        }
        if (c.rpc.procedure == kProcDeviceRead) {
            return p.Send(Reply(c.rpc.xid, [](XdrWriter &w) {
                const uint8_t answer[] = {'O', 'K', '\n'};
                Encode(ReadResp{0, 4, answer, sizeof answer}, w);
            }));
        }
        return p.Send(ErrorReply(c.rpc.xid, 0));
    });
    self = &server;
    abortThread = std::thread([&] {
        PeerSocket a = self->AcceptAbort(5000);
        Call call;
        if (a.Valid() && ReceiveCall(a, &call) && call.rpc.program == kAbortProgram &&
            call.rpc.procedure == kProcDeviceAbort) {
            ++aborts;
            a.Send(ErrorReply(call.rpc.xid, 0));
        }
        a.WaitForEnd(5000);
    });
    ASSERT_EQ(Open(), kStatusOk) << Error();
    ASSERT_EQ(Set(u"TIMEOUT", u"200"), kStatusOk);
    std::string got;
    const auto start = Clock::now();
    EXPECT_EQ(Read(&got, 64, 1), kStatusTransfer);
    EXPECT_TRUE(error.empty());
    EXPECT_LT(MsSince(start), 2500);
    EXPECT_EQ(aborts.load(), 1);
    // The late reply comes before this write's; it is dropped.
    EXPECT_EQ(Write("*IDN?\n"), kStatusOk) << Error();
    EXPECT_EQ(Read(&got, 64, 1), kStatusDelimiter) << Error();
    EXPECT_EQ(got, "OK");
    EXPECT_EQ(Close(), kStatusReleased);
    abortThread.join();
}

TEST_F(Vxi11DriverTest, ReadsEndAtEndDelimiterOrFullBufferAndKeepTheRest) {
    std::vector<std::string> answers = {"0123456789", "AB\nCD", "tail"};
    size_t next = 0;
    std::vector<uint32_t> requests;
    ScriptedServer server([&](const Call &c, PeerSocket &p) {
        if (c.rpc.procedure != kProcDeviceRead) return p.Send(ErrorReply(c.rpc.xid, 0));
        ReadParms parms;
        XdrReader args = c.Args();
        Decode(args, &parms);
        requests.push_back(parms.requestSize);
        // Over-delivers: the whole answer whatever the request.
        const std::string &a = answers[std::min(next++, answers.size() - 1)];
        return p.Send(Reply(c.rpc.xid, [&](XdrWriter &w) {
            Encode(ReadResp{0, kReasonEnd, reinterpret_cast<const uint8_t *>(a.data()), a.size()},
                   w);
        }));
    });
    ASSERT_EQ(Open(), kStatusOk) << Error();
    std::string got;
    EXPECT_EQ(Read(&got, 4), kStatusBufferFull);
    EXPECT_EQ(got, "0123");
    EXPECT_EQ(Read(&got, 64), kStatusDelimiter);  // the kept rest, ending at END
    EXPECT_EQ(got, "456789");
    EXPECT_EQ(Read(&got, 64, 1), kStatusDelimiter);
    EXPECT_EQ(got, "AB");
    EXPECT_EQ(Read(&got, 64, 1 | 4), kStatusDelimiter);  // END without a delimiter
    EXPECT_EQ(got, "CD");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], 4u);
    EXPECT_EQ(Close(), kStatusReleased);
}

TEST_F(Vxi11DriverTest, LargeRepliesGoStraightToTheHostAndKeepWhatDoesNotFit) {
    // 300000 bytes in one reply, a line end at 150000, whatever was asked.
    std::string big(300000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 23);
    big[150000] = '\n';
    ScriptedServer server([&](const Call &c, PeerSocket &p) {
        if (c.rpc.procedure != kProcDeviceRead) return p.Send(ErrorReply(c.rpc.xid, 0));
        return p.Send(Reply(c.rpc.xid, [&](XdrWriter &w) {
            Encode(
                ReadResp{0, kReasonEnd, reinterpret_cast<const uint8_t *>(big.data()), big.size()},
                w);
        }));
    });
    ASSERT_EQ(Open(), kStatusOk) << Error();
    std::string got;
    EXPECT_EQ(Read(&got, 100000), kStatusBufferFull);
    EXPECT_EQ(got, big.substr(0, 100000));
    EXPECT_EQ(Read(&got, 200000, 1), kStatusDelimiter);  // from what was kept
    EXPECT_EQ(got, big.substr(100000, 50000));
    EXPECT_EQ(Read(&got, 200000), kStatusDelimiter);  // END
    EXPECT_EQ(got, big.substr(150001));
    // In place, with the delimiter inside: the rest is kept in order.
    EXPECT_EQ(Read(&got, 250000, 1), kStatusDelimiter);
    EXPECT_EQ(got, big.substr(0, 150000));
    EXPECT_EQ(Read(&got, 250000, 0), kStatusDelimiter);
    EXPECT_EQ(got, big.substr(150001));
    EXPECT_EQ(Close(), kStatusReleased);
}

TEST_F(Vxi11DriverTest, ServiceRequestsAreKeptAndRefusedWithoutAChannel) {
    std::atomic<uint16_t> interruptPort{0};
    bool refuse = true;
    std::string handle;
    ScriptedServer server([&](const Call &c, PeerSocket &p) {
        XdrReader args = c.Args();
        switch (c.rpc.procedure) {
        case kProcCreateIntrChan: {
            RemoteFunc f;
            Decode(args, &f);
            if (refuse) return p.Send(ErrorReply(c.rpc.xid, kErrNoChannel));
            interruptPort = static_cast<uint16_t>(f.hostPort);
            return p.Send(ErrorReply(c.rpc.xid, 0));
        }
        case kProcDeviceEnableSrq: {
            EnableSrqParms e;
            Decode(args, &e);
            handle = e.handle;
            return p.Send(ErrorReply(c.rpc.xid, 0));
        }
        case kProcDeviceReadStb:
            return p.Send(Reply(c.rpc.xid, [](XdrWriter &w) { Encode(ReadStbResp{0, 0x50}, w); }));
        default: return p.Send(ErrorReply(c.rpc.xid, 0));
        }
    });
    ASSERT_EQ(Open(), kStatusOk) << Error();
    EXPECT_EQ(Set(u"SRQ", u"ENABLE"), kStatusRefused);
    refuse = false;
    ASSERT_EQ(Set(u"SRQ", u"ENABLE"), kStatusOk) << Error();
    ASSERT_NE(interruptPort.load(), 0);
    PeerSocket interrupt = test::ConnectLoopback(interruptPort);
    std::vector<uint8_t> call;
    AppendCallHeader(&call, 1, kInterruptProgram, kVxi11Version, kProcDeviceIntrSrq);
    XdrWriter w(&call);
    Encode(SrqParms{handle}, w);
    ASSERT_TRUE(interrupt.Send(Record(call)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // It came while nobody waited: kept, and the next get answers at once.
    EXPECT_EQ(Set(u"TIMEOUT", u"300"), kStatusOk);
    std::u16string value;
    auto start = Clock::now();
    EXPECT_EQ(Get(u"SRQ", &value), kStatusOk) << Error();
    EXPECT_EQ(value, u"80");
    EXPECT_LT(MsSince(start), 200);
    start = Clock::now();
    EXPECT_EQ(Get(u"SRQ", &value), kStatusTransfer);
    EXPECT_GE(MsSince(start), 250);
    EXPECT_EQ(Close(), kStatusReleased);
}

TEST_F(Vxi11DriverTest, APortmapperWithoutTheProgramRefusesTheOpen) {
    {
        ScriptedServer server([](const Call &, PeerSocket &) { return false; }, 0);
        EXPECT_EQ(Open(), kStatusRefused);
        EXPECT_NE(Error().find("no VXI-11 core channel registered"), std::string::npos) << Error();
    }
    ScriptedServer server([](const Call &, PeerSocket &) { return false; }, 1);
    EXPECT_EQ(Open(), kStatusOpenFailed);  // port 1: nothing listens
    EXPECT_FALSE(driver.HasOpenDevices());
}

}  // namespace

namespace {

TEST(Vxi11Catalogue, ListedOnlyWhenTheParameterFileAsksForAll) {
    using namespace xvr;
    test::ScopedXvrDir dir;
    std::u16string error;
    uint32_t count = 0;
    char name[16] = {};
    ASSERT_EQ(CatalogueDriverCount(XVR_MODULE_HANDLE, &count, &error), kStatusOk);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(CatalogueDriverName(XVR_MODULE_HANDLE, 4, name, sizeof name, &error),
              kStatusDriverIndex);
    dir.WriteParameterFile("[XVR]\nCatalogue=ALL\n");
    ASSERT_EQ(CatalogueDriverCount(XVR_MODULE_HANDLE, &count, &error), kStatusOk);
    EXPECT_GE(count, 5u);
    ASSERT_EQ(CatalogueDriverName(XVR_MODULE_HANDLE, 4, name, sizeof name, &error), kStatusOk);
    EXPECT_STREQ(name, "VXI-11");
    // By name it always answers.
    dir.WriteParameterFile("");
    uint32_t type = 0, max = 0, zero = 1;
    ASSERT_EQ(CatalogueDriverParam(XVR_MODULE_HANDLE, "VXI-11", name, sizeof name, &type, &max,
                                   &zero, &error),
              kStatusOk);
    EXPECT_STREQ(name, "Instrument");
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(max, 255u);
    EXPECT_EQ(zero, 0u);
}

}  // namespace
