# Every dependency comes from Debian: natively its -dev packages, for Windows the static mingw
# builds that scripts/setup.sh makes from Debian's source packages into .deps/mingw.
find_package(Threads REQUIRED)

if(WIN32)
  # RtMidi installs its package file under share/rtmidi with this exact name.
  find_package(RtMidi REQUIRED CONFIGS RtMidi-config.cmake)
  find_package(cJSON REQUIRED)
  add_library(tessivane_cjson INTERFACE)
  target_link_libraries(tessivane_cjson INTERFACE cjson)
  target_include_directories(tessivane_cjson INTERFACE ${CMAKE_SOURCE_DIR}/.deps/mingw/include)

  # GoogleTest for Windows: compiled from Debian's sources with the mingw toolchain.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(TESSIVANE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build with the Windows toolchain")
  add_subdirectory(${TESSIVANE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # googletest's own CMake already defines the GTest:: aliases used below.
else()
  find_package(cJSON REQUIRED)
  add_library(tessivane_cjson INTERFACE)
  target_link_libraries(tessivane_cjson INTERFACE cjson)
  target_include_directories(tessivane_cjson INTERFACE ${CJSON_INCLUDE_DIRS})
  find_package(GTest REQUIRED)
  find_package(benchmark QUIET)
endif()

# readerwriterqueue is header-only; Debian installs it for both builds under /usr/include.
# The mingw build must not see the rest of the host's /usr/include, so it gets a folder of its own
# that holds only a link to the library's headers.
set(TESSIVANE_READERWRITERQUEUE_INCLUDE /usr/include CACHE PATH "Folder that holds readerwriterqueue/readerwriterqueue.h")
if(NOT EXISTS ${TESSIVANE_READERWRITERQUEUE_INCLUDE}/readerwriterqueue/readerwriterqueue.h)
  message(FATAL_ERROR "readerwriterqueue not found: run scripts/setup.sh")
endif()
set(_rwq ${CMAKE_BINARY_DIR}/include-readerwriterqueue)
file(MAKE_DIRECTORY ${_rwq})
file(COPY ${TESSIVANE_READERWRITERQUEUE_INCLUDE}/readerwriterqueue DESTINATION ${_rwq})
add_library(tessivane_readerwriterqueue INTERFACE)
target_include_directories(tessivane_readerwriterqueue SYSTEM INTERFACE ${_rwq})
