// query, write, read, get, set: one device, one action.
#include <chrono>
#include <cstdio>
#include <memory>

#include "block.h"
#include "commands.h"
#include "hex.h"
#include "output_file.h"
#include "terminal.h"

namespace xvrcli {

namespace {

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
        std::fprintf(stderr, "\r%llu bytes, %.2f MB/s%s", static_cast<unsigned long long>(bytes),
                     rate, final ? "\n" : "");
        std::fflush(stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    bool m_enabled;
    Clock::time_point m_start, m_last;
};

// Data that goes to a file or stdout as it comes, or (hex) collected for
// rows at the end.
class Output {
public:
    Output(const std::string &name, bool hex)
        : m_file(name.empty() ? nullptr : std::make_unique<OutputFile>(name)),
          m_hex(hex && !m_file),
          m_terminal(!m_file && !m_hex && StdoutIsTerminal()) {
        if (!m_file && !m_hex) BinaryStdout();
    }
    void Add(const std::string &data) {
        if (m_hex) {
            m_collected += data;
        } else if (m_file) {
            m_file->Write(data);
        } else {
            WriteChecked(stdout, m_terminal ? TerminalSafe(data) : data, kStdoutName);
        }
    }
    // What came before a failure is shown too, but a file is only put in
    // place whole.
    void Finish(bool complete) {
        if (m_hex) {
            WriteChecked(stdout, ToHexRows(m_collected), kStdoutName);
        } else if (m_file) {
            if (complete) m_file->Commit();
            return;
        }
        FlushChecked(stdout, kStdoutName);
    }
    bool toFile() const { return static_cast<bool>(m_file); }

private:
    std::unique_ptr<OutputFile> m_file;
    bool m_hex;
    bool m_terminal;  // control bytes escaped
    std::string m_collected;
};

}  // namespace

void CheckData(Options &o) { o.data = o.hexIn ? FromHex(o.args[2]) : o.args[2]; }

void CheckQuery(Options &o) {
    CheckData(o);
    if (!o.output.empty() && !o.block) throw UsageError("--output goes with --block");
}

void CheckGet(Options &o) { CheckGetName(*o.driver, o.args[2]); }

void CheckSet(Options &o) { o.args[3] = CheckSetValue(*o.driver, o.args[2], o.args[3]); }

int RunQuery(const Options &o) {
    if (!o.block) {
        Library library;
        Device device(library, *o.driver, o.args[1], o);
        PrintData(device.Query(o.data), o.hexOut);
        return kExitOk;
    }
    // Hex on a terminal, raw into a pipe or a file; the file is created
    // before the device is opened, so that a bad name costs no transfer.
    Output output(o.output, o.hexOut || (o.output.empty() && StdoutIsTerminal()));
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    device.Write(o.data, true);
    try {
        ReadBlock(device, [&](const std::string &part) { output.Add(part); });
    } catch (...) {
        output.Finish(false);
        throw;
    }
    output.Finish(true);
    return kExitOk;
}

int RunWrite(const Options &o) {
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    device.Write(o.data, !o.raw);
    return kExitOk;
}

namespace {
// What a read over the network waits for may have gone with the
// connection of an earlier run.
int ReadWithHint(const Options &o, int (*read)(const Options &)) {
    try {
        return read(o);
    } catch (const DeviceError &e) {
        const std::string text = e.what();
        const bool connection = o.driver->transport == Transport::Network ||
                                o.driver->transport == Transport::Instrument;
        if (!connection || text.find("timed out") == std::string::npos) throw;
        throw DeviceError(
            text + "\n  Over " + o.driver->name +
            " each xvr run is a new connection: the answer "
            "to a command that an earlier run wrote went with it.  Use 'xvr query' or "
            "'xvr shell'.");
    }
}
int ReadOnce(const Options &o);
}  // namespace

int RunRead(const Options &o) { return ReadWithHint(o, ReadOnce); }

namespace {
int ReadOnce(const Options &o) {
    Output output(o.output, o.hexOut);
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    if (!o.count) {
        const std::string message = device.ReadMessage("a message");
        if (output.toFile()) {
            output.Add(message);
            output.Finish(true);
        } else {
            PrintData(message, o.hexOut);
        }
        return kExitOk;
    }
    Progress progress(output.toFile() && StderrIsTerminal());
    uint64_t done = 0;
    try {
        device.ReadCount(
            *o.count,
            [&](const std::string &part) {
                output.Add(part);
                done += part.size();
                progress.Update(done, false);
            },
            std::to_string(*o.count) + " bytes");
    } catch (...) {
        progress.Update(done, true);
        output.Finish(false);
        throw;
    }
    progress.Update(done, true);
    output.Finish(true);
    return kExitOk;
}
}  // namespace

int RunGet(const Options &o) {
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    const std::string value = device.Get(o.args[2]);
    std::printf("%s\n", value.c_str());
    return kExitOk;
}

int RunSet(const Options &o) {
    Library library;
    Device device(library, *o.driver, o.args[1], o);
    device.Set(o.args[2], o.args[3]);
    return kExitOk;
}

}  // namespace xvrcli
