// The 17 exports driven by byte-coded call sequences, as a careless host
// might call them: fuzzed handles, names, values and sizes, through drivers
// that need no peer (the tests' loop driver, UDP and TCP towards loopback
// ports nobody answers on, the simulated GPIB bus), with the call log on
// and off.  Every buffer handed over is as large as the size given with it:
// a host that lies about its own buffer is beyond any library's help.
#include <quvxvr.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "base/strings.h"
#include "drivers/ip/ip_driver.h"
#include "fuzz_input.h"
#include "platform/platform.h"
#include "support/loop_driver.h"

namespace {

using xvr::fuzz::Input;

constexpr uint32_t kModule = 0x01000000u;
constexpr size_t kMaxOps = 64;
constexpr int32_t kMaxBuffer = 4096;

const std::string &Directory() {
    static const std::string dir = [] {
        std::string d = "/tmp/xvr-fuzz-exports-" + std::to_string(getpid());
        mkdir(d.c_str(), 0700);
        setenv("XVR_DIR", d.c_str(), 1);
        xvr::test::RegisterLoopDrivers();
        return d;
    }();
    return dir;
}

void WriteParameterFile(uint8_t switches) {
    std::ofstream f(Directory() + "/XVR.XVR", std::ios::trunc);
    f << "[XVR]\nLogFunctions=" << ((switches & 1) ? "Yes" : "No")
      << "\nLogData=" << ((switches & 2) ? "Yes" : "No") << "\n";
}

std::u16string Prepared(const std::string &text) {
    return xvr::TrimBlanks(xvr::ToUpper(xvr::platform::AnsiToWide(text)));
}

// A driver name and an address that reach nothing outside this process:
// network addresses that parse point at loopback ports nobody answers on,
// and the serial driver, which would open real ports, is left out.
bool PickDevice(Input &in, std::string *driver, std::string *address) {
    static const char *const kDrivers[] = {"LOOP", "MANY", "UDP", "TCP/IP", "KX GPIB", "Quv GPIB"};
    const uint8_t pick = in.Byte();
    *driver = pick < 6 * 40 ? kDrivers[pick % 6] : in.Text();
    *address = in.Text();
    const std::u16string name = Prepared(*driver);
    if (name == u"COM") return false;
    std::u16string host;
    uint16_t port = 0;
    if ((name == u"UDP" || name == u"TCP/IP") &&
        xvr::ParseIpAddress(xvr::platform::AnsiToWide(*address), &host, &port))
        *address = name == u"UDP" ? "127.0.0.1:9" : "127.0.0.1:1";
    return true;
}

// A handle that was handed out, or any word.
uint32_t PickHandle(Input &in, const std::vector<uint32_t> &handles) {
    const uint8_t pick = in.Byte();
    if (pick < 200 && !handles.empty()) return handles[pick % handles.size()];
    if (pick >= 230) return in.Word();
    const uint32_t driver = in.Byte();
    return kModule | driver << 16 | in.Byte();
}

// A text, or sometimes no text at all.
struct Text {
    std::string text;
    bool null;
    const char *get() const { return null ? nullptr : text.c_str(); }
};
Text PickText(Input &in) {
    const bool null = in.Byte() == 0xFF;
    return {in.Text(), null};
}

// A size that never exceeds the buffer behind it, or a negative one.
int32_t PickSize(Input &in) {
    const uint8_t kind = in.Byte();
    if (kind == 0xFF) return -static_cast<int32_t>(in.Byte()) - 1;
    return static_cast<int32_t>((kind << 8 | in.Byte()) % (kMaxBuffer + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in(data, size);
    WriteParameterFile(in.Byte());
    std::vector<uint32_t> handles;
    std::vector<uint8_t> buffer(kMaxBuffer + 1);
    std::vector<char> text(kMaxBuffer + 1);
    uint32_t module = 0, count = 0, type = 0, p1 = 0, p2 = 0;
    flXVRInit(nullptr, &module, 100, 100);

    for (size_t op = 0; op < kMaxOps && !in.Empty(); ++op) {
        switch (in.Byte() % 17) {
        case 0: {
            const int32_t act = static_cast<int8_t>(in.Byte()) + 100,
                          min = static_cast<int8_t>(in.Byte()) + 100;
            flXVRInit(nullptr, in.Byte() == 0xFF ? nullptr : &module, act, min);
            break;
        }
        case 1: flXVRDeInit(in.Byte() < 128 ? kModule : in.Word()); break;
        case 2:
        case 3: {
            std::string driver, address;
            if (!PickDevice(in, &driver, &address)) break;
            uint32_t h = 0;
            const int32_t status = in.Byte() < 128
                                       ? flXVROpen(kModule, &h, driver.c_str(), address.c_str())
                                       : flXVROpenWithTimeout(kModule, &h, driver.c_str(),
                                                              address.c_str(), in.Byte() % 20);
            if (status >= 0) {
                handles.push_back(h);
                // Reads wait no longer than a millisecond or two.
                flXVRParamSet(h, "TIMEOUT", "1");
            }
            break;
        }
        case 4: flXVRClose(PickHandle(in, handles)); break;
        case 5: {
            const uint32_t h = PickHandle(in, handles);
            int32_t length = PickSize(in);
            uint8_t *into = in.Byte() == 0xFF ? nullptr : buffer.data();
            flXVRRead(h, into, &length, in.Byte());
            break;
        }
        case 6: {
            const uint32_t h = PickHandle(in, handles);
            std::string bytes = in.Text();
            int32_t length = std::min<int32_t>(PickSize(in), static_cast<int32_t>(bytes.size()));
            bytes.resize(bytes.size() + 1);
            const uint8_t *from =
                in.Byte() == 0xFF ? nullptr : reinterpret_cast<const uint8_t *>(bytes.data());
            flXVRWrite(h, from, &length, in.Byte());
            break;
        }
        case 7: {
            const uint32_t h = PickHandle(in, handles);
            const Text name = PickText(in);
            flXVRParamGet(h, name.get(), text.data(), PickSize(in));
            break;
        }
        case 8: {
            const uint32_t h = PickHandle(in, handles);
            const Text name = PickText(in);
            Text value = PickText(in);
            // A long time-out would only make the fuzzer wait.
            if (!name.null && Prepared(name.text).find(u"TIMEOUT") != std::u16string::npos)
                value.text = std::to_string(in.Byte() % 3);
            flXVRParamSet(h, name.get(), value.get());
            break;
        }
        case 9: {
            const uint32_t ignored = in.Word();
            char *into = in.Byte() == 0xFF ? nullptr : text.data();
            flXVRErrorTextGet(ignored, into, PickSize(in));
            break;
        }
        case 10: flXVRDriverCountGet(kModule, in.Byte() == 0xFF ? nullptr : &count); break;
        case 11: {
            const uint32_t index = in.Word();
            flXVRDriverNameGet(kModule, index, text.data(),
                               static_cast<uint32_t>(PickSize(in)) % (kMaxBuffer + 1));
            break;
        }
        case 12: {
            const Text driver = PickText(in);
            flXVRDriverParamGet(kModule, driver.get(), text.data(),
                                static_cast<uint32_t>(PickSize(in)) % (kMaxBuffer + 1), &type, &p1,
                                &p2);
            break;
        }
        case 13: {
            const Text driver = PickText(in);
            const int32_t index = static_cast<int32_t>(in.Word());
            flXVREnumGet(kModule, driver.get(), index, text.data(),
                         static_cast<uint32_t>(PickSize(in)) % (kMaxBuffer + 1));
            break;
        }
        case 14: flXVRDeviceConfig(); break;
        case 15: flXVRParamSave(); break;
        case 16: flXVRParamLoad(); break;
        }
    }
    // Back to nothing initialised for the next input.
    for (int i = 0; i < 100000 && flXVRDeInit(kModule) == XVR_OK;) ++i;
    return 0;
}
