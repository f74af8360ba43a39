#include "tests/win32/ImportPatch.h"

#include <cstring>

namespace {

// The import address table entry of this executable for the function, or null.
void** importSlot(char const* function) {
    auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto const* nt = reinterpret_cast<IMAGE_NT_HEADERS const*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER const*>(base)->e_lfanew);
    DWORD const imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto const* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR const*>(base + imports);
         dll->Name != 0; ++dll) {
        auto const* name =
            reinterpret_cast<IMAGE_THUNK_DATA const*>(base + dll->OriginalFirstThunk);
        auto** slot = reinterpret_cast<void**>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            auto const* byName =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME const*>(base + name->u1.AddressOfData);
            if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                std::strcmp(byName->Name, function) == 0) {
                return slot;
            }
        }
    }
    return nullptr;
}

void write(void** slot, void* value) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}

}  // namespace

ImportPatch::ImportPatch(char const* function, void* standIn) : slot_(importSlot(function)) {
    if (slot_ != nullptr) {
        original_ = *slot_;
        write(slot_, standIn);
    }
}

ImportPatch::~ImportPatch() {
    if (slot_ != nullptr) {
        write(slot_, original_);
    }
}
