#!/usr/bin/env bash
# Checks a built saver image: the DLLs it imports, its subsystem and version.
#   check_image.sh kubotrax.scr [i686|x86_64]
# The image imports the four system DLLs and nothing else: no C runtime
# (MSVCRT.DLL), which a Windows 95 system may lack, and then loads nothing
# that imports it.
# The 32-bit image asks for subsystem 4.0 (Windows 95, NT 4.0); 64-bit Windows
# refuses a subsystem version before 5.02.
set -u
image=$1
arch=${2:-i686}
fail=0
case $arch in
  i686) magic=010b; want_major=4; want_minor=0 ;;
  x86_64) magic=020b; want_major=5; want_minor=2 ;;
  *) echo "unknown architecture $arch"; exit 1 ;;
esac
dump=$($arch-w64-mingw32-objdump -p "$image") || { echo "cannot read $image"; exit 1; }

allowed='^(KERNEL32|USER32|GDI32|ADVAPI32)\.DLL$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr a-z A-Z | sort -u)
for dll in $imports; do
  if ! [[ $dll =~ $allowed ]]; then echo "unexpected import: $dll"; fail=1; fi
done
[ -n "$imports" ] || { echo "no imports found"; fail=1; }

field() { printf '%s\n' "$dump" | awk -v k="$1" '$1 == k { print $2 }'; }
[ "$(field Subsystem)" = "00000002" ] || { echo "not a GUI program: $(field Subsystem)"; fail=1; }
[ "$(field MajorSubsystemVersion)" = "$want_major" ] && [ "$(field MinorSubsystemVersion)" = "$want_minor" ] ||
  { echo "subsystem version $(field MajorSubsystemVersion).$(field MinorSubsystemVersion), want $want_major.$want_minor"; fail=1; }
[ "$(field Magic)" = "$magic" ] || { echo "not an $arch image: magic $(field Magic)"; fail=1; }

size=$(stat -c %s "$image")
echo "kubotrax.scr ($arch): $size bytes; imports: $(echo $imports)"
[ "$size" -lt $((256 * 1024)) ] || { echo "image is $size bytes, over 256 KiB"; fail=1; }
[ $fail -eq 0 ] && echo "image checks passed"
exit $fail
