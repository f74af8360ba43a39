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

if [ ! -f "$prefix/.rtmidi.done" ] || [ ! -f "$prefix/.cjson.done" ]; then
  [ -n "$(src_dir rtmidi)" ] && [ -n "$(src_dir cjson)" ] || fetch_sources
  toolchain="$root/cmake/mingw-w64-x86_64.cmake"
  if [ ! -f "$prefix/.rtmidi.done" ]; then
    echo "setup: building RtMidi for mingw"
    # WinMM port names must stay exactly as the driver reports them: without this define RtMidi
    # appends " <index>" to every name, which breaks unique names and every stored choice.
    cmake -S "$(src_dir rtmidi)" -B "$deps/build/rtmidi" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DRTMIDI_API_JACK=OFF \
      -DRTMIDI_BUILD_TESTING=OFF -DCMAKE_CXX_FLAGS="-DRTMIDI_DO_NOT_ENSURE_UNIQUE_PORTNAMES" >/dev/null
    cmake --build "$deps/build/rtmidi" >/dev/null
    cmake --install "$deps/build/rtmidi" >/dev/null
    touch "$prefix/.rtmidi.done"
  fi
  if [ ! -f "$prefix/.cjson.done" ]; then
    echo "setup: building cJSON for mingw"
    # cJSON's own hardening flags (stack protector) do not link under mingw.
    cmake -S "$(src_dir cjson)" -B "$deps/build/cjson" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_SHARED_AND_STATIC_LIBS=OFF \
      -DENABLE_CUSTOM_COMPILER_FLAGS=OFF -DENABLE_CJSON_TEST=OFF -DENABLE_CJSON_UTILS=OFF >/dev/null
    cmake --build "$deps/build/cjson" >/dev/null
    cmake --install "$deps/build/cjson" >/dev/null
    touch "$prefix/.cjson.done"
  fi
fi
echo "setup: ready (mingw libraries in $prefix)"
