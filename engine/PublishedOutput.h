// The outputs as the engine last published them for the Configure dialog.
#pragma once

#include <cstdint>
#include <string>

// A record of the published output list. `name` is a malloc'd copy of the output's unique name, or
// the constant kUnnamedOutput when the copy could not be made (never freed).
struct PublishedOutput {
    char* name = nullptr;
    std::int32_t id = 0;  // device index at the time of publishing
    bool enabled = false; // virtualized and its hardware connection open
};

extern char kUnnamedOutput[];

// A copy of one record, for readers on other threads.
struct PublishedOutputInfo {
    std::string name;
    std::int32_t id = 0;
    bool enabled = false;
    bool operator==(PublishedOutputInfo const& other) const {
        return name == other.name && id == other.id && enabled == other.enabled;
    }
};

// The shared inputs are published with the same records: unique name, device index, and whether
// the input is shared (its device open).
using PublishedInputInfo = PublishedOutputInfo;
