#include "simulated_driver/SimulatedApplication.h"
#include "simulated_driver/SimulatedDriver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/unit/driver/Receiver.h"

namespace tessivane {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;


// Closes a port at the end of a test whatever happens.
struct Port {
    Port(char16_t const* name, VirtualMidiDataCallback callback, std::uintptr_t instance,
         std::uint32_t flags, std::uint32_t maxSysex = 65535)
        : handle(simulatedDriver().createPortEx2(name, callback, instance, maxSysex, flags)) {}
    ~Port() {
        if (handle) simulatedDriver().closePort(handle);
    }
    VirtualMidiPortHandle handle;
};

TEST(SimulatedDriver, NameTakenFailsWith183UntilThePortIsClosed) {
    Receiver r;
    auto const driver = simulatedDriver();
    VirtualMidiPortHandle first = driver.createPortEx2(u"Dup", &Receiver::onData, r.instance(), 65535, 5);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(driver.createPortEx2(u"Dup", &Receiver::onData, r.instance(), 65535, 10), nullptr);
    EXPECT_EQ(simulatedDriverLastError(), kVirtualMidiErrorAlreadyExists);

    Port otherCase(u"dup", &Receiver::onData, r.instance(), 5);  // names compare exactly
    EXPECT_NE(otherCase.handle, nullptr);

    driver.shutdown(first);  // shut down but not closed: the name is still taken
    EXPECT_EQ(driver.createPortEx2(u"Dup", &Receiver::onData, r.instance(), 65535, 5), nullptr);
    driver.closePort(first);
    Port again(u"Dup", &Receiver::onData, r.instance(), 5);
    EXPECT_NE(again.handle, nullptr);
}

TEST(SimulatedDriver, RefusedAndInvalidNamesGiveNoPort) {
    Receiver r;
    refusePortName(u"Refused - MIDI");
    EXPECT_EQ(Port(u"Refused - MIDI", &Receiver::onData, r.instance(), 5).handle, nullptr);
    EXPECT_NE(simulatedDriverLastError(), 0u);
    EXPECT_NE(Port(u"Refused - SysEx", &Receiver::onData, r.instance(), 5).handle, nullptr);
    clearRefusedPortNames();
    EXPECT_NE(Port(u"Refused - MIDI", &Receiver::onData, r.instance(), 5).handle, nullptr);

    EXPECT_EQ(Port(nullptr, &Receiver::onData, r.instance(), 5).handle, nullptr);
    EXPECT_EQ(Port(u"", &Receiver::onData, r.instance(), 5).handle, nullptr);
    EXPECT_EQ(simulatedDriverLastError(), kSimErrorInvalidParameter);
}

TEST(SimulatedDriver, ParsedPortDeliversWholeMessagesOnDriverThreads) {
    Receiver r;
    Port port(u"Parsed", &Receiver::onData, r.instance(), 5, 8);
    auto app = SimulatedApplicationPort::open(u"Parsed");
    ASSERT_TRUE(app);
    EXPECT_TRUE(app->write({0x90, 0x3C}));
    EXPECT_TRUE(app->write({0x7F, 0x3E, 0x7F, 0xF0, 0x01}));
    EXPECT_TRUE(app->write({0xF8, 0xF7, 0xF0, 1, 2, 3, 4, 5, 6, 7, 0xF7}));  // second SysEx too long
    app->flush();
    std::lock_guard<std::mutex> lock(r.mutex);
    EXPECT_THAT(r.messages, ElementsAre(Bytes{0x90, 0x3C, 0x7F}, Bytes{0x90, 0x3E, 0x7F},
                                        Bytes{0xF8}, Bytes{0xF0, 0x01, 0xF7}));
    for (auto id : r.threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST(SimulatedDriver, UnparsedPortPassesBlocksAsWritten) {
    Receiver r;
    Port port(u"Raw", &Receiver::onData, r.instance(), 4);
    auto app = SimulatedApplicationPort::open(u"Raw");
    ASSERT_TRUE(app);
    app->write({0x90, 0x3C, 0x7F, 0x3E, 0x7F});
    app->write({0x01});
    app->flush();
    std::lock_guard<std::mutex> lock(r.mutex);
    EXPECT_THAT(r.messages, ElementsAre(Bytes{0x90, 0x3C, 0x7F, 0x3E, 0x7F}, Bytes{0x01}));
}

// Each writer plays its own channel and counts in the data bytes, in chunks that cut messages.
TEST(SimulatedDriver, ConcurrentWritersEachKeepTheirOrder) {
    Receiver r;
    Port port(u"Busy", &Receiver::onData, r.instance(), 5);
    int const writers = 4, count = 400;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([w] {
            auto app = SimulatedApplicationPort::open(u"Busy");
            ASSERT_TRUE(app);
            Bytes stream;
            for (int i = 0; i < count; ++i) {
                if (i % 50 == 0) stream.push_back(static_cast<std::uint8_t>(0x90 | w));
                stream.push_back(static_cast<std::uint8_t>(i >> 7));
                stream.push_back(static_cast<std::uint8_t>(i & 0x7F));
            }
            for (std::size_t at = 0; at < stream.size();) {
                std::size_t const n = std::min<std::size_t>(1 + (at % 7), stream.size() - at);
                app->write(stream.data() + at, n);
                at += n;
            }
            app->flush();
        });
    }
    for (auto& t : threads) t.join();
    std::map<int, std::vector<int>> perWriter;
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto const& m : r.messages) {
        ASSERT_EQ(m.size(), 3u);
        perWriter[m[0] & 0x0F].push_back(m[1] << 7 | m[2]);
    }
    ASSERT_EQ(perWriter.size(), static_cast<std::size_t>(writers));
    for (auto const& entry : perWriter) {
        ASSERT_EQ(entry.second.size(), static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) ASSERT_EQ(entry.second[i], i) << "writer " << entry.first;
    }
}

// Two callbacks of one port wait for each other: only possible if they run at the same time.
struct Rendezvous {
    std::mutex mutex;
    std::condition_variable cv;
    int inside = 0;
    bool met = false;
    static void TE_VM_CALL onData(VirtualMidiPortHandle, std::uint8_t*, std::uint32_t,
                                  std::uintptr_t instance) {
        auto* self = reinterpret_cast<Rendezvous*>(instance);
        std::unique_lock<std::mutex> lock(self->mutex);
        if (++self->inside == 2) self->met = true;
        self->cv.notify_all();
        self->cv.wait_for(lock, 5s, [&] { return self->met; });
    }
};

TEST(SimulatedDriver, CallbacksOfOnePortRunAtTheSameTimeForTwoApplications) {
    Rendezvous rv;
    Port port(u"Shared", &Rendezvous::onData, reinterpret_cast<std::uintptr_t>(&rv), 5);
    auto a = SimulatedApplicationPort::open(u"Shared");
    auto b = SimulatedApplicationPort::open(u"Shared");
    a->write({0xF8});
    b->write({0xF8});
    a->flush();
    b->flush();
    EXPECT_TRUE(rv.met);
}

struct ShutdownProbe {
    std::atomic<int> inside{0};
    std::atomic<bool> shutDone{false};
    std::atomic<int> lateCalls{0};
    std::atomic<int> calls{0};
    static void TE_VM_CALL onData(VirtualMidiPortHandle, std::uint8_t*, std::uint32_t,
                                 std::uintptr_t instance) {
        auto* self = reinterpret_cast<ShutdownProbe*>(instance);
        ++self->inside;
        if (self->shutDone) ++self->lateCalls;
        if (++self->calls % 16 == 0) std::this_thread::sleep_for(200us);  // a callback that blocks briefly
        --self->inside;
    }
};

TEST(SimulatedDriver, NoCallbackRunsOrStartsOnceShutdownReturns) {
    for (int round = 0; round < 100; ++round) {
        ShutdownProbe probe;
        auto const driver = simulatedDriver();
        VirtualMidiPortHandle port = driver.createPortEx2(
            u"Racing", &ShutdownProbe::onData, reinterpret_cast<std::uintptr_t>(&probe), 65535, 5);
        ASSERT_NE(port, nullptr);
        std::atomic<bool> stop{false};
        std::vector<std::thread> writers;
        for (int w = 0; w < 3; ++w) {
            writers.emplace_back([&] {
                auto app = SimulatedApplicationPort::open(u"Racing");
                if (!app) return;
                std::uint8_t const note[] = {0x90, 0x3C, 0x7F};
                while (!stop && app->write(note, sizeof note)) std::this_thread::yield();
            });
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 5)));
        driver.shutdown(port);
        EXPECT_EQ(probe.inside.load(), 0);
        probe.shutDone = true;
        std::this_thread::sleep_for(1ms);
        stop = true;
        for (auto& t : writers) t.join();  // their connections (and threads) end here
        driver.closePort(port);
        ASSERT_EQ(probe.lateCalls.load(), 0) << "round " << round;
    }
}

struct SelfShutdown {
    std::atomic<VirtualMidiPortHandle> port{nullptr};
    std::atomic<int> calls{0};
    static void TE_VM_CALL onData(VirtualMidiPortHandle, std::uint8_t*, std::uint32_t,
                                  std::uintptr_t instance) {
        auto* self = reinterpret_cast<SelfShutdown*>(instance);
        ++self->calls;
        simulatedDriver().shutdown(self->port);
    }
};

TEST(SimulatedDriver, ShutdownFromInsideItsOwnCallbackDoesNotHang) {
    SelfShutdown s;
    Port port(u"Self", &SelfShutdown::onData, reinterpret_cast<std::uintptr_t>(&s), 5);
    s.port = port.handle;
    auto app = SimulatedApplicationPort::open(u"Self");
    app->write({0x90, 0x3C, 0x7F, 0x80, 0x3C, 0x00});
    app->flush();
    EXPECT_EQ(s.calls.load(), 1);
    EXPECT_FALSE(app->write({0xF8}));
}

struct Loopback {
    VirtualMidiPortHandle in = nullptr;
    static void TE_VM_CALL onData(VirtualMidiPortHandle, std::uint8_t* bytes, std::uint32_t length,
                                  std::uintptr_t instance) {
        simulatedDriver().sendData(reinterpret_cast<Loopback*>(instance)->in, bytes, length);
    }
};

TEST(SimulatedDriver, WhatIsWrittenIntoOutComesOutOfIn) {
    Loopback loop;
    Port in(u"Loop In", &Loopback::onData, reinterpret_cast<std::uintptr_t>(&loop), 10);
    loop.in = in.handle;
    Port out(u"Loop Out", &Loopback::onData, reinterpret_cast<std::uintptr_t>(&loop), 5);
    auto reader = SimulatedApplicationPort::open(u"Loop In");
    auto writer = SimulatedApplicationPort::open(u"Loop Out");
    ASSERT_TRUE(reader && writer);
    EXPECT_FALSE(reader->write({0x90, 0x3C, 0x7F}));  // a port applications only read from
    writer->write({0x90, 0x3C, 0x7F, 0x3E, 0x7F, 0xF0, 0x7D, 0xF7});
    EXPECT_EQ(reader->read(2s), (Bytes{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(reader->read(2s), (Bytes{0x90, 0x3E, 0x7F}));
    EXPECT_EQ(reader->read(2s), (Bytes{0xF0, 0x7D, 0xF7}));
    EXPECT_FALSE(reader->read(20ms).has_value());
}

TEST(SimulatedDriver, SendParsesOnlyWithTheParseFlag) {
    Port parsed(u"Tx Parsed", nullptr, 0, 10);
    Port raw(u"Tx Raw", nullptr, 0, 8);
    auto parsedReader = SimulatedApplicationPort::open(u"Tx Parsed");
    auto rawReader = SimulatedApplicationPort::open(u"Tx Raw");
    Bytes block{0x90, 0x3C, 0x7F, 0x3E, 0x7F};
    EXPECT_EQ(simulatedDriver().sendData(parsed.handle, block.data(), 5), 1);
    EXPECT_EQ(simulatedDriver().sendData(raw.handle, block.data(), 5), 1);
    EXPECT_EQ(parsedReader->read(1s), (Bytes{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(parsedReader->read(1s), (Bytes{0x90, 0x3E, 0x7F}));
    EXPECT_EQ(rawReader->read(1s), block);
    EXPECT_EQ(simulatedDriver().sendData(raw.handle, nullptr, 3), 0);
    EXPECT_EQ(simulatedDriver().sendData(raw.handle, block.data(), 0), 0);
}

// A shared input's port: every application reading it gets every message, a 64 KiB SysEx whole;
// a reader that does not keep up loses messages, and the loss is counted, never silent.
TEST(SimulatedDriver, EveryReaderOfAPortGetsEverythingAndALaggardsLossIsCounted) {
    Port port(u"Keys - In", nullptr, 0, kVirtualMidiParseTx | kVirtualMidiTxOnly, 65536);
    auto first = SimulatedApplicationPort::open(u"Keys - In");
    auto second = SimulatedApplicationPort::open(u"Keys - In");
    ASSERT_TRUE(first && second);
    Bytes sysex(65536, 0x55);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    std::vector<Bytes> sent;
    for (int i = 0; i < 1000; ++i) {
        sent.push_back({0x90, static_cast<std::uint8_t>(i >> 7), static_cast<std::uint8_t>(i & 0x7F)});
        if (i == 500) sent.push_back(sysex);
        if (i % 100 == 0) sent.push_back({0xF8});
    }
    for (Bytes& message : sent) {
        auto const length = static_cast<std::uint32_t>(message.size());
        ASSERT_EQ(simulatedDriver().sendData(port.handle, message.data(), length), 1);
    }
    for (auto* reader : {first.get(), second.get()}) {
        for (Bytes const& expected : sent) ASSERT_EQ(reader->read(2s), expected);
        EXPECT_FALSE(reader->read(0ms).has_value());
        EXPECT_EQ(reader->lost(), 0u);
    }

    std::uint8_t clock = 0xF8;
    int const flood = 5000;
    for (int i = 0; i < flood; ++i) simulatedDriver().sendData(port.handle, &clock, 1);
    std::uint64_t got = 0;
    while (first->read(0ms)) ++got;
    EXPECT_GT(first->lost(), 0u);
    EXPECT_EQ(got + first->lost(), static_cast<std::uint64_t>(flood));
}

TEST(SimulatedDriver, AShutDownPortTakesNothingAndIsNotListed) {
    Receiver r;
    Port port(u"Gone", &Receiver::onData, r.instance(), 10);
    auto reader = SimulatedApplicationPort::open(u"Gone");
    ASSERT_TRUE(reader);
    auto names = simulatedPortNames();
    EXPECT_NE(std::find(names.begin(), names.end(), u"Gone"), names.end());

    EXPECT_EQ(simulatedDriver().shutdown(port.handle), 1);
    std::uint8_t note[] = {0x90, 0x3C, 0x7F};
    EXPECT_EQ(simulatedDriver().sendData(port.handle, note, 3), 0);
    EXPECT_FALSE(reader->read(20ms).has_value());
    EXPECT_EQ(SimulatedApplicationPort::open(u"Gone"), nullptr);
    names = simulatedPortNames();
    EXPECT_EQ(std::find(names.begin(), names.end(), u"Gone"), names.end());
    EXPECT_EQ(SimulatedApplicationPort::open(u"Never created"), nullptr);
}

TEST(SimulatedDriver, ClosingWithoutShutdownStillStopsCallbacksAndOutlivesApplications) {
    Receiver r;
    auto const driver = simulatedDriver();
    VirtualMidiPortHandle port = driver.createPortEx2(u"Close", &Receiver::onData, r.instance(), 65535, 5);
    auto app = SimulatedApplicationPort::open(u"Close");
    app->write({0x90, 0x3C, 0x7F});
    driver.closePort(port);
    std::size_t const seen = [&] { std::lock_guard<std::mutex> l(r.mutex); return r.messages.size(); }();
    EXPECT_FALSE(app->write({0x90, 0x3C, 0x7F}));
    app->flush();
    std::lock_guard<std::mutex> lock(r.mutex);
    EXPECT_EQ(r.messages.size(), seen);
}

}  // namespace
}  // namespace tessivane
