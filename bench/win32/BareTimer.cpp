// bare-timer: a 1 ms periodic multimedia timer whose callback does nothing, and nothing else. The
// floor that any program ticking every millisecond pays; scripts/idle-cpu.sh measures it beside
// tessivane.exe.
//   bare-timer [SECONDS]   (default: until ended)
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<unsigned long> events{0};

void CALLBACK onEvent(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) { ++events; }

}  // namespace

int main(int argc, char** argv) {
    long const seconds = argc > 1 ? std::atol(argv[1]) : 0;
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
