// The messages that leave a MIDI device with no note sounding: on each of the 16 channels, Sustain
// off (Control Change 64, value 0) and then All Notes Off (Control Change 123, value 0). Sustain
// goes first so that All Notes Off is not held back by a pedal that is still down.
#pragma once

#include <array>
#include <cstdint>

using SilenceMessage = std::array<std::uint8_t, 3>;

inline std::array<SilenceMessage, 32> silenceMessages() {
    std::array<SilenceMessage, 32> messages{};
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        std::uint8_t const status = static_cast<std::uint8_t>(0xB0 | channel);
        messages[2 * channel] = {status, 64, 0};
        messages[2 * channel + 1] = {status, 123, 0};
    }
    return messages;
}

// Calls send(bytes, length) for every silencing message, in order.
template <class Send>
void silenceAllChannels(Send send) {
    for (SilenceMessage const& message : silenceMessages()) {
        send(message.data(), message.size());
    }
}
