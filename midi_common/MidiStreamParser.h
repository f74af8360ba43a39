// Cuts a MIDI byte stream into whole messages, the way a port driver does before it hands data
// on: running status, system common, real-time bytes on their own, SysEx up to a maximum length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tessivane {

class MidiStreamParser {
public:
    // Receives one whole message. The bytes stay valid only during the call.
    using Sink = std::function<void(std::uint8_t* bytes, std::size_t length)>;

    // A SysEx longer than maxSysexLength bytes (0xF0 to 0xF7 inclusive) is discarded whole.
    MidiStreamParser(std::size_t maxSysexLength, Sink sink);

    // Bytes may arrive in any split; a message cut across two calls is completed by the next.
    void feed(std::uint8_t const* bytes, std::size_t length);

    // Forgets any partial message and the running status.
    void reset();

    // SysEx messages discarded so far: longer than the limit, or cut short by another status.
    std::uint64_t discarded() const { return discarded_; }

private:
    void onByte(std::uint8_t byte);
    void onSysexByte(std::uint8_t byte);
    void appendSysexData(std::uint8_t const* data, std::size_t length);
    void onStatus(std::uint8_t status);
    void onData(std::uint8_t data);
    void emit(std::uint8_t* bytes, std::size_t length);

    Sink sink_;
    std::size_t maxSysexLength_;

    // Short message being assembled: status plus up to two data bytes.
    std::uint8_t message_[3] = {};
    std::size_t have_ = 0;
    std::size_t need_ = 0;    // 0: no message in progress
    std::uint8_t running_ = 0;  // channel status reused by data bytes without a status

    bool inSysex_ = false;
    bool sysexTooLong_ = false;
    std::vector<std::uint8_t> sysex_;  // reserved once; only a SysEx longer than that grows it
    std::uint64_t discarded_ = 0;
};

}  // namespace tessivane
