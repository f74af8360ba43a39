#include "settings/JsonParsing.h"

#include <cstdlib>
#include <mutex>

namespace {

thread_local bool allocationFailed = false;
thread_local long allocationsLeft = -1;  // negative: no limit
thread_local long failuresLeft = -1;     // once the limit is reached; negative: all fail

void* CJSON_CDECL recordingMalloc(std::size_t size) {
    void* block = nullptr;
    if (allocationsLeft != 0) {
        block = std::malloc(size);
        if (allocationsLeft > 0) {
            --allocationsLeft;
        }
    } else if (failuresLeft > 0 && --failuresLeft == 0) {
        allocationsLeft = -1;  // this was the last to fail
    }
    if (block == nullptr) {
        allocationFailed = true;
    }
    return block;
}

void CJSON_CDECL recordingFree(void* block) { std::free(block); }

std::mutex& parseLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

void useRecordingJsonAllocator() {
    static bool const installed = [] {
        cJSON_Hooks hooks = {recordingMalloc, recordingFree};
        cJSON_InitHooks(&hooks);
        return true;
    }();
    (void)installed;
}

JsonAllocationWatch::JsonAllocationWatch() { allocationFailed = false; }

bool JsonAllocationWatch::failed() const { return allocationFailed; }

void limitJsonAllocationsOnThisThread(long count) {
    allocationsLeft = count;
    failuresLeft = -1;
}

void failJsonAllocationsOnThisThread(long count, long failing) {
    allocationsLeft = failing > 0 ? count : -1;
    failuresLeft = failing;
}

ParsedText parseStoredText(char const* text) {
    useRecordingJsonAllocator();
    std::lock_guard<std::mutex> const oneAtATime(parseLock());
    JsonAllocationWatch const watch;
    ParsedText parsed;
    parsed.document.reset(cJSON_Parse(text));
    parsed.outOfMemory = !parsed.document && watch.failed();
    return parsed;
}
