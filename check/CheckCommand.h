// tessivane-check's command line, and the rules for the names given on it: valid UTF-8, matched
// byte for byte against what Windows lists.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

struct CheckCommand {
    enum class Kind { Report, Loop, Panic, Help } kind = Kind::Report;
    bool json = false;
    std::string output, input;
    unsigned count = 100;
};

// A command line or a name that cannot be used; what() is the message for the user.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

extern char const kCheckUsage[];

// The arguments after the program's name, as UTF-8 (an argument that was not valid text on the
// system's side arrives as bytes that are not valid UTF-8). Throws UsageError.
CheckCommand parseCheckCommand(std::vector<std::string> const& arguments);

// The index of the name in `listed` that equals `name` byte for byte; otherwise throws UsageError
// naming what was looked for (`what`: "MIDI output", say) and every candidate.
std::size_t findListedName(std::vector<std::string> const& listed, std::string const& name, char const* what);

bool isValidUtf8(std::string const& text);
// The text with each invalid sequence replaced by U+FFFD, so that it can be shown and put in JSON.
std::string validUtf8(std::string const& text);
