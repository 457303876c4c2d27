// The little that xvr needs to know about its terminal.
#pragma once

#include <string>

namespace xvrcli {

bool StdinIsTerminal();
bool StderrIsTerminal();
// Raw bytes on stdout stay unchanged (no line-end translation on Windows).
void BinaryStdout();
// One line from stdin without its line end, with line editing and history
// where available; the prompt only on a terminal.  False at the end of input.
bool ReadLine(const std::string &prompt, std::string *line);

}  // namespace xvrcli
