// A simulated GPIB bus with an instrument at every primary address 0-30.
//
// An instrument takes each message sent to it as one command.  Its answer,
// ready after the control file's delay, is followed by the CR/LF bytes that
// ended the command and marked as the end of a message:
//   "*IDN?"      XVR-SIMBUS,DEV<primary>,<secondary>,1.0
//   "TRIGGERS?"  the number of triggers since the device was opened
//   "DATA? <n>"  n bytes "ABC...ZABC..." (at most 1000000)
//   other text with a '?': the message itself, echoed
// Anything else is a command without an answer.  With "instrument FILE" in
// the control file, every instrument answers as that xvr-sim instrument file
// describes instead, with a state of its own from iecOpen on; a file that
// does not parse makes iecOpen fail and the reason goes to stderr and the
// log.  iecEnter hands out the queued answers, ending at the end of a
// message, after the end byte when asked, or empty when the time-out passes
// first.  The call log also gets
// "load" and "unload" when the library is loaded and unloaded.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "instrument.h"
#include "quviec.h"
#include "simbus_control.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kHighestPrimary = 30;
constexpr size_t kMaxDataAnswer = 1000000;

struct Message {
    std::string bytes;
    size_t taken = 0;
    Clock::time_point ready;
};

struct Instrument {
    bool open = false;
    uint8_t endByteOn = 0;
    uint8_t endByte = 0x0D;
    uint16_t timeoutMs = 1000;
    uint32_t triggers = 0;
    std::deque<Message> output;
    std::unique_ptr<xvrsim::Instrument> fromFile;  // the control file's instrument, if any
};

struct Bus {
    bool initialised = false;
    std::map<uint16_t, Instrument> instruments;
};

Bus &TheBus() {
    static Bus bus;
    return bus;
}

uint8_t Primary(uint16_t address) { return static_cast<uint8_t>(address & 0xFF); }

std::string Number(uint32_t value) { return std::to_string(value); }

std::string Answer(const std::string &command, uint16_t address, const Instrument &device) {
    if (command == "*IDN?")
        return "XVR-SIMBUS,DEV" + Number(Primary(address)) + "," + Number(address >> 8) + ",1.0";
    if (command == "TRIGGERS?") return Number(device.triggers);
    if (command.compare(0, 6, "DATA? ") == 0) {
        size_t n = std::min<size_t>(std::strtoul(command.c_str() + 6, nullptr, 10), kMaxDataAnswer);
        std::string data(n, 'A');
        for (size_t i = 0; i < n; ++i) data[i] = static_cast<char>('A' + i % 26);
        return data;
    }
    return command;
}

// The instrument described by the control's file; false, with the reason
// logged, when the file cannot be read or parsed.
bool LoadModel(const simbus::Control &control, Instrument *device) {
    if (control.instrumentFile.empty()) return true;
    std::ifstream in(control.instrumentFile);
    xvrsim::InstrumentModel model;
    std::string error = "cannot read the file";
    if (in && xvrsim::ParseInstrument(in, &model, &error)) {
        device->fromFile = std::make_unique<xvrsim::Instrument>(std::move(model));
        return true;
    }
    const std::string why = "instrument " + control.instrumentFile + ": " + error;
    std::fprintf(stderr, "xvr-simbus: %s\n", why.c_str());
    simbus::Record(control, why);
    return false;
}

// The answer to one command and when it is ready, or nothing.
std::optional<Message> Reply(const simbus::Control &control, const std::string &command,
                             uint16_t address, const Instrument &device) {
    Message answer;
    uint32_t delayMs = control.delayMs;
    if (device.fromFile) {
        auto reply = device.fromFile->Handle(command);
        if (!reply) return std::nullopt;
        answer.bytes = std::move(reply->data);
        delayMs += reply->delayMs;
    } else {
        if (command.find('?') == std::string::npos) return std::nullopt;
        answer.bytes = Answer(command, address, device);
    }
    answer.ready = Clock::now() + std::chrono::milliseconds(delayMs);
    return answer;
}

// Marks loading and unloading in the call log, so that a test can tell that
// a refused library did not stay loaded.
struct LoadMarker {
    LoadMarker() { simbus::Record(simbus::ReadControl(), "load"); }
    ~LoadMarker() { simbus::Record(simbus::ReadControl(), "unload"); }
} g_LoadMarker;

}  // namespace

extern "C" {

IEC_API uint8_t IEC_CALL iecCInit(uint8_t interfaceIndex, const char *baseAddress) {
    const simbus::Control control = simbus::ReadControl();
    simbus::Record(control, "iecCInit " + Number(interfaceIndex) + " [" +
                                (baseAddress ? std::string(baseAddress) : "(null)") + "]");
    if (control.Fails("iecCInit") || !baseAddress) return 0;
    TheBus().initialised = true;
    return 1;
}

IEC_API uint8_t IEC_CALL iecOpen(uint16_t address, uint16_t mode) {
    const simbus::Control control = simbus::ReadControl();
    simbus::Record(control, "iecOpen " + Number(address) + " " + Number(mode));
    if (!control.error.empty()) {
        std::fprintf(stderr, "xvr-simbus: %s\n", control.error.c_str());
        return 0;
    }
    if (control.Fails("iecOpen") || !TheBus().initialised) return 0;
    if (Primary(address) > kHighestPrimary) return 0;
    // Opening clears the device, so nothing of an earlier session is left.
    Instrument fresh;
    if (!LoadModel(control, &fresh)) return 0;
    Instrument &device = TheBus().instruments[address];
    device = std::move(fresh);
    device.open = true;
    return 1;
}

IEC_API uint8_t IEC_CALL iecClose(uint16_t address) {
    const simbus::Control control = simbus::ReadControl();
    simbus::Record(control, "iecClose " + Number(address));
    if (control.Fails("iecClose")) return 0;
    TheBus().instruments.erase(address);
    return 1;
}

IEC_API uint8_t IEC_CALL iecSend(uint16_t address, uint16_t count, const uint8_t *data) {
    const simbus::Control control = simbus::ReadControl();
    simbus::Record(control, "iecSend " + Number(address) + " " + Number(count) + " " +
                                (data ? simbus::Printable(data, count) : "(null)"));
    if (control.Fails("iecSend") || (!data && count > 0)) return 0;
    auto it = TheBus().instruments.find(address);
    if (it == TheBus().instruments.end() || !it->second.open) return 0;
    Instrument &device = it->second;

    std::string message(reinterpret_cast<const char *>(data), count);
    size_t end = message.find_last_not_of("\r\n");
    end = end == std::string::npos ? 0 : end + 1;
    const std::string command = message.substr(0, end);
    auto answer = Reply(control, command, address, device);
    if (!answer) return 1;
    answer->bytes += message.substr(end);  // the line end of the command
    device.output.push_back(std::move(*answer));
    return 1;
}

IEC_API uint8_t IEC_CALL iecEnter(uint16_t address, uint16_t *count, uint8_t *buffer) {
    const simbus::Control control = simbus::ReadControl();
    if (!count) return 0;
    const uint16_t asked = *count;
    simbus::Record(control, "iecEnter " + Number(address) + " " + Number(asked));
    *count = 0;
    if (control.Fails("iecEnter")) return 0;
    auto it = TheBus().instruments.find(address);
    if (it == TheBus().instruments.end() || !it->second.open) return 0;
    Instrument &device = it->second;
    if (asked == 0 || !buffer) return 1;

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(device.timeoutMs);
    if (device.output.empty() || device.output.front().ready > deadline) {
        // Nothing will arrive within the time-out.
        std::this_thread::sleep_until(deadline);
        return 0;
    }
    Message &message = device.output.front();
    std::this_thread::sleep_until(message.ready);
    uint16_t got = 0;
    while (got < asked && message.taken < message.bytes.size()) {
        const uint8_t byte = static_cast<uint8_t>(message.bytes[message.taken++]);
        buffer[got++] = byte;
        if (device.endByteOn && byte == device.endByte) break;
    }
    if (message.taken == message.bytes.size()) device.output.pop_front();
    *count = static_cast<uint16_t>(std::min<uint32_t>(got + control.overreport, 0xFFFF));
    return 1;
}

IEC_API uint8_t IEC_CALL iecParameter(uint16_t address, uint8_t mode, uint8_t endByteOn,
                                      uint8_t endByte, uint16_t timeoutMs) {
    const simbus::Control control = simbus::ReadControl();
    simbus::Record(control, "iecParameter " + Number(address) + " " + Number(mode) + " " +
                                Number(endByteOn) + " " + Number(endByte) + " " +
                                Number(timeoutMs));
    if (control.Fails("iecParameter")) return 0;
    auto it = TheBus().instruments.find(address);
    if (it == TheBus().instruments.end()) return 0;
    it->second.endByteOn = endByteOn;
    it->second.endByte = endByte;
    it->second.timeoutMs = timeoutMs;
    return 1;
}

IEC_API uint8_t IEC_CALL iecCTrigger(const char *addresses) {
    const simbus::Control control = simbus::ReadControl();
    std::string line = "iecCTrigger";
    for (const char *p = addresses; p && *p; ++p) line += " " + Number(static_cast<uint8_t>(*p));
    simbus::Record(control, line);
    if (control.Fails("iecCTrigger") || !addresses) return 0;
    for (auto &entry : TheBus().instruments) {
        for (const char *p = addresses; *p; ++p)
            if (entry.second.open && Primary(entry.first) == static_cast<uint8_t>(*p))
                ++entry.second.triggers;
    }
    return 1;
}

#ifndef SIMBUS_WITHOUT_DEINIT
IEC_API uint8_t IEC_CALL iecDeinit(void) {
    const simbus::Control control = simbus::ReadControl();
    simbus::Record(control, "iecDeinit");
    if (control.Fails("iecDeinit")) return 0;
    TheBus() = Bus();
    return 1;
}
#endif

}  // extern "C"
