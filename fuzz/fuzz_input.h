// Taking a fuzz input apart: bytes, numbers and texts in the order a target
// asks for them; an input that runs out gives zeros and empty texts.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace xvr::fuzz {

class Input {
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }

    uint8_t Byte() { return Empty() ? 0 : m_data[m_pos++]; }

    uint32_t Word() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
        return v;
    }

    // Bytes up to the next zero byte (or the end), which is consumed.
    std::string Text() {
        std::string text;
        while (!Empty()) {
            const uint8_t b = Byte();
            if (b == 0) break;
            text.push_back(static_cast<char>(b));
        }
        return text;
    }

    // Text() as UTF-16: every pair of bytes one unit, any unit possible.
    std::u16string WideText() {
        const std::string bytes = Text();
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                                 static_cast<uint8_t>(bytes[i + 1]) << 8));
        return text;
    }

    // Whatever is left.
    std::string Rest() {
        std::string rest(reinterpret_cast<const char *>(m_data) + (Empty() ? m_size : m_pos),
                         Empty() ? 0 : m_size - m_pos);
        m_pos = m_size;
        return rest;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

}  // namespace xvr::fuzz
