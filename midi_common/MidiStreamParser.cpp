#include "midi_common/MidiStreamParser.h"

#include <algorithm>
#include <utility>

namespace tessivane {

namespace {

bool isRealTime(std::uint8_t byte) { return byte >= 0xF8; }
bool isStatus(std::uint8_t byte) { return byte & 0x80; }

// Length of a channel message, status included.
std::size_t channelMessageLength(std::uint8_t status) {
    std::uint8_t const kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
}

// What we reserve up front; the usual maximum of 65535 fits, a larger one grows on demand.
std::size_t const kSysexReserve = 65536;

}  // namespace

MidiStreamParser::MidiStreamParser(std::size_t maxSysexLength, Sink sink)
    : sink_(std::move(sink)), maxSysexLength_(maxSysexLength) {
    sysex_.reserve(std::min(maxSysexLength, kSysexReserve));
}

void MidiStreamParser::feed(std::uint8_t const* bytes, std::size_t length) {
    if (!bytes) return;
    std::size_t i = 0;
    while (i < length) {
        if (inSysex_ && !sysexTooLong_ && !isStatus(bytes[i])) {
            // The body of a SysEx goes in as one run of data bytes, up to the next status byte.
            std::size_t run = 1;
            while (i + run < length && !isStatus(bytes[i + run])) ++run;
            appendSysexData(bytes + i, run);
            i += run;
        } else {
            onByte(bytes[i++]);
        }
    }
}

void MidiStreamParser::appendSysexData(std::uint8_t const* data, std::size_t length) {
    // As onSysexByte for each byte: a data byte must leave room for the 0xF7.
    if (sysex_.size() + length + 1 > maxSysexLength_) {
        sysexTooLong_ = true;
        sysex_.clear();
        return;
    }
    sysex_.insert(sysex_.end(), data, data + length);
}

void MidiStreamParser::reset() {
    have_ = need_ = 0;
    running_ = 0;
    inSysex_ = sysexTooLong_ = false;
    sysex_.clear();
}

void MidiStreamParser::onByte(std::uint8_t byte) {
    if (isRealTime(byte)) {
        // Real-time bytes may interleave anything and leave it undisturbed.
        std::uint8_t copy = byte;
        emit(&copy, 1);
        return;
    }
    if (inSysex_) {
        if (!isStatus(byte) || byte == 0xF7) {
            onSysexByte(byte);
            return;
        }
        // Any other status ends the SysEx unfinished: drop it and take the status as new.
        inSysex_ = false;
        sysex_.clear();
        ++discarded_;
    }
    if (isStatus(byte))
        onStatus(byte);
    else
        onData(byte);
}

void MidiStreamParser::onSysexByte(std::uint8_t byte) {
    // The length limit counts 0xF0 and 0xF7, so a data byte must leave room for the 0xF7.
    if (byte == 0xF7) {
        bool const fits = !sysexTooLong_ && sysex_.size() + 1 <= maxSysexLength_;
        if (fits) {
            sysex_.push_back(byte);
            emit(sysex_.data(), sysex_.size());
        } else {
            ++discarded_;
        }
        inSysex_ = false;
        sysexTooLong_ = false;
        sysex_.clear();
        return;
    }
    if (sysexTooLong_) return;
    if (sysex_.size() + 2 > maxSysexLength_) {
        sysexTooLong_ = true;
        sysex_.clear();
        return;
    }
    sysex_.push_back(byte);
}

void MidiStreamParser::onStatus(std::uint8_t status) {
    // A new status always abandons a message that is still missing data bytes.
    have_ = need_ = 0;
    if (status < 0xF0) {
        running_ = status;
        message_[0] = status;
        have_ = 1;
        need_ = channelMessageLength(status);
        return;
    }
    // System messages cancel running status.
    running_ = 0;
    switch (status) {
        case 0xF0:
            inSysex_ = true;
            sysexTooLong_ = maxSysexLength_ < 2;
            sysex_.clear();
            if (!sysexTooLong_) sysex_.push_back(status);
            return;
        case 0xF1:
        case 0xF3:
            message_[0] = status;
            have_ = 1;
            need_ = 2;
            return;
        case 0xF2:
            message_[0] = status;
            have_ = 1;
            need_ = 3;
            return;
        case 0xF6:
            message_[0] = status;
            emit(message_, 1);
            return;
        default:
            // 0xF4 and 0xF5 are undefined, a lone 0xF7 ends nothing: both are dropped.
            return;
    }
}

void MidiStreamParser::onData(std::uint8_t data) {
    if (need_ == 0) {
        if (running_ == 0) return;  // stray data byte: nothing it could belong to
        message_[0] = running_;
        have_ = 1;
        need_ = channelMessageLength(running_);
    }
    message_[have_++] = data;
    if (have_ == need_) {
        std::size_t const length = need_;
        have_ = need_ = 0;  // the next data byte starts over from the running status
        emit(message_, length);
    }
}

void MidiStreamParser::emit(std::uint8_t* bytes, std::size_t length) {
    if (sink_) sink_(bytes, length);
}

}  // namespace tessivane
