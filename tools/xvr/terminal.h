// The little that xvr needs to know about its terminal.
#pragma once

#include <string>

namespace xvrcli {

bool StdinIsTerminal();
bool StdoutIsTerminal();
bool StderrIsTerminal();
// Raw bytes on stdout stay unchanged (no line-end translation on Windows).
void BinaryStdout();
// One line from stdin without its line end.  On a terminal: the prompt,
// line editing and a history kept in ~/.xvr_history where readline is
// available, and Ctrl-C clears the line instead of ending the program.
// False at the end of input.
bool ReadLine(const std::string &prompt, std::string *line);

// While one exists, Ctrl-C does not end xvr but is noted for Interrupted().
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope &) = delete;
    InterruptScope &operator=(const InterruptScope &) = delete;
};
// Whether Ctrl-C was pressed within the current InterruptScope.
bool Interrupted();

}  // namespace xvrcli
