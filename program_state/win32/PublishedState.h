// The program's state in a named section of this logon session (Local\VelmoraTessivaneState):
// no file, nothing logged, and gone with the program's process. The copy that creates it publishes
// in it; a copy started while another one has it does not.
#pragma once

#include "program_state/StateSection.h"

// The engine's state hook: adds this process's id and the program's version, and writes. Runs on
// the tick's thread, only when the state changed; never throws.
void publishProgramState(ProgramState const& state) noexcept;

// What the program published, for the diagnostics tool. Only reads.
PublishedState readPublishedState();
