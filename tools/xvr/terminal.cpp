#include "terminal.h"

#include <csignal>
#include <cstdio>
#include <iostream>

#include "system.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifdef XVR_HAVE_READLINE
#include <readline/history.h>
#include <readline/readline.h>
#include <cstdlib>
#endif

namespace xvrcli {

namespace {

#ifdef _WIN32
bool IsTerminal(FILE *f) { return _isatty(_fileno(f)) != 0; }

volatile LONG g_interrupted = 0;
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;  // not the end of the program: the prompt starts over
}
#else
bool IsTerminal(FILE *f) { return isatty(fileno(f)) != 0; }
#endif

#ifdef XVR_HAVE_READLINE
constexpr int kHistoryLines = 1000;

std::string HistoryFile() {
    const std::string home = GetEnv("HOME");
    return home.empty() ? "" : home + "/.xvr_history";
}

// Runs after readline has restored the terminal for the signal: an empty
// line under a fresh prompt, and readline goes on reading.
void ClearLine(int) {
    std::fputc('\n', stdout);
    rl_on_new_line();
    rl_replace_line("", 0);
    rl_redisplay();
}

bool ReadlineLine(const std::string &prompt, std::string *line) {
    static const std::string history = HistoryFile();
    static bool loaded = false;
    if (!loaded && !history.empty()) {
        stifle_history(kHistoryLines);
        read_history(history.c_str());
        loaded = true;
    }
    // Only at the prompt: Ctrl-C during a transfer still ends xvr.
    struct sigaction clear = {}, previous = {};
    clear.sa_handler = ClearLine;
    sigemptyset(&clear.sa_mask);
    sigaction(SIGINT, &clear, &previous);
    char *text = readline(prompt.c_str());
    sigaction(SIGINT, &previous, nullptr);
    if (!text) return false;
    *line = text;
    std::free(text);
    if (!line->empty()) {
        add_history(line->c_str());
        if (!history.empty()) write_history(history.c_str());
    }
    return true;
}
#endif

volatile std::sig_atomic_t g_ctrlC = 0;

#ifdef _WIN32
BOOL WINAPI NoteCtrlC(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;
    g_ctrlC = 1;
    return TRUE;
}
#else
void NoteCtrlC(int) { g_ctrlC = 1; }
struct sigaction g_previousAction;
#endif

}  // namespace

InterruptScope::InterruptScope() {
    g_ctrlC = 0;
#ifdef _WIN32
    SetConsoleCtrlHandler(NoteCtrlC, TRUE);
#else
    struct sigaction note = {};
    note.sa_handler = NoteCtrlC;
    sigemptyset(&note.sa_mask);
    sigaction(SIGINT, &note, &g_previousAction);
#endif
}

InterruptScope::~InterruptScope() {
#ifdef _WIN32
    SetConsoleCtrlHandler(NoteCtrlC, FALSE);
#else
    sigaction(SIGINT, &g_previousAction, nullptr);
#endif
}

bool Interrupted() { return g_ctrlC != 0; }

bool StdinIsTerminal() { return IsTerminal(stdin); }
bool StdoutIsTerminal() { return IsTerminal(stdout); }
bool StderrIsTerminal() { return IsTerminal(stderr); }

void BinaryStdout() {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool ReadLine(const std::string &prompt, std::string *line) {
    const bool interactive = StdinIsTerminal();
#ifdef XVR_HAVE_READLINE
    if (interactive) return ReadlineLine(prompt, line);
#endif
#ifdef _WIN32
    if (interactive) SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#endif
    for (;;) {
        if (interactive) std::cout << prompt << std::flush;
        if (std::getline(std::cin, *line)) break;
#ifdef _WIN32
        // A Ctrl-C ends the console read without input: prompt again.
        if (interactive && InterlockedExchange(&g_interrupted, 0)) {
            std::cin.clear();
            std::cout << '\n';
            continue;
        }
        if (interactive) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#endif
        return false;
    }
#ifdef _WIN32
    if (interactive) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#endif
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

}  // namespace xvrcli
