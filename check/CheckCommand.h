// tessivane-check's command line; names on it are valid UTF-8, matched byte for byte.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct CheckCommand {
    enum class Kind { Report, Loop, Loopback, Panic, Help } kind = Kind::Report;
    bool json = false;
    std::string output, input;
    unsigned count = 100;
};

// A command line or a name that cannot be used; what() is the message for the user.
struct UsageError : std::runtime_error { using std::runtime_error::runtime_error; };

extern char const kCheckUsage[];

// The arguments after the program's name, as UTF-8 (one that was not valid text arrives invalid).
CheckCommand parseCheckCommand(std::vector<std::string> const& arguments);

// The index of `name` in `listed`, byte for byte; or a UsageError naming `what` and every candidate.
std::size_t findListedName(std::vector<std::string> const& listed, std::string const& name, char const* what);

// UTF-16 to UTF-8, and UTF-8 through the program's own decoder; what is invalid becomes U+FFFD.
std::string utf8(std::u16string_view text);
bool isValidUtf8(std::string const& text);
std::string validUtf8(std::string const& text);
