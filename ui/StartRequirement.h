// What the program needs to start, one rule with its text, which the diagnostics tool applies too:
// the UTF-8 code page that the manifest selects, which Windows gives only from Windows 10 version
// 1903 on (or, on Windows 10 from 1803, with the system-wide "Beta: Use Unicode UTF-8" setting).
// Without it device names would be garbled on screen and stored garbled.
#pragma once

#include <string>

inline constexpr char kErrorWindowsTooOld[] = "Tessivane needs Windows 10 version 1903 or later.";
// Between them, the code page Windows gave the program.
inline constexpr char kCodePageFound[] = " This Windows gives it code page";
inline constexpr char kCodePageAdvice[] =
    ", not UTF-8. On an older Windows 10, ticking \"Beta: Use Unicode UTF-8 for worldwide language "
    "support\" (Control Panel > Region > Administrative > Change system locale) lets it run too.";

inline bool codePageLetsTessivaneStart(unsigned ansiCodePage) {
    return ansiCodePage == 65001;  // CP_UTF8
}

// The box the program shows when the code page does not let it start, naming that code page.
inline std::string codePageRequirementText(unsigned ansiCodePage) {
    return std::string(kErrorWindowsTooOld) + kCodePageFound + " " + std::to_string(ansiCodePage) +
           kCodePageAdvice;
}
