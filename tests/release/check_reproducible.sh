#!/usr/bin/env bash
# Builds the saver twice and compares the images byte for byte: once from this
# tree, once from a copy of it at another path, each in a build folder of its
# own, the second at least a second later. The first build takes its stamp
# from the last commit, the second (no git in the copy) from SOURCE_DATE_EPOCH.
# Also checks that no folder name of either build, nor this machine's name,
# reached the image.
#   check_reproducible.sh <source tree> <toolchain file>
set -u
src=$1
toolchain=$2
work=$(mktemp -d /tmp/kubo-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT

build_saver() {  # source, build folder
  cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DKUBO_BUILD_TESTS=OFF >"$2.log" 2>&1 &&
    cmake --build "$2" --target kubotrax -j2 >>"$2.log" 2>&1 ||
    { cat "$2.log"; echo "build in $2 failed"; exit 1; }
}

build_saver "$src" "$work/first-build"
mkdir -p "$work/elsewhere/source-copy"
tar -C "$src" --exclude=./.git --exclude='./build*' --exclude=./dist -cf - . |
  tar -C "$work/elsewhere/source-copy" -xf -
sleep 1
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct) \
  build_saver "$work/elsewhere/source-copy" "$work/elsewhere/second-build"

first=$work/first-build/kubotrax.scr
second=$work/elsewhere/second-build/kubotrax.scr
fail=0
if cmp -s "$first" "$second"; then
  echo "identical: $(sha256sum <"$first" | cut -c1-64) ($(stat -c %s "$first") bytes)"
else
  echo "the two builds differ:"; cmp -l "$first" "$second" | head -n 20; fail=1
fi
for leak in "$work" first-build second-build source-copy "$src" "$(hostname)"; do
  if grep -a -q -F -- "$leak" "$first"; then echo "the image holds \"$leak\""; fail=1; fi
done
exit $fail
