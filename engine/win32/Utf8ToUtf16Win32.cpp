// The system's converter, as the driver's port names must match what other Windows programs see.
#include "engine/PortName.h"

#include <windows.h>

std::u16string utf8ToUtf16(std::string const& text) {
    // With the terminating NUL included, so the result is terminated too.
    int const needed = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (needed <= 0) {
        return std::u16string();
    }
    std::u16string out(static_cast<std::size_t>(needed), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, reinterpret_cast<wchar_t*>(&out[0]), needed);
    out.resize(out.find(u'\0'));
    return out;
}
