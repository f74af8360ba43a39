#include "program_state/StateSection.h"

#include <cstring>
#include <thread>

namespace {

char const kMagic[] = "TSVSTATE";
std::size_t const kSequenceAt = 8, kVersionAt = 12, kLengthAt = 16;

// Every byte is read and written atomically (relaxed), since the other side may be at it at the
// same time; the sequence number orders them.
std::uint32_t loadNumber(unsigned char const* at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= std::uint32_t{__atomic_load_n(at + i, __ATOMIC_RELAXED)} << (8 * i);
    }
    return value;
}

void storeBytes(unsigned char* at, void const* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        __atomic_store_n(at + i, static_cast<unsigned char const*>(bytes)[i], __ATOMIC_RELAXED);
    }
}

void storeNumber(unsigned char* at, std::uint32_t value) {
    unsigned char const bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    storeBytes(at, bytes, 4);
}

std::uint32_t sequence(unsigned char const* section, int order) {
    std::uint32_t value;
    __atomic_load(reinterpret_cast<std::uint32_t const*>(section + kSequenceAt), &value, order);
    return value;
}

}  // namespace

void writeStateSection(unsigned char* section, std::string const& payload) {
    auto* const counter = reinterpret_cast<std::uint32_t*>(section + kSequenceAt);
    std::uint32_t const start = __atomic_load_n(counter, __ATOMIC_RELAXED);
    __atomic_store_n(counter, start + 1, __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_RELEASE);
    storeBytes(section, kMagic, 8);
    storeNumber(section + kVersionAt, kStateLayoutVersion);
    storeNumber(section + kLengthAt, static_cast<std::uint32_t>(payload.size()));
    storeBytes(section + kStateHeaderBytes, payload.data(), payload.size());
    __atomic_store_n(counter, start + 2, __ATOMIC_RELEASE);
}

PublishedState readStateSection(unsigned char const* section, std::size_t size, unsigned attempts) {
    PublishedState result;
    result.status = size < kStateHeaderBytes ? StateStatus::Truncated : StateStatus::Busy;
    for (unsigned attempt = 0; result.status == StateStatus::Busy && attempt < attempts; ++attempt) {
        std::uint32_t const before = sequence(section, __ATOMIC_ACQUIRE);
        if (before == 0 || before % 2 != 0) {
            std::this_thread::yield();  // not written yet, or being written
            continue;
        }
        char magic[8];
        for (std::size_t i = 0; i < 8; ++i) {
            magic[i] = static_cast<char>(__atomic_load_n(section + i, __ATOMIC_RELAXED));
        }
        std::uint32_t const version = loadNumber(section + kVersionAt);
        std::uint32_t const length = loadNumber(section + kLengthAt);
        bool const ours = std::memcmp(magic, kMagic, 8) == 0 && version == kStateLayoutVersion;
        std::string payload;
        for (std::size_t i = 0; ours && length <= size - kStateHeaderBytes && i < length; ++i) {
            payload += static_cast<char>(__atomic_load_n(section + kStateHeaderBytes + i, __ATOMIC_RELAXED));
        }
        __atomic_thread_fence(__ATOMIC_ACQUIRE);
        if (sequence(section, __ATOMIC_RELAXED) != before) {
            continue;  // written meanwhile: the copy may mix two states
        }
        std::optional<DecodedState> decoded;
        if (ours && payload.size() == length) {
            decoded = decodeProgramState(payload);
        }
        // A section of another layout may name its version in the same place, or not at all.
        result.status = decoded ? StateStatus::Read
                        : std::memcmp(magic, kMagic, 8) == 0 && version != kStateLayoutVersion ? StateStatus::OtherVersion
                                                                                               : StateStatus::Truncated;
        result.layoutVersion = version;
        if (decoded) {
            result.decoded = std::move(*decoded);
        }
    }
    return result;
}
