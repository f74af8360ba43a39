#include "simulated_driver/PortNameCodec.h"

#include <cstdint>

namespace tessivane {

namespace {

char32_t const kReplacement = 0xFFFD;
char const kHex[] = "0123456789ABCDEF";
char16_t const kPipePrefix[] = u"\\\\.\\pipe\\";
char16_t const kComponentPrefix[] = u"tessivane-sim-";

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

std::string utf8FromUtf16(std::u16string const& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string utf16FromUtf8(std::string const& text) {
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        auto const lead = static_cast<std::uint8_t>(text[i]);
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        std::size_t extra = 0;
        char32_t c = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            c = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            c = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            c = lead & 0x07;
        }
        bool valid = extra > 0 && i + extra < text.size();
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            auto const next = static_cast<std::uint8_t>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        char32_t const smallest[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            appendUtf16(out, kReplacement);
            ++i;  // resynchronise on the next byte
            continue;
        }
        appendUtf16(out, c);
        i += extra + 1;
    }
    return out;
}

std::u16string pipeNameForPort(std::u16string const& portName) {
    std::u16string name = kPipePrefix;
    name += kComponentPrefix;
    for (char byte : utf8FromUtf16(portName)) {
        auto const b = static_cast<std::uint8_t>(byte);
        name += static_cast<char16_t>(kHex[b >> 4]);
        name += static_cast<char16_t>(kHex[b & 0xF]);
    }
    return name;
}

std::optional<std::u16string> portNameFromPipeComponent(std::u16string const& component) {
    std::u16string const prefix = kComponentPrefix;
    if (component.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::u16string const hex = component.substr(prefix.size());
    if (hex.empty() || hex.size() % 2 != 0) return std::nullopt;
    std::string utf8;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int const high = hexValue(hex[i]);
        int const low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        utf8 += static_cast<char>(high * 16 + low);
    }
    return utf16FromUtf8(utf8);
}

std::vector<std::u16string> splitRefusedNames(std::string const& utf8List) {
    std::vector<std::u16string> names;
    std::size_t start = 0;
    while (start <= utf8List.size()) {
        std::size_t end = utf8List.find('|', start);
        if (end == std::string::npos) end = utf8List.size();
        if (end > start) names.push_back(utf16FromUtf8(utf8List.substr(start, end - start)));
        start = end + 1;
    }
    return names;
}

}  // namespace tessivane
