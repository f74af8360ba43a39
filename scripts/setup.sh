#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine, and builds the two
# libraries that Debian has no mingw packages for (RtMidi, cJSON) from Debian's own source
# packages into .deps/mingw. Idempotent: a second run only checks and returns.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps="$root/.deps"
prefix="$deps/mingw"

packages=(
  cmake make g++ pkg-config ninja-build
  mingw-w64 g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine fonts-liberation xvfb xauth imagemagick
  libcjson-dev libreaderwriterqueue-dev librtmidi-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  dpkg-dev
  clang libclang-rt-14-dev
  nsis zip unzip
  osslsigncode openssl python3-yaml
  # Signing with a key on a PKCS#11 token: OpenSSL's pkcs11 engine, which osslsigncode loads; the
  # release test's token is a SoftHSM one, filled with pkcs11-tool (opensc).
  libengine-pkcs11-openssl softhsm2 opensc
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Source packages, fetched through a private apt configuration so the system's own is untouched.
fetch_sources() {
  local apt="$deps/apt"
  mkdir -p "$apt/lists/partial" "$deps/src"
  : > "$apt/sources.sources"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >> "$apt/sources.sources" && echo >> "$apt/sources.sources"
  done
  local opts=(-o Dir::Etc::SourceList="$apt/sources.sources" -o Dir::Etc::SourceParts=/dev/null
              -o Dir::State::Lists="$apt/lists" -o APT::Sandbox::User=root)
  apt-get "${opts[@]}" -qq update
  (cd "$deps/src" && apt-get "${opts[@]}" -qq source rtmidi cjson)
}

src_dir() { find "$deps/src" -maxdepth 1 -type d -name "$1-*" | sort | tail -n 1; }

# What each library is built with. The stamp of a finished build holds this text, so a machine
# whose .deps/mingw was built with other flags builds the library again.
# RtMidi: WinMM port names must stay exactly as the driver reports them (without
# RTMIDI_DO_NOT_ENSURE_UNIQUE_PORTNAMES it appends " <index>" to every name, which breaks unique
# names and every stored choice); UNICODE makes it read them with midiOutGetDevCapsW and convert
# them to UTF-8 itself, where the ANSI call would squeeze them into 32 bytes of the code page.
rtmidi_flags="-DRTMIDI_DO_NOT_ENSURE_UNIQUE_PORTNAMES -DUNICODE -D_UNICODE"
# cJSON: its own hardening flags (stack protector) do not link under mingw.
cjson_flags="-DENABLE_CUSTOM_COMPILER_FLAGS=OFF"
built_with() { [ -f "$1" ] && [ "$(cat "$1")" = "$2" ]; }

if ! built_with "$prefix/.rtmidi.done" "$rtmidi_flags" || ! built_with "$prefix/.cjson.done" "$cjson_flags"; then
  [ -n "$(src_dir rtmidi)" ] && [ -n "$(src_dir cjson)" ] || fetch_sources
  toolchain="$root/cmake/mingw-w64-x86_64.cmake"
  if ! built_with "$prefix/.rtmidi.done" "$rtmidi_flags"; then
    echo "setup: building RtMidi for mingw ($rtmidi_flags)"
    rm -rf "$deps/build/rtmidi"
    cmake -S "$(src_dir rtmidi)" -B "$deps/build/rtmidi" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DRTMIDI_API_JACK=OFF \
      -DRTMIDI_BUILD_TESTING=OFF -DCMAKE_CXX_FLAGS="$rtmidi_flags" >/dev/null
    cmake --build "$deps/build/rtmidi" >/dev/null
    cmake --install "$deps/build/rtmidi" >/dev/null
    echo "$rtmidi_flags" >"$prefix/.rtmidi.done"
  fi
  if ! built_with "$prefix/.cjson.done" "$cjson_flags"; then
    echo "setup: building cJSON for mingw ($cjson_flags)"
    rm -rf "$deps/build/cjson"
    cmake -S "$(src_dir cjson)" -B "$deps/build/cjson" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_SHARED_AND_STATIC_LIBS=OFF \
      "$cjson_flags" -DENABLE_CJSON_TEST=OFF -DENABLE_CJSON_UTILS=OFF >/dev/null
    cmake --build "$deps/build/cjson" >/dev/null
    cmake --install "$deps/build/cjson" >/dev/null
    echo "$cjson_flags" >"$prefix/.cjson.done"
  fi
fi
echo "setup: ready (mingw libraries in $prefix)"
