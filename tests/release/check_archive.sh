#!/usr/bin/env bash
# Runs scripts/release on an image already built and checks the archive: its
# name, its entries in order, that it unpacks to the very image given with
# checksums that match, that a second run writes the same bytes, and that an
# image that is not a 32-bit program is refused. The notes and the INF travel
# with Windows line ends, the INF with the archive's version for the
# installed-programs entry.
#   check_archive.sh <source tree> <kubotrax.scr>
set -u
src=$1
image=$2
[ -f "$image" ] || { echo "no saver image at $image: build first"; exit 1; }
work=$(mktemp -d /tmp/kubo-archive.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail=0

"$src/scripts/release" --image "$image" --out "$work/first" >"$work/log" 2>&1 ||
  { cat "$work/log"; echo "scripts/release failed"; exit 1; }
sleep 2  # zip times have a resolution of two seconds
"$src/scripts/release" --image "$image" --out "$work/second" >/dev/null 2>&1
# The same image with the machine field of a 64-bit program.
python3 - "$image" "$work/x64.scr" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
at = struct.unpack_from("<I", data, 0x3C)[0]
struct.pack_into("<H", data, at + 4, 0x8664)
open(sys.argv[2], "wb").write(data)
PY
if "$src/scripts/release" --image "$work/x64.scr" --out "$work/x64" >/dev/null 2>&1; then
  echo "scripts/release packed a 64-bit image"; fail=1
fi
zips=("$work"/first/*.zip)
[ ${#zips[@]} -eq 1 ] || { echo "want one archive, got: ${zips[*]}"; exit 1; }
zip=${zips[0]}
want_name="kubotrax-1.2.0.1-$(git -C "$src" rev-parse --short=10 HEAD).zip"
[ "$(basename "$zip")" = "$want_name" ] || { echo "archive named $(basename "$zip"), want $want_name"; fail=1; }
cmp -s "$zip" "$work/second/$(basename "$zip")" || { echo "two runs wrote different archives"; fail=1; }

entries=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
[ "$entries" = "kubotrax.scr kubotrax.inf INSTALL.txt FIELDCHECK.txt SHA256SUMS" ] || { echo "entries: $entries"; fail=1; }
python3 -m zipfile -e "$zip" "$work/unpacked"
(cd "$work/unpacked" && sha256sum --quiet -c SHA256SUMS) || { echo "checksums do not match"; fail=1; }
[ "$(wc -l <"$work/unpacked/SHA256SUMS")" = 4 ] || { echo "SHA256SUMS should list the four other files"; fail=1; }
cmp -s "$image" "$work/unpacked/kubotrax.scr" || { echo "kubotrax.scr is not the image given"; fail=1; }
for text in INSTALL.txt FIELDCHECK.txt kubotrax.inf; do
  ! grep -q $'[^\r]$\|^$' "$work/unpacked/$text" || { echo "$text lacks Windows line ends"; fail=1; }
done
grep -q $'^Version="1.2.0.1"\r$' "$work/unpacked/kubotrax.inf" || { echo "kubotrax.inf does not carry version 1.2.0.1"; fail=1; }

[ $fail -eq 0 ] && echo "archive checks passed: $(basename "$zip"), $(stat -c %s "$zip") bytes"
exit $fail
