#include "check/CheckCommand.h"

#include <cstdlib>

char const kCheckUsage[] =
    "usage: tessivane-check [--json]                        what is wrong, and what to do\n"
    "       tessivane-check loop <output> <input> [--count N]  round trips through a MIDI loop\n"
    "       tessivane-check panic <output>                  all notes off through \"<output> - MIDI\"\n";

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when there is none.
std::size_t sequenceAt(std::string const& text, std::size_t i) {
    auto const byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char const lead = byte(i);
    std::size_t const length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    unsigned long code = lead & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    bool const overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    bool const surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

std::string name(std::vector<std::string> const& arguments, std::size_t index) {
    std::string const& text = arguments[index];
    if (!isValidUtf8(text)) {
        throw UsageError("\"" + validUtf8(text) + "\" is not a valid name (it is not valid UTF-8 text).");
    }
    return text;
}

}  // namespace

bool isValidUtf8(std::string const& text) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t const length = sequenceAt(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string validUtf8(std::string const& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t const length = sequenceAt(text, i);
        result += length ? text.substr(i, length) : "\xEF\xBF\xBD";
        i += length ? length : 1;
    }
    return result;
}

CheckCommand parseCheckCommand(std::vector<std::string> const& arguments) {
    CheckCommand command;
    std::size_t const n = arguments.size();
    std::string const first = n ? arguments[0] : "";
    if (n == 1 && (first == "--help" || first == "-h" || first == "/?")) {
        command.kind = CheckCommand::Kind::Help;
    } else if (n == 0 || (n == 1 && first == "--json")) {
        command.json = n == 1;
    } else if (first == "panic" && n == 2) {
        command.kind = CheckCommand::Kind::Panic;
        command.output = name(arguments, 1);
    } else if (first == "loop" && (n == 3 || (n == 5 && arguments[3] == "--count"))) {
        command.kind = CheckCommand::Kind::Loop;
        command.output = name(arguments, 1);
        command.input = name(arguments, 2);
        if (n == 5) {
            char* end = nullptr;
            long const count = std::strtol(arguments[4].c_str(), &end, 10);
            if (arguments[4].empty() || *end != '\0' || count < 1 || count > 100000) {
                throw UsageError("--count takes a number from 1 to 100000, not \"" + validUtf8(arguments[4]) + "\".");
            }
            command.count = static_cast<unsigned>(count);
        }
    } else {
        bool const known = first == "loop" || first == "panic" || first == "--json";
        throw UsageError(known ? "\"" + first + "\" takes other arguments."
                               : "unknown command or option \"" + validUtf8(first) + "\".");
    }
    return command;
}

std::size_t findListedName(std::vector<std::string> const& listed, std::string const& name, char const* what) {
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (listed[i] == name) {
            return i;
        }
    }
    std::string message = std::string("No ") + what + " is named \"" + name + "\" (names must match exactly).";
    message += listed.empty() ? " Windows lists none." : " Windows lists:";
    for (std::string const& candidate : listed) {
        message += "\n  \"" + candidate + "\"";
    }
    throw UsageError(message);
}
