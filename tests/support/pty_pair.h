// A pseudo-terminal pair for the serial tests and the benchmark (Linux only):
// the library opens the slave path, the test plays the instrument on the
// master.  Every wait is bounded by the caller's time limit.
#pragma once

#ifndef _WIN32

#include <termios.h>

#include <atomic>
#include <string>
#include <thread>

namespace xvr::test {

class PtyPair {
public:
    PtyPair();  // check Ok()
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool Ok() const { return m_master >= 0; }
    const std::string &SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }

    // What the instrument sends; false when the master cannot take it.
    bool Send(const std::string &bytes);
    // Up to n bytes, waiting at most timeoutMs for them all.
    std::string Receive(size_t n, int timeoutMs);
    // The slave's line settings (the master reports the slave's termios).
    termios SlaveSettings() const;
    // The slave's output rate in baud, also for rates without a B constant.
    unsigned SlaveBaudRate() const;
    // Hangs the line up: the slave side then reads and writes with errors.
    void CloseMaster();

private:
    int m_master = -1;
    std::string m_slavePath;
};

// Answers every line ending in '\r' with answer + '\r' until stopped.
class PtyEchoPeer {
public:
    PtyEchoPeer(PtyPair *pty, std::string answer);
    ~PtyEchoPeer();

private:
    void Run();
    PtyPair *m_pty;
    std::string m_answer;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace xvr::test

#endif
