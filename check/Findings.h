// The problems a report shows, each with its fix. The fixes are worded as the troubleshooting
// section of the users' README.txt words them (a test holds the two together).
#pragma once

#include "check/CheckReport.h"

#include <vector>

std::vector<Finding> findingsOf(CheckReport const& report);
