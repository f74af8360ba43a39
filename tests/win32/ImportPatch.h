// Points this executable's import of a Win32 function at a stand-in while the patch lives, so
// that the program's code linked into a test reaches the stand-in: for failures Wine cannot be made
// to produce, and for counting calls.
#pragma once

#include <windows.h>

class ImportPatch {
public:
    ImportPatch(char const* function, void* standIn);
    ~ImportPatch();
    ImportPatch(ImportPatch const&) = delete;
    ImportPatch& operator=(ImportPatch const&) = delete;

    // The function the import named before; null when this executable does not import it.
    void* original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
