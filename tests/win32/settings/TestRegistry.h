#pragma once
// Raw registry access for the tests: values of any type and size, written and read back
// byte for byte, beside the code under test.

#include <windows.h>

#include <optional>
#include <string>

struct RawValue {
    DWORD type = REG_NONE;
    std::string bytes;  // exactly as stored, terminator included when there is one
};

// Creates the key when needed.
void setRawValue(char const* keyPath, char const* name, DWORD type, std::string const& bytes);
std::optional<RawValue> rawValue(char const* keyPath, char const* name);
void deleteRawValue(char const* keyPath, char const* name);
bool keyExists(char const* keyPath);
void deleteKeyTree(char const* keyPath);

// A text as REG_SZ stores it: with its terminator.
inline std::string sz(std::string text) {
    text.push_back('\0');
    return text;
}

// Puts a value back as it was (or removes it when there was none) however a case ends.
class SavedValue {
public:
    SavedValue(char const* keyPath, char const* name)
        : keyPath_(keyPath), name_(name), saved_(rawValue(keyPath, name)) {}
    ~SavedValue() {
        deleteRawValue(keyPath_, name_);
        if (saved_) {
            setRawValue(keyPath_, name_, saved_->type, saved_->bytes);
        }
    }
    SavedValue(SavedValue const&) = delete;
    SavedValue& operator=(SavedValue const&) = delete;

private:
    char const* keyPath_;
    char const* name_;
    std::optional<RawValue> saved_;
};
