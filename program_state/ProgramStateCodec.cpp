#include "program_state/ProgramStateCodec.h"

namespace {

void putNumber(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void putText(std::string& out, std::string const& text) {
    putNumber(out, text.size(), 4);
    out += text;
}

void putEntry(std::string& out, EntryState const& entry) {
    putText(out, entry.name);
    putNumber(out, entry.ports.size(), 4);
    for (std::string const& port : entry.ports) {
        putText(out, port);
    }
    putNumber(out, (entry.portsExist ? 1 : 0) | (entry.deviceOpen ? 2 : 0), 1);
    putText(out, entry.lastError);
    putNumber(out, entry.lastErrorCode, 4);
    putNumber(out, entry.lost, 8);
}

// Reads what decodeProgramState decodes; `ok` falls once anything does not fit.
struct Reader {
    std::string const& bytes;
    std::size_t at = 0;
    bool ok = true;

    bool has(std::uint64_t count) {
        ok = ok && count <= bytes.size() - at;
        return ok;
    }
    std::uint64_t number(int size) {
        if (!has(size)) {
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= std::uint64_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
        }
        at += size;
        return value;
    }
    std::string text() {
        std::uint64_t const size = number(4);
        if (!has(size)) {
            return {};
        }
        at += size;
        return bytes.substr(at - size, size);
    }
    EntryState entry() {
        EntryState entry;
        entry.name = text();
        // A count is never trusted for an allocation: each port is read, and checked, in turn.
        for (std::uint64_t ports = number(4); ok && ports > 0; --ports) {
            entry.ports.push_back(text());
        }
        std::uint64_t const flags = number(1);
        ok = ok && flags < 4;
        entry.portsExist = flags & 1;
        entry.deviceOpen = flags & 2;
        entry.lastError = text();
        entry.lastErrorCode = static_cast<std::uint32_t>(number(4));
        entry.lost = number(8);
        return entry;
    }
};

}  // namespace

std::string encodeProgramState(ProgramState const& state, std::size_t capacity) {
    std::string out;
    putNumber(out, state.processId, 4);
    putText(out, state.version);
    putNumber(out, state.loopbackCreated ? 1 : 0, 1);
    std::uint32_t omitted = 0;
    for (auto const* list : {&state.outputs, &state.inputs}) {
        std::size_t const countAt = out.size();
        putNumber(out, 0, 4);
        std::uint32_t count = 0;
        for (EntryState const& entry : *list) {
            std::size_t const before = out.size();
            putEntry(out, entry);
            // Room kept for the inputs' count and the number left out.
            if (out.size() + 8 > capacity) {
                out.resize(before);
                ++omitted;
            } else {
                ++count;
            }
        }
        std::string countBytes;
        putNumber(countBytes, count, 4);
        out.replace(countAt, 4, countBytes);
    }
    putNumber(out, omitted, 4);
    return out;
}

std::optional<DecodedState> decodeProgramState(std::string const& bytes) {
    Reader in{bytes};
    DecodedState decoded;
    ProgramState& state = decoded.state;
    state.processId = static_cast<std::uint32_t>(in.number(4));
    state.version = in.text();
    std::uint64_t const loopback = in.number(1);
    in.ok = in.ok && loopback < 2;
    state.loopbackCreated = loopback == 1;
    for (auto* list : {&state.outputs, &state.inputs}) {
        for (std::uint64_t count = in.number(4); in.ok && count > 0; --count) {
            list->push_back(in.entry());
        }
    }
    decoded.omitted = static_cast<std::uint32_t>(in.number(4));
    if (!in.ok || in.at != bytes.size()) {
        return std::nullopt;
    }
    return decoded;
}
