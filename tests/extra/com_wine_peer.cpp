// Linux-side instrument for the serial tests of the Windows build: makes a
// pseudo-terminal, links it into the wine prefix as dosdevices/comN, plays
// the instrument on it and runs the given command (the Windows test program
// under wine, bounded by the caller) with XVR_TEST_COM naming the port.
// Exits with the command's status.
//
// Usage: com_wine_peer PREFIX N COMMAND [ARGS...]  (the prefix must exist)
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/pty_pair.h"

int main(int argc, char **argv) {
    if (argc < 4) return 2;
    const std::string link = std::string(argv[1]) + "/dosdevices/com" + argv[2];
    // Wine leaves the terminal settings alone until the first SetCommState.
    auto relink = [&link](xvr::test::PtyPair *p) {
        termios t = p->SlaveSettings();
        cfmakeraw(&t);
        tcsetattr(p->Master(), TCSANOW, &t);
        unlink(link.c_str());
        if (symlink(p->SlavePath().c_str(), link.c_str()) != 0) std::perror(link.c_str());
    };
    xvr::test::PtyPair pty;
    if (!pty.Ok()) return 2;
    relink(&pty);
    int status = 0;
    bool exited = false;
    {
        xvr::test::PtyInstrument instrument(&pty, {}, relink);
        setenv("XVR_TEST_COM", (std::string("COM") + argv[2]).c_str(), 1);
        pid_t child = fork();
        if (child == 0) {
            execvp(argv[3], argv + 3);
            _exit(127);
        }
        exited = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status);
    }
    unlink(link.c_str());
    return exited ? WEXITSTATUS(status) : 1;
}
