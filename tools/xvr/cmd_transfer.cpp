// query, write, read, get, set: one device, one action.
#include <chrono>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "hex.h"
#include "terminal.h"

namespace xvrcli {

namespace {

std::string DataArgument(const std::string &text, bool hex) { return hex ? FromHex(text) : text; }

// Bytes and rate on stderr, at most five times a second, only on a terminal.
class Progress {
public:
    explicit Progress(bool enabled) : m_enabled(enabled), m_start(Clock::now()), m_last(m_start) {}
    void Update(uint64_t bytes, bool final) {
        if (!m_enabled) return;
        const auto now = Clock::now();
        if (!final && now - m_last < std::chrono::milliseconds(200)) return;
        m_last = now;
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0;
        std::fprintf(stderr, "\r%llu bytes, %.2f MB/s%s", static_cast<unsigned long long>(bytes), rate,
                     final ? "\n" : "");
        std::fflush(stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    bool m_enabled;
    Clock::time_point m_start, m_last;
};

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

}  // namespace

int RunQuery(const Library &library, const Options &o) {
    const std::string command = DataArgument(o.args[2], o.hex);
    Device device(library, o.args[0], o.args[1], o);
    PrintData(device.Query(command), o.hex);
    return kExitOk;
}

int RunWrite(const Library &library, const Options &o) {
    const std::string data = DataArgument(o.args[2], o.hex);
    Device device(library, o.args[0], o.args[1], o);
    device.Write(data, !o.raw);
    return kExitOk;
}

int RunRead(const Library &library, const Options &o) {
    std::unique_ptr<std::FILE, FileCloser> file;
    if (!o.output.empty()) {
        file.reset(std::fopen(o.output.c_str(), "wb"));
        if (!file) throw DeviceError("cannot create " + o.output);
    }
    Device device(library, o.args[0], o.args[1], o);
    if (!o.count) {
        const std::string message = device.ReadMessage();
        if (file) {
            if (std::fwrite(message.data(), 1, message.size(), file.get()) != message.size())
                throw DeviceError("cannot write " + o.output);
        } else {
            PrintData(message, o.hex);
        }
        return kExitOk;
    }
    if (!file && !o.hex) BinaryStdout();
    Progress progress(file && StderrIsTerminal());
    std::string hexCollected;  // --hex to stdout prints one line at the end
    uint64_t done = 0;
    while (done < *o.count) {
        const uint64_t left = *o.count - done;
        const int32_t chunk = static_cast<int32_t>(left < 65536 ? left : 65536);
        const std::string data = device.ReadBytes(chunk, true);
        std::FILE *to = file ? file.get() : stdout;
        if (!file && o.hex) {
            hexCollected += data;
        } else if (std::fwrite(data.data(), 1, data.size(), to) != data.size()) {
            throw DeviceError("cannot write " + (file ? o.output : std::string("stdout")));
        }
        done += data.size();
        progress.Update(done, false);
        if (data.size() < static_cast<size_t>(chunk)) {
            progress.Update(done, true);
            if (!file && o.hex) PrintData(hexCollected, true);
            throw DeviceError("read from " + o.args[0] + " " + o.args[1] + ": time-out after " +
                              std::to_string(done) + " of " + std::to_string(*o.count) + " bytes");
        }
    }
    progress.Update(done, true);
    if (!file && o.hex) PrintData(hexCollected, true);
    std::fflush(stdout);
    return kExitOk;
}

int RunGet(const Library &library, const Options &o) {
    Device device(library, o.args[0], o.args[1], o);
    const std::string value = device.Get(o.args[2]);
    std::printf("%s\n", value.c_str());
    return kExitOk;
}

int RunSet(const Library &library, const Options &o) {
    Device device(library, o.args[0], o.args[1], o);
    device.Set(o.args[2], o.args[3]);
    return kExitOk;
}

}  // namespace xvrcli
