// The report as one JSON document (README.md lists its fields), and as text: findings, then that.
#pragma once

#include "check/Findings.h"

std::string reportText(CheckReport const& report, std::vector<Finding> const& findings, std::string const& version);
std::string reportJson(CheckReport const& report, std::vector<Finding> const& findings, std::string const& version);

// A JSON string in ASCII only (\uXXXX, U+FFFD for invalid UTF-8): it survives every code page.
std::string jsonString(std::string const& text);

// The lines that say how a round trip went.
std::string loopText(LoopResult const& loop);
