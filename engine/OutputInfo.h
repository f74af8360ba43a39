// One row of an output scan; rows live only while one tick runs.
#pragma once

#include <string>

struct OutputInfo {
    std::string name;        // as the device reports it (UTF-8)
    std::string uniqueName;  // the name the output is published, stored and requested under
    unsigned index = 0;      // device index at which `name` was read
};
