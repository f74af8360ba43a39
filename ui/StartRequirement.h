// What the program needs to start, one rule with its text, which the diagnostics tool applies too:
// the UTF-8 code page that the manifest selects, which Windows gives only from Windows 10 version
// 1903 on. Without it device names would be garbled on screen and stored garbled.
#pragma once

inline constexpr char kErrorWindowsTooOld[] = "Tessivane needs Windows 10 version 1903 or later.";

inline bool codePageLetsTessivaneStart(unsigned ansiCodePage) {
    return ansiCodePage == 65001;  // CP_UTF8
}
