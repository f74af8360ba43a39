// The system's multimedia timer (WINMM).
#include "engine/win32/MultimediaTimerWin32.h"

#include <windows.h>
#include <mmsystem.h>

namespace {

std::uint32_t beginPeriod(std::uint32_t period) { return timeBeginPeriod(period); }
std::uint32_t endPeriod(std::uint32_t period) { return timeEndPeriod(period); }
std::uint32_t getTime() { return timeGetTime(); }
std::uint32_t setEvent(std::uint32_t delay, std::uint32_t resolution, TimerCallback callback,
                       std::uintptr_t user, std::uint32_t flags) {
    // TimerCallback has the LPTIMECALLBACK signature (UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR).
    return timeSetEvent(delay, resolution, reinterpret_cast<LPTIMECALLBACK>(callback), user, flags);
}
std::uint32_t killEvent(std::uint32_t timerId) { return timeKillEvent(timerId); }

void serveSentMessages() {
    // Wakes when another thread sends this one a message, or after 1 ms at the latest.
    MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    // Dispatches the messages sent from other threads and nothing else: posted messages (the quit
    // message among them) stay queued for the message loop.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

MultimediaTimerApi const& systemMultimediaTimer() {
    static MultimediaTimerApi const api = {beginPeriod, endPeriod, getTime, setEvent,
                                             killEvent, serveSentMessages};
    return api;
}
