#!/usr/bin/env bash
# Builds the saver once more and compares the image byte for byte with the
# one the build folder holds already: this one from a copy of the tree at
# another path, in a build folder of its own, later, and with its stamp from
# SOURCE_DATE_EPOCH (no git in the copy) where the first took it from the
# last commit. Also checks that no folder name of either build, nor this
# machine's name, reached the image.
#   check_reproducible.sh <source tree> <toolchain file> <kubotrax.scr built from the tree>
set -u
src=$1
toolchain=$2
first=$3
[ -f "$first" ] || { echo "no saver image at $first: build first"; exit 1; }
work=$(mktemp -d /tmp/kubo-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT

build_saver() {  # source, build folder
  cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DKUBO_BUILD_TESTS=OFF >"$2.log" 2>&1 &&
    cmake --build "$2" --target kubotrax -j2 >>"$2.log" 2>&1 ||
    { cat "$2.log"; echo "build in $2 failed"; exit 1; }
}

mkdir -p "$work/elsewhere/source-copy"
tar -C "$src" --exclude=./.git --exclude='./build*' --exclude=./dist -cf - . |
  tar -C "$work/elsewhere/source-copy" -xf -
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct) \
  build_saver "$work/elsewhere/source-copy" "$work/elsewhere/second-build"

second=$work/elsewhere/second-build/kubotrax.scr
fail=0
if cmp -s "$first" "$second"; then
  echo "identical: $(sha256sum <"$first" | cut -c1-64) ($(stat -c %s "$first") bytes)"
else
  echo "the two builds differ:"; cmp -l "$first" "$second" | head -n 20; fail=1
fi
for leak in "$work" "$(dirname "$first")" second-build source-copy "$src" "$(hostname)"; do
  if grep -a -q -F -- "$leak" "$first"; then echo "the image holds \"$leak\""; fail=1; fi
done
exit $fail
