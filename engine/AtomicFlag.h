// A 0/1 flag whose every access is an interlocked compare-exchange, which is also a full memory
// barrier. The closing flag of a port entry: the output close sequence sets it, forwarding tests it.
#pragma once

#include <atomic>
#include <cstdint>

class AtomicFlag {
public:
    AtomicFlag() = default;
    AtomicFlag(AtomicFlag const&) = delete;
    AtomicFlag& operator=(AtomicFlag const&) = delete;
    virtual ~AtomicFlag() = default;

    // 0 -> 1; false if the flag was already set.
    bool set() { return exchangeIf(0, 1); }
    // 1 -> 0; false if the flag was already clear.
    bool clear() { return exchangeIf(1, 0); }
    // Writes 1 where it finds 1, so the value never changes; the exchange keeps it a full barrier.
    bool isSet() { return exchangeIf(1, 1); }

private:
    bool exchangeIf(std::int32_t expected, std::int32_t desired) {
        return value_.compare_exchange_strong(expected, desired, std::memory_order_seq_cst);
    }

    std::atomic<std::int32_t> value_{0};
};
