#include "drivers/vxi11/xdr.h"

namespace xvr::vxi11 {

void XdrWriter::U32(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    m_out->insert(m_out->end(), bytes, bytes + 4);
}

void XdrWriter::Opaque(const uint8_t *data, size_t size) {
    U32(static_cast<uint32_t>(size));
    if (size > 0) m_out->insert(m_out->end(), data, data + size);
    m_out->insert(m_out->end(), XdrPadding(size), 0);
}

bool XdrReader::U32(uint32_t *value) {
    if (Remaining() < 4) return false;
    const uint8_t *p = m_data + m_offset;
    *value = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
             static_cast<uint32_t>(p[2]) << 8 | p[3];
    m_offset += 4;
    return true;
}

bool XdrReader::I32(int32_t *value) {
    uint32_t raw = 0;
    if (!U32(&raw)) return false;
    *value = static_cast<int32_t>(raw);
    return true;
}

bool XdrReader::Bool(bool *value) {
    uint32_t raw = 0;
    if (Remaining() < 4) return false;
    const size_t at = m_offset;
    U32(&raw);
    if (raw > 1) {
        m_offset = at;
        return false;
    }
    *value = raw == 1;
    return true;
}

bool XdrReader::Opaque(size_t max, const uint8_t **data, size_t *size) {
    const size_t at = m_offset;
    uint32_t length = 0;
    if (!U32(&length)) return false;
    // Compared before the padding is added, so no sum can wrap.
    if (length > max || length > Remaining() || XdrPadding(length) > Remaining() - length) {
        m_offset = at;
        return false;
    }
    *data = m_data + m_offset;
    *size = length;
    m_offset += length + XdrPadding(length);
    return true;
}

bool XdrReader::String(size_t max, std::string *text) {
    const uint8_t *data = nullptr;
    size_t size = 0;
    if (!Opaque(max, &data, &size)) return false;
    text->assign(reinterpret_cast<const char *>(data), size);
    return true;
}

}  // namespace xvr::vxi11
