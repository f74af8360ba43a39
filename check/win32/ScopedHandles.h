// Owners of the kernel and service-manager handles the tool opens.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

struct KernelHandleClose {
    void operator()(HANDLE handle) const noexcept {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
struct ServiceHandleClose {
    void operator()(SC_HANDLE handle) const noexcept { CloseServiceHandle(handle); }
};

using KernelHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleClose>;
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleClose>;
