#include "check/LoopProbe.h"

#include <algorithm>
#include <exception>

namespace {

std::uint8_t const kSysEx = 0xF0, kEndOfSysEx = 0xF7, kNonCommercial = 0x7D;
// F0 7D 'T' 'C' <mark: 2 bytes> <number: 3 bytes> <payload> F7
std::size_t const kHeader = 9;
std::size_t const kShortBytes = 16;
unsigned const kGiveUpAfterLosses = 3;

}  // namespace

LoopProbe::LoopProbe(std::chrono::milliseconds wait) : wait_(wait) {
    // Tells this run's messages from those of an earlier or a parallel one.
    auto const now = static_cast<unsigned>(Clock::now().time_since_epoch().count() / 1000);
    mark_[0] = static_cast<std::uint8_t>(now & 0x7F);
    mark_[1] = static_cast<std::uint8_t>((now >> 7) & 0x7F);
}

LoopProbe::Bytes LoopProbe::message(unsigned number, std::size_t size) const {
    Bytes bytes = {kSysEx, kNonCommercial, 'T', 'C', mark_[0], mark_[1],
                   static_cast<std::uint8_t>(number & 0x7F), static_cast<std::uint8_t>((number >> 7) & 0x7F),
                   static_cast<std::uint8_t>((number >> 14) & 0x7F)};
    for (std::size_t i = 0; bytes.size() + 1 < size; ++i) {
        bytes.push_back(static_cast<std::uint8_t>((number * 31 + i * 7) & 0x7F));
    }
    bytes.push_back(kEndOfSysEx);
    return bytes;
}

void LoopProbe::received(std::uint8_t const* bytes, std::size_t length) {
    if (length == 0) {
        return;
    }
    // The input may hand a long SysEx over in pieces; any other status byte is someone else's
    // short message, which may come between them.
    if (bytes[0] == kSysEx) {
        partial_.assign(bytes, bytes + length);
    } else if ((bytes[0] & 0x80) == 0 || bytes[0] == kEndOfSysEx) {
        if (partial_.empty()) {
            return;
        }
        partial_.insert(partial_.end(), bytes, bytes + length);
    } else {
        return;
    }
    if (partial_.back() == kEndOfSysEx) {
        arrived(partial_, Clock::now());
        partial_.clear();
    }
}

void LoopProbe::arrived(Bytes const& bytes, Clock::time_point when) {
    if (bytes.size() < kHeader + 1 || bytes[1] != kNonCommercial || bytes[2] != 'T' ||
        bytes[3] != 'C' || bytes[4] != mark_[0] || bytes[5] != mark_[1]) {
        return;  // not ours
    }
    unsigned const number = bytes[6] | (bytes[7] << 7) | (bytes[8] << 14);
    std::lock_guard<std::mutex> lock(mutex_);
    State* state = number < states_.size() ? &states_[number] : nullptr;
    if (state == nullptr || (*state != State::Waiting && *state != State::Overdue)) {
        ++foreignChanged_;  // a number never sent, or a second copy
    } else if (bytes != expected_[number]) {
        *state = State::Changed;
    } else if (*state == State::Overdue) {
        *state = State::Late;
    } else {
        *state = State::Back;
        roundTripUs_[number] =
            std::chrono::duration_cast<std::chrono::microseconds>(when - sentAt_[number]).count();
    }
    changed_.notify_all();
}

bool LoopProbe::waitFor(unsigned number, Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_until(lock, deadline, [&] { return states_[number] != State::Waiting; })) {
        return true;
    }
    states_[number] = State::Overdue;
    return false;
}

LoopResult LoopProbe::run(Send const& send, unsigned count, std::size_t longBytes) {
    LoopResult result;
    result.longBytes = std::max(longBytes, kShortBytes);
    unsigned const total = count + 1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        expected_.clear();
        for (unsigned number = 0; number < total; ++number) {
            expected_.push_back(message(number, number < count ? kShortBytes : result.longBytes));
        }
        states_.assign(total, State::Unsent);
        sentAt_.assign(total, Clock::time_point());
        roundTripUs_.assign(total, -1);
        foreignChanged_ = 0;
    }
    unsigned lossesInRow = 0;
    for (unsigned number = 0; number < total; ++number) {
        Bytes const& bytes = expected_[number];
        Clock::time_point sentAt;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            states_[number] = State::Waiting;
            sentAt = sentAt_[number] = Clock::now();
        }
        try {
            send(bytes);
        } catch (std::exception const& error) {
            std::lock_guard<std::mutex> lock(mutex_);
            states_[number] = State::Unsent;
            result.error = std::string("the output failed after ") + std::to_string(number) +
                           " messages: " + error.what();
            break;
        }
        result.sent = number + 1;
        auto const onTheWire = std::chrono::microseconds(bytes.size() * 320);  // 3125 bytes/s
        if (waitFor(number, sentAt + wait_ + onTheWire)) {
            lossesInRow = 0;
        } else if (++lossesInRow == kGiveUpAfterLosses) {
            result.error = "gave up: " + std::to_string(kGiveUpAfterLosses) +
                           " messages in a row did not come back";
            break;
        }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // One more wait for those that are overdue: they may still come, late.
    changed_.wait_for(lock, wait_, [&] {
        return std::none_of(states_.begin(), states_.end(), [](State s) { return s == State::Overdue; });
    });
    std::vector<long long> shortUs;
    for (unsigned number = 0; number < result.sent; ++number) {
        switch (states_[number]) {
        case State::Back:
            ++result.inTime;
            if (number < count) {
                shortUs.push_back(roundTripUs_[number]);
            } else {
                result.longUs = roundTripUs_[number];
            }
            break;
        case State::Late: ++result.late; break;
        case State::Changed: ++result.changed; break;
        default: ++result.lost; break;
        }
    }
    result.changed += foreignChanged_;
    if (!shortUs.empty()) {
        std::sort(shortUs.begin(), shortUs.end());
        std::size_t const n = shortUs.size();
        result.medianUs = shortUs[(n - 1) / 2];
        result.p99Us = shortUs[std::min(n - 1, (n * 99 + 99) / 100 - 1)];
        result.maxUs = shortUs.back();
    }
    return result;
}
