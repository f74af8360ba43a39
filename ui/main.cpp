// tessivane.exe: the program's entry. It reads no command line.
#include <windows.h>

#include "ui/Shell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return runTessivane(instance); }
