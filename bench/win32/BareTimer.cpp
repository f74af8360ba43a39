// bare-timer: a 1 ms periodic multimedia timer whose callback does nothing, and nothing else. The
// floor that any program ticking every millisecond pays; scripts/idle-cpu.sh measures it beside
// tessivane.exe. With --count-devices the callback also asks WinMM for the number of MIDI outputs,
// as the service tick's scan does once per tick when no device is listed.
//   bare-timer [SECONDS] [--count-devices]   (SECONDS 0 or none: until ended)
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<unsigned long> events{0};
std::atomic<unsigned long> devices{0};
bool countDevices = false;

void CALLBACK onEvent(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    ++events;
    if (countDevices) devices += midiOutGetNumDevs();
}

}  // namespace

int main(int argc, char** argv) {
    long const seconds = argc > 1 ? std::atol(argv[1]) : 0;
    countDevices = argc > 2 && std::strcmp(argv[2], "--count-devices") == 0;
    timeBeginPeriod(1);
    MMRESULT const timer = timeSetEvent(1, 1, onEvent, 0, TIME_PERIODIC);
    if (timer == 0) {
        std::fprintf(stderr, "bare-timer: timeSetEvent failed\n");
        return 1;
    }
    if (seconds > 0) {
        Sleep(static_cast<DWORD>(seconds * 1000));
    } else {
        Sleep(INFINITE);
    }
    timeKillEvent(timer);
    timeEndPeriod(1);
    std::printf("bare-timer: %lu events in %ld s\n", events.load(), seconds);
    return 0;
}
