#include "program_state/win32/PublishedState.h"

#include "TessivaneVersion.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace {

wchar_t const kSectionName[] = L"Local\\VelmoraTessivaneState";

struct MappedView {
    void operator()(void* view) const noexcept { UnmapViewOfFile(view); }
};
using View = std::unique_ptr<unsigned char, MappedView>;
struct HandleClose {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleClose>;

struct Section {
    Handle mapping;
    View view;
};

// The section this copy created, or null when it could not, or another copy has one.
std::unique_ptr<Section> createSection() {
    auto section = std::make_unique<Section>();
    section->mapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              static_cast<DWORD>(kStateSectionBytes), kSectionName));
    if (!section->mapping || GetLastError() == ERROR_ALREADY_EXISTS) {
        return nullptr;
    }
    section->view.reset(static_cast<unsigned char*>(
        MapViewOfFile(section->mapping.get(), FILE_MAP_WRITE, 0, 0, kStateSectionBytes)));
    return section->view ? std::move(section) : nullptr;
}

}  // namespace

void publishProgramState(ProgramState const& state) noexcept {
    // Never destroyed: a last tick may still publish while the process's statics go. Another copy
    // may hold the name now and end later, so a copy without a section tries again at each change.
    static Section* section = nullptr;
    try {
        if (section == nullptr) {
            section = createSection().release();
        }
        if (section != nullptr) {
            ProgramState published = state;
            published.processId = GetCurrentProcessId();
            published.version = TESSIVANE_VERSION_TEXT;
            writeStateSection(section->view.get(), encodeProgramState(published, kStatePayloadBytes));
        }
    } catch (...) {
        // Out of memory: the tool reads the last state written.
    }
}

PublishedState readPublishedState() {
    PublishedState result;
    Handle const mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, kSectionName));
    DWORD const error = mapping ? ERROR_SUCCESS : GetLastError();
    View const view(mapping ? static_cast<unsigned char*>(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0))
                            : nullptr);
    MEMORY_BASIC_INFORMATION region = {};
    if (view && VirtualQuery(view.get(), &region, sizeof region) == sizeof region) {
        return readStateSection(view.get(), region.RegionSize);
    }
    if (error == ERROR_FILE_NOT_FOUND) {
        return result;
    }
    result.status = StateStatus::Unreadable;
    result.systemError = mapping ? GetLastError() : error;
    return result;
}
