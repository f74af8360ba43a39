// Portable UTF-8 decoder for the native build; replaces each maximal invalid subpart with U+FFFD.
#include "engine/PortName.h"

std::u16string utf8ToUtf16(std::string const& text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char const lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t code = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) { length = 2; code = lead & 0x1F; }
        else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3; code = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4; code = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        std::size_t used = 1;
        bool valid = length != 0;
        for (; valid && used < length; ++used) {
            if (i + used >= text.size()) { valid = false; break; }
            unsigned char const byte = static_cast<unsigned char>(text[i + used]);
            unsigned char const lo = (used == 1) ? low : 0x80;
            unsigned char const hi = (used == 1) ? high : 0xBF;
            if (byte < lo || byte > hi) { valid = false; break; }
            code = (code << 6) | (byte & 0x3F);
        }
        if (!valid) {
            out.push_back(u'\uFFFD');
            i += used;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}
