// A pseudo-terminal pair for the serial tests and the benchmark (Linux only):
// the library opens the slave path, the test plays the instrument on the
// master.  Every wait is bounded.
#pragma once

#ifndef _WIN32

#include <termios.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace xvr::test {

class PtyPair {
public:
    PtyPair() { Reopen(); }  // check Ok()
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair &) = delete;

    bool Ok() const { return m_master >= 0; }
    std::string SlavePath() const {
        std::lock_guard<std::mutex> lock(m_pathLock);
        return m_slavePath;
    }
    int Master() const { return m_master; }
    // Closes the pair and opens a new one (with a new slave path).
    bool Reopen();
    // Hangs the line up: the slave side then reads and writes with errors.
    void CloseMaster();

    // What the instrument sends; false when the master cannot take it.
    bool Send(const std::string &bytes);
    // Up to n bytes, waiting at most timeoutMs for them all.
    std::string Receive(size_t n, int timeoutMs);
    // The slave's line settings (the master reports the slave's termios).
    termios SlaveSettings() const;
    // The slave's line in short, e.g. "19200 8 N 2 RTSCTS" (flow NONE,
    // RTSCTS, XONXOFF with the usual characters, else PARTXON).
    std::string Line() const;

private:
    std::atomic<int> m_master{-1};  // the instrument thread may hang up and reopen
    mutable std::mutex m_pathLock;  // the instrument thread may reopen the pair
    std::string m_slavePath;
};

// An instrument on the master side, driven by lines ending in '\r':
//   "DRIP text"  sends the bytes of text 150 ms apart
//   "LINE?"      answers Line()
//   "HANGUP"     closes the master (the slave's transfers then fail), then
//                opens a fresh pair and calls onNewPair with it
// Any other line is answered with the default answer, or else echoed, + '\r'.
class PtyInstrument {
public:
    PtyInstrument(PtyPair *pty, std::string answer = {},
                  std::function<void(PtyPair *)> onNewPair = {});
    ~PtyInstrument();

private:
    void Handle(const std::string &line);
    PtyPair *m_pty;
    std::string m_answer;
    std::function<void(PtyPair *)> m_onNewPair;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace xvr::test

#endif
