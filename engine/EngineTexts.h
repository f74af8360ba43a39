// Fixed texts and names of the engine.
#pragma once

#include <cstdint>

char const* const kClientName = "Velmora Tessivane client";
char const* const kOpenPortName = "RtMidi17 Output";
std::uint32_t const kBackEndWinMM = 4;

char const* const kMidiPortSuffix = " - MIDI";
char const* const kSysExPortSuffix = " - SysEx";
char const* const kLoopbackInSuffix = " In";
char const* const kLoopbackOutSuffix = " Out";
// The port of a shared input, which applications read what the input plays from.
char const* const kInputPortSuffix = " - In";

std::uint32_t const kMaxSysexLength = 0xFFFF;
// A shared input's port takes a SysEx of 64 KiB whole, F0 and F7 included (a sample or a patch
// dump from a keyboard).
std::uint32_t const kMaxInputSysexLength = 0x10000;

char const* const kErrorTimerStart = "Error: could not start MIDI thread.";
char const* const kErrorRequestRefused = "Error: could not process MIDI port disable request.";
// Followed by the port's name in quotation marks and a full stop.
char const* const kErrorPortNotCreated = "Error: could not create the virtual MIDI port";
// A shared input that could not be opened: followed by its name in quotation marks, a colon and
// why (kErrorInputInUse when another application has the device).
char const* const kErrorInputNotOpened = "Error: could not share the MIDI input";
// Followed by the input's name in quotation marks and kErrorInputNotClosedFix.
char const* const kErrorInputNotClosed = "Error: Windows did not close the MIDI input";
char const* const kErrorInputNotClosedFix = ". Unplug it and plug it in again.";
// A Share inputs click that the engine's queue refused.
char const* const kErrorInputRequestRefused =
    "Error: the input could not be shared or unshared now. Close Share inputs and try again.";
char const* const kErrorInputInUse = "another application is using it. Close that application, "
                                     "then tick the input again in Share inputs.";
char const* const kErrorDriverMissing =
    "Error: could not load teVirtualMIDI64.dll. The teVirtualMIDI driver is required.";
