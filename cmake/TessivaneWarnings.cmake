# Flags shared by every target of the project (not by the dependencies).
add_library(tessivane_options INTERFACE)
target_compile_options(tessivane_options INTERFACE -Wall -Wextra -Wno-unused-parameter)

if(WIN32)
  # Unicode-aware Win32 headers, no min/max macros, Windows 7 API level (timeSetEvent etc. exist
  # everywhere; this only hides newer declarations we must not depend on).
  target_compile_definitions(tessivane_options INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
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
