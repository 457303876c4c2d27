#include "terminal.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#ifdef XVR_HAVE_READLINE
#include <readline/history.h>
#include <readline/readline.h>
#include <cstdlib>
#endif

namespace xvrcli {

bool StdinIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void BinaryStdout() {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool ReadLine(const std::string &prompt, std::string *line) {
    const bool interactive = StdinIsTerminal();
#ifdef XVR_HAVE_READLINE
    if (interactive) {
        char *text = readline(prompt.c_str());
        if (!text) return false;
        *line = text;
        if (*text) add_history(text);
        std::free(text);
        return true;
    }
#endif
    if (interactive) {
        std::cout << prompt << std::flush;
    }
    if (!std::getline(std::cin, *line)) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

}  // namespace xvrcli
