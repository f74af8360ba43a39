#include "settings/JsonParsing.h"

#include <cstdlib>
#include <mutex>

namespace {

thread_local bool allocationFailed = false;
thread_local long allocationsLeft = -1;  // negative: no limit

void* CJSON_CDECL recordingMalloc(std::size_t size) {
    void* block = nullptr;
    if (allocationsLeft != 0) {
        block = std::malloc(size);
        if (allocationsLeft > 0) {
            --allocationsLeft;
        }
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

void limitJsonAllocationsOnThisThread(long count) { allocationsLeft = count; }

ParsedText parseStoredText(char const* text) {
    useRecordingJsonAllocator();
    std::lock_guard<std::mutex> const oneAtATime(parseLock());
    JsonAllocationWatch const watch;
    ParsedText parsed;
    parsed.document.reset(cJSON_Parse(text));
    parsed.outOfMemory = !parsed.document && watch.failed();
    return parsed;
}
