// XDR (RFC 4506) encoding and decoding of the few types ONC RPC and VXI-11
// use: 32-bit integers, booleans, variable-length opaque data and strings.
// Only the standard library: the simulator's server builds it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xvr::vxi11 {

// Bytes that bring a length of n up to the next multiple of four.
constexpr size_t XdrPadding(size_t n) { return (4 - n % 4) % 4; }

class XdrWriter {
public:
    // Appends to *out.
    explicit XdrWriter(std::vector<uint8_t> *out) : m_out(out) {}
    void U32(uint32_t value);
    void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
    void Bool(bool value) { U32(value ? 1 : 0); }
    // Length, bytes and padding.
    void Opaque(const uint8_t *data, size_t size);
    void String(std::string_view text) {
        Opaque(reinterpret_cast<const uint8_t *>(text.data()), text.size());
    }

private:
    std::vector<uint8_t> *m_out;
};

// Every getter returns false, and moves nothing, when the data runs short or
// a value breaks its type's rule; the caller then drops the whole message.
class XdrReader {
public:
    XdrReader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool U32(uint32_t *value);
    bool I32(int32_t *value);
    bool Bool(bool *value);  // 0 or 1 only
    // Variable-length opaque data of at most max bytes; *data points into the
    // reader's bytes.
    bool Opaque(size_t max, const uint8_t **data, size_t *size);
    bool String(size_t max, std::string *text);
    size_t Remaining() const { return m_size - m_offset; }
    size_t Offset() const { return m_offset; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_offset = 0;
};

}  // namespace xvr::vxi11
