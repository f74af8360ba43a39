#include "check/LoopProbe.h"

#include <algorithm>
#include <exception>

namespace {

std::uint8_t const kEndOfSysEx = 0xF7;
// F0 7D 'T' 'C' <mark: 2 bytes> <number: 3 bytes> <payload> F7
std::size_t const kHeader = 9, kShortBytes = 16;
unsigned const kGiveUpAfterLosses = 3;

}  // namespace

LoopResult summarize(std::vector<Trip> const& trips) {
    LoopResult result;
    std::vector<long long> shortUs;
    for (Trip const& trip : trips) {
        result.sent += trip.sentUs >= 0;
        result.repeated += trip.repeats;
        if (trip.sentUs < 0 || trip.changed || trip.backUs < 0) {
            result.changed += trip.sentUs >= 0 && trip.changed;
            result.lost += trip.sentUs >= 0 && !trip.changed;
        } else {
            ++(trip.backUs <= trip.dueUs ? result.inTime : result.late);
            long long const us = trip.backUs - trip.sentUs;
            &trip == &trips.back() ? void(result.longUs = us) : shortUs.push_back(us);
        }
    }
    std::sort(shortUs.begin(), shortUs.end());
    if (std::size_t const n = shortUs.size()) {
        result.medianUs = shortUs[(n - 1) / 2];
        result.p99Us = shortUs[(n * 99 + 99) / 100 - 1];  // the ceil(0.99 n)-th
        result.maxUs = shortUs.back();
    }
    return result;
}

LoopProbe::LoopProbe(std::chrono::milliseconds wait) : wait_(wait) {
    // Tells this run's messages from those of an earlier or a parallel one.
    auto const now = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() / 1000);
    mark_[0] = static_cast<std::uint8_t>(now & 0x7F);
    mark_[1] = static_cast<std::uint8_t>((now >> 7) & 0x7F);
}

LoopProbe::Bytes LoopProbe::message(unsigned number, std::size_t size) const {
    Bytes bytes = {0xF0, 0x7D, 'T', 'C', mark_[0], mark_[1], static_cast<std::uint8_t>(number & 0x7F),
                   static_cast<std::uint8_t>((number >> 7) & 0x7F), static_cast<std::uint8_t>((number >> 14) & 0x7F)};
    for (std::size_t i = 0; bytes.size() + 1 < size; ++i) {
        bytes.push_back(static_cast<std::uint8_t>((number * 31 + i * 7) & 0x7F));
    }
    bytes.push_back(kEndOfSysEx);
    return bytes;
}

long long LoopProbe::sinceStart() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
}

void LoopProbe::received(std::uint8_t const* bytes, std::size_t length) {
    // The input's buffers hold the long message whole; anything else is someone else's.
    Bytes const header = message(0, kShortBytes);
    if (length <= kHeader || bytes[length - 1] != kEndOfSysEx || !std::equal(bytes, bytes + 6, header.begin())) {
        return;
    }
    unsigned const number = bytes[6] | (bytes[7] << 7) | (bytes[8] << 14);
    std::lock_guard<std::mutex> lock(mutex_);
    Trip* trip = number < trips_.size() && trips_[number].sentUs >= 0 ? &trips_[number] : nullptr;
    if (trip == nullptr) {
        return;  // a number never sent: the message it was is lost
    } else if (!pending(*trip)) {
        ++trip->repeats;
    } else if (!std::equal(bytes, bytes + length, expected_[number].begin(), expected_[number].end())) {
        trip->changed = true;
    } else {
        trip->backUs = sinceStart();
    }
    changed_.notify_all();
}

LoopResult LoopProbe::run(Send const& send, unsigned count, std::size_t longBytes) {
    longBytes = std::max(longBytes, kShortBytes);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        start_ = std::chrono::steady_clock::now();
        expected_.clear();
        for (unsigned number = 0; number <= count; ++number) {
            expected_.push_back(message(number, number < count ? kShortBytes : longBytes));
        }
        trips_.assign(count + 1, Trip());
    }
    std::string error;
    for (unsigned number = 0, lossesInRow = 0; number <= count && error.empty(); ++number) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            trips_[number].sentUs = sinceStart();
            trips_[number].dueUs = trips_[number].sentUs + std::chrono::microseconds(wait_).count() +
                                   static_cast<long long>(expected_[number].size()) * 320;
        }
        try {
            send(expected_[number]);
        } catch (std::exception const& failure) {
            std::lock_guard<std::mutex> lock(mutex_);
            trips_[number].sentUs = -1;
            error = "the output failed after " + std::to_string(number) + " messages: " + failure.what();
            break;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        bool const back = changed_.wait_until(lock, start_ + std::chrono::microseconds(trips_[number].dueUs),
                                              [&] { return !pending(trips_[number]); });
        lossesInRow = back ? 0 : lossesInRow + 1;
        if (lossesInRow == kGiveUpAfterLosses) {
            error = "gave up: " + std::to_string(kGiveUpAfterLosses) + " messages in a row did not come back";
        }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // One more wait for those that are overdue: they may still come, late.
    changed_.wait_for(lock, wait_, [&] { return std::none_of(trips_.begin(), trips_.end(), pending); });
    LoopResult result = summarize(trips_);
    result.longBytes = longBytes;
    result.error = error;
    return result;
}
