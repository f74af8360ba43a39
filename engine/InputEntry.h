// One shared input: the engine's single connection to a hardware MIDI input and the virtual port
// "<name> - In" from which any number of applications read what the device plays.
//
// Thread contract:
// - Created, opened, closed and released only by the service tick's thread (and teardown).
// - receive() runs on the input's own thread (WinMM's callback thread), one call at a time, from
//   the open until the input's closePort returns. It reads the closing flag, raises and lowers the
//   in-flight counter, feeds the assembler and sends whole messages out of the port; it never
//   waits, never allocates and never calls WinMM.
// - The tick touches the assembler only while the input is closed, so the two never meet there.
//
// Design note: each whole message goes straight from WinMM's callback to the driver's send; there
// is no queue and no thread of ours in between. WinMM's rule for its callback is that it must not
// call multimedia functions (other system calls are allowed), and the driver's send is not one: it
// copies the message to the port's readers and returns without waiting for any of them. Deliveries
// of one device come one at a time, so sends into one port never overlap. A queue and a thread would
// add a wake-up to every note (tens of microseconds, far more on a busy machine) and a second place
// to lose a message, and buy nothing. What can still be lost is counted, never silent: a SysEx cut
// short by another status or longer than the port takes, and a message the driver refused.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/AtomicFlag.h"
#include "engine/OpenOutcome.h"
#include "engine/PortEntry.h"
#include "midi_common/MidiStreamParser.h"
#include "midi_input/MidiInput.h"
#include "virtual_midi/VirtualMidiApi.h"

class InputEntry final : public MidiInputReceiver {
public:
    InputEntry(std::string name, VirtualMidiDriver const* driver);
    InputEntry(InputEntry const&) = delete;
    InputEntry& operator=(InputEntry const&) = delete;

    // The input's thread: one delivery as WinMM handed it over (a short message or a piece of a
    // SysEx); every message it completes goes out of the port whole.
    void receive(std::uint8_t const* bytes, std::size_t length) override;

    bool inputOpen() const { return input != nullptr && input->isPortOpen(); }
    // Tick thread, input closed: a SysEx the device did not finish is dropped, not continued by
    // what the device plays after it is opened again.
    void forgetPartialMessage() { assembler_.reset(); }

    // The input's unique name.
    std::string const name;
    // The hardware input; created with the entry, opened and closed by the tick.
    std::unique_ptr<MidiInput> input;
    // "<name> - In".
    VirtualPort port;
    // Deliveries inside this entry now.
    std::atomic<std::int32_t> inFlight{0};
    // Set while the input is being closed, and from release on.
    AtomicFlag closing;
    // Messages lost since the entry was made; the state shows it.
    std::atomic<std::uint64_t> lost{0};
    // Tick thread: why the last open failed, and the lost count the state last showed.
    OpenOutcome lastOpen;
    std::uint64_t lostShown = 0;

private:
    void send(std::uint8_t* bytes, std::size_t length);

    VirtualMidiDriver const* const driver_;
    // Joins the pieces of a SysEx and passes real-time bytes found among them on by themselves. Its
    // buffer is reserved for the longest SysEx the port takes, so receiving never allocates.
    tessivane::MidiStreamParser assembler_;
    std::uint64_t discardedCounted_ = 0;  // the input's thread
};

// Closes an entry's input safely against a delivery under way: set the closing flag, wait until no
// delivery is inside the entry, close (after which none runs), forget a partial SysEx, clear the
// flag. False when the system would not close the device.
bool runInputCloseSequence(InputEntry& entry);

// Releases an entry completely (teardown): its input is closed before its port goes, and no
// delivery reaches the entry afterwards.
void releaseInputEntry(std::unique_ptr<InputEntry> entry);
