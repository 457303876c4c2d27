// Where xvr writes data: stdout or an -o file, every write checked.  A
// regular -o file is written beside its final name and only renamed over
// it once the transfer succeeded, so a failed run keeps an earlier capture.
#pragma once

#include <cstdio>
#include <string>

namespace xvrcli {

constexpr char kStdoutName[] = "standard output";

// Writes all of `data` to `to` or throws DeviceError with the system's
// reason, naming `name` ("standard output", a file name).
void WriteChecked(std::FILE *to, const std::string &data, const std::string &name);
// Flushes `to` or throws DeviceError as above.
void FlushChecked(std::FILE *to, const std::string &name);

class OutputFile {
public:
    // Creates the file to write (the temporary one for a regular or new
    // file, the file itself for a device such as /dev/null); throws
    // DeviceError saying why it cannot.
    explicit OutputFile(std::string name);
    // Without Commit the temporary file is removed: the old file stays.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void Write(const std::string &data) { WriteChecked(m_file, data, m_name); }
    // Flushes, closes and puts the file in place; throws DeviceError.
    void Commit();
    const std::string &name() const { return m_name; }

private:
    std::string m_name;
    std::string m_temporary;  // empty: written in place
    std::FILE *m_file = nullptr;
};

}  // namespace xvrcli
