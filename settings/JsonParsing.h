#pragma once
// Parsing a stored text with cJSON, safely from any thread, and telling "not JSON" apart from "out
// of memory": cJSON answers both with no document.
//
// Thread contract: the engine's timer thread loads while the user-interface thread adds or
// removes. cJSON's parser writes a process-wide error record on every call, so parses are made one
// at a time under a lock of the settings code (it is not on the forwarding path). cJSON's allocator
// hooks are process-wide too: they are installed once, before the first cJSON call of this code,
// and record a failed allocation for the thread that asked.

#include "settings/JsonHandles.h"

struct ParsedText {
    JsonDocument document;     // null when the text is not JSON or memory ran out
    bool outOfMemory = false;  // an allocation failed while parsing
};

// Parses `text` (not null).
ParsedText parseStoredText(char const* text);

// Installs the recording allocator hooks once; every document operation calls it before it uses
// cJSON.
void useRecordingJsonAllocator();

// Notices whether an allocation of cJSON failed on this thread while it is alive.
class JsonAllocationWatch {
public:
    JsonAllocationWatch();
    bool failed() const;
};

// For tests: lets the next `count` cJSON allocations on this thread succeed and fails the ones
// after; a negative count lifts the limit.
void limitJsonAllocationsOnThisThread(long count);

// For tests: lets the next `count` cJSON allocations on this thread succeed, fails the `failing`
// ones after them, and lets the rest succeed again.
void failJsonAllocationsOnThisThread(long count, long failing);
