# Flags shared by every target of the project (not by the dependencies).
add_library(tessivane_options INTERFACE)
target_compile_options(tessivane_options INTERFACE -Wall -Wextra -Wno-unused-parameter)

if(WIN32)
  # No min/max macros; the Windows 10 API level, our floor: the manifest's UTF-8 code page, on
  # which every device name depends, needs Windows 10 version 1903. Declarations newer than the
  # floor stay hidden, so nothing the program calls can be missing on a supported system.
  target_compile_definitions(tessivane_options INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN
                             _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  # One self-contained exe: no libgcc/libstdc++/winpthread DLLs beside it.
  target_link_options(tessivane_options INTERFACE -static -static-libgcc -static-libstdc++)
elseif(TESSIVANE_SANITIZERS)
  list(JOIN TESSIVANE_SANITIZERS "," _san)
  target_compile_options(tessivane_options INTERFACE -fsanitize=${_san} -fno-omit-frame-pointer -g)
  target_link_options(tessivane_options INTERFACE -fsanitize=${_san})
  if("undefined" IN_LIST TESSIVANE_SANITIZERS)
    # A UB report must fail the test, not only print.
    target_compile_options(tessivane_options INTERFACE -fno-sanitize-recover=undefined)
  endif()
endif()
