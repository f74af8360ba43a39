// The report as people read it (text) and as scripts and bug reports take it (one JSON document;
// README.md lists its fields).
#pragma once

#include "check/CheckReport.h"

#include <string>

std::string reportText(CheckReport const& report);
std::string reportJson(CheckReport const& report);

// The lines that say how a round trip went; also what the loop command prints.
std::string loopText(LoopResult const& loop);
