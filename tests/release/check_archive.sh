#!/usr/bin/env bash
# Runs scripts/release on images already built and checks the archive: its
# name, its entries in order, that it unpacks to the very images given with
# checksums that match, that a second run writes the same bytes, and that
# images given the wrong way round are refused.
#   check_archive.sh <source tree> <32-bit kubotrax.scr> <64-bit kubotrax.scr>
set -u
src=$1
image32=$2
image64=$3
for image in "$image32" "$image64"; do
  [ -f "$image" ] || { echo "no saver image at $image: build both presets first"; exit 1; }
done
work=$(mktemp -d /tmp/kubo-archive.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail=0

"$src/scripts/release" --images "$image32" "$image64" --out "$work/first" >"$work/log" 2>&1 ||
  { cat "$work/log"; echo "scripts/release failed"; exit 1; }
sleep 2  # zip times have a resolution of two seconds
"$src/scripts/release" --images "$image32" "$image64" --out "$work/second" >/dev/null 2>&1
if "$src/scripts/release" --images "$image64" "$image32" --out "$work/swapped" >/dev/null 2>&1; then
  echo "scripts/release packed the 64-bit image as the 32-bit one"; fail=1
fi
zips=("$work"/first/*.zip)
[ ${#zips[@]} -eq 1 ] || { echo "want one archive, got: ${zips[*]}"; exit 1; }
zip=${zips[0]}
want_name="kubotrax-1.2.0.1-$(git -C "$src" rev-parse --short=10 HEAD).zip"
[ "$(basename "$zip")" = "$want_name" ] || { echo "archive named $(basename "$zip"), want $want_name"; fail=1; }
cmp -s "$zip" "$work/second/$(basename "$zip")" || { echo "two runs wrote different archives"; fail=1; }

entries=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
[ "$entries" = "kubotrax.scr x64/kubotrax.scr INSTALL.txt SHA256SUMS" ] ||
  { echo "entries: $entries"; fail=1; }
python3 -m zipfile -e "$zip" "$work/unpacked"
(cd "$work/unpacked" && sha256sum --quiet -c SHA256SUMS) || { echo "checksums do not match"; fail=1; }
[ "$(wc -l <"$work/unpacked/SHA256SUMS")" = 3 ] || { echo "SHA256SUMS should list the three other files"; fail=1; }
cmp -s "$image32" "$work/unpacked/kubotrax.scr" || { echo "kubotrax.scr is not the 32-bit image"; fail=1; }
cmp -s "$image64" "$work/unpacked/x64/kubotrax.scr" || { echo "x64/kubotrax.scr is not the 64-bit image"; fail=1; }
grep -q $'\r$' "$work/unpacked/INSTALL.txt" || { echo "INSTALL.txt lacks Windows line ends"; fail=1; }

[ $fail -eq 0 ] && echo "archive checks passed: $(basename "$zip"), $(stat -c %s "$zip") bytes"
exit $fail
