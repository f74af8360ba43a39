#include "check/CheckCommand.h"

#include "engine/PortName.h"

#include <algorithm>
#include <cstdlib>

char const kCheckUsage[] =
    "usage: tessivane-check [--json]                        what is wrong, and what to do (only reads)\n"
    "       tessivane-check loopback [--count N]            round trips through Tessivane's loopback pair\n"
    "       tessivane-check loop <output> <input> [--count N]  round trips through a MIDI loop\n"
    "       tessivane-check panic <output>                  all notes off through \"<output> - MIDI\"\n";

namespace {

std::string name(std::string const& text) {
    if (!isValidUtf8(text)) {
        throw UsageError("\"" + validUtf8(text) + "\" is not a valid name (it is not valid UTF-8 text).");
    }
    return text;
}

unsigned count(std::string const& text) {
    char* end = nullptr;
    long const count = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || count < 1 || count > 100000) {
        throw UsageError("--count takes a number from 1 to 100000, not \"" + validUtf8(text) + "\".");
    }
    return static_cast<unsigned>(count);
}

}  // namespace

std::string utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;  // half a pair
        }
        int const extra = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
        unsigned const lead[] = {0x00, 0xC0, 0xE0, 0xF0};
        out += static_cast<char>(lead[extra] | (code >> (6 * extra)));
        for (int k = extra - 1; k >= 0; --k) {
            out += static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F));
        }
    }
    return out;
}

bool isValidUtf8(std::string const& text) { return validUtf8(text) == text; }

std::string validUtf8(std::string const& text) { return utf8(utf8ToUtf16(text)); }

CheckCommand parseCheckCommand(std::vector<std::string> const& arguments) {
    CheckCommand command;
    std::size_t const n = arguments.size();
    std::string const first = n ? arguments[0] : "";
    // Loops may end with "--count N".
    std::size_t const named = n >= 2 && arguments[n - 2] == "--count" ? n - 2 : n;
    if (n == 1 && (first == "--help" || first == "-h" || first == "/?")) {
        command.kind = CheckCommand::Kind::Help;
    } else if (n == 0 || (n == 1 && first == "--json")) {
        command.json = n == 1;
    } else if (first == "panic" && n == 2) {
        command.kind = CheckCommand::Kind::Panic;
        command.output = name(arguments[1]);
    } else if ((first == "loop" && named == 3) || (first == "loopback" && named == 1)) {
        command.kind = named == 3 ? CheckCommand::Kind::Loop : CheckCommand::Kind::Loopback;
        command.output = named == 3 ? name(arguments[1]) : "";
        command.input = named == 3 ? name(arguments[2]) : "";
        command.count = named < n ? count(arguments[n - 1]) : command.count;
    } else {
        bool const known = first == "loop" || first == "loopback" || first == "panic" || first == "--json";
        throw UsageError(known ? "\"" + first + "\" takes other arguments."
                               : "unknown command or option \"" + validUtf8(first) + "\".");
    }
    return command;
}

std::size_t findListedName(std::vector<std::string> const& listed, std::string const& name, char const* what) {
    auto const found = std::find(listed.begin(), listed.end(), name);
    if (found != listed.end()) {
        return static_cast<std::size_t>(found - listed.begin());
    }
    std::string message = std::string("No ") + what + " is named \"" + name + "\" (names must match exactly).";
    message += listed.empty() ? " Windows lists none." : " Windows lists:";
    for (std::string const& candidate : listed) {
        message += "\n  \"" + validUtf8(candidate) + "\"";
    }
    throw UsageError(message);
}
