// Linux-side instrument for the serial tests of the Windows build: makes a
// pseudo-terminal, links it into the wine prefix as dosdevices/comN, plays
// the instrument on it and runs the given command (the Windows test program
// under wine) with XVR_TEST_COM naming the port.  Exits with the command's
// status; the command is killed after four minutes.
//
// Usage: com_wine_peer PREFIX COMN COMMAND [ARGS...]  (the prefix must exist)
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/pty_pair.h"

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PREFIX COMN COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    const std::string prefix = argv[1];
    const std::string port = argv[2];
    std::string device;
    for (char c : port) device.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    struct stat st;
    if (stat((prefix + "/dosdevices").c_str(), &st) != 0) {
        std::fprintf(stderr, "com_wine_peer: %s is no wine prefix yet\n", prefix.c_str());
        return 2;
    }
    const std::string link = prefix + "/dosdevices/" + device;

    xvr::test::PtyPair pty;
    if (!pty.Ok()) {
        std::perror("posix_openpt");
        return 2;
    }
    // Wine leaves the terminal settings alone until the first SetCommState.
    auto relink = [&link](xvr::test::PtyPair *p) {
        p->MakeSlaveRaw();
        unlink(link.c_str());
        if (symlink(p->SlavePath().c_str(), link.c_str()) != 0) std::perror("symlink");
    };
    relink(&pty);
    int status = 1;
    {
        xvr::test::PtyInstrument instrument(&pty, {}, relink);
        setenv("XVR_TEST_COM", port.c_str(), 1);
        pid_t child = fork();
        if (child == 0) {
            execvp(argv[3], argv + 3);
            std::perror("execvp");
            _exit(127);
        }
        auto start = std::chrono::steady_clock::now();
        int wstatus = 0;
        while (waitpid(child, &wstatus, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() - start > std::chrono::minutes(4)) {
                std::fprintf(stderr, "com_wine_peer: command still running, killed\n");
                kill(child, SIGKILL);
                waitpid(child, &wstatus, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 1;
    }
    unlink(link.c_str());
    return status;
}
