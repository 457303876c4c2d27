// The few system services xvr uses beyond the library, once per system.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace xvrcli {

// An environment variable, "" when unset.
std::string GetEnv(const char *name);
void SetEnv(const char *name, const std::string &value);
// A new private directory under the system's temporary directory, with a
// trailing separator; throws DeviceError.
std::string MakeTempDirectory();
// Removes the files named and then the directory; failures are ignored.
void RemoveTempDirectory(const std::string &dir, const std::initializer_list<const char *> &files);
// Why `path` cannot be read as a regular file ("No such file or
// directory", "it is a directory"), or "" when it can.
std::string FileProblem(const std::string &path);
// The whole file, or false when it cannot be read.
bool ReadWholeFile(const std::string &path, std::string *bytes);
bool WriteWholeFile(const std::string &path, const std::string &bytes);
// Bytes of the file from `offset` on (none when it is shorter); false when
// it cannot be opened or is not a regular file.  *size receives the file's
// size.
bool ReadFileFrom(const std::string &path, uint64_t offset, std::string *bytes, uint64_t *size);

// The directory of XVR.XVR and XVR.log as the library finds it, with a
// trailing separator: $XVR_DIR, else (Linux) $XDG_CONFIG_HOME/xvr/,
// $HOME/.config/xvr/, /etc/xvr/, (Windows) c:\XVR\.
std::string ParameterDirectory();

}  // namespace xvrcli
