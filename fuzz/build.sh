#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ straight from the sources they
# need (src/platform and src/mail), apart from the g++ CMake build.
#
#   fuzz/build.sh [OUT_DIR]        default: ./build-fuzz
#
# Needs Debian's clang-14 and libclang-rt-14-dev (the fuzzer and address
# sanitizer runtimes); installs them when they are missing.
set -euo pipefail

for package in clang-14 libclang-rt-14-dev; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        SUDO=""
        [ "$(id -u)" -ne 0 ] && SUDO="sudo"
        export DEBIAN_FRONTEND=noninteractive
        $SUDO apt-get update -q
        $SUDO apt-get install -y -q --no-install-recommends clang-14 libclang-rt-14-dev
        break
    fi
done

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
out="$(mkdir -p "${1:-build-fuzz}" && cd "${1:-build-fuzz}" && pwd)"
cxx="${CXX_FUZZ:-clang++-14}"
command -v "$cxx" >/dev/null || cxx=clang++
flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined
       -fno-sanitize-recover=undefined -I"$root/src" -I"$here")

mkdir -p "$out/obj"
objects=()
pids=()
# An object is built anew when its source or any header is newer.
newest_header="$(ls -t "$root"/src/platform/*.h "$root"/src/mail/*.h | head -1)"
for src in "$root"/src/platform/*.cpp "$root"/src/mail/*.cpp; do
    obj="$out/obj/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
    objects+=("$obj")
    [[ -f "$obj" && "$obj" -nt "$src" && "$obj" -nt "$newest_header" ]] && continue
    echo "compile $src"
    rm -f "$obj"
    "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj" &
    pids+=($!)
    # two compilers at a time
    if (( ${#pids[@]} >= 2 )); then
        wait "${pids[0]}"
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do wait "$pid"; done

for target in "$here"/fuzz_*.cpp; do
    name="$(basename "$target" .cpp)"
    echo "link $name"
    "$cxx" "${flags[@]}" -fsanitize=fuzzer "$target" "${objects[@]}" -o "$out/$name"
done
echo "fuzz targets in $out"
