#!/usr/bin/env bash
# Checks the built saver image: the DLLs it imports, its subsystem and version.
set -u
image=$1
fail=0
dump=$(i686-w64-mingw32-objdump -p "$image") || { echo "cannot read $image"; exit 1; }

allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|MSVCRT)\.DLL$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr a-z A-Z | sort -u)
for dll in $imports; do
  if ! [[ $dll =~ $allowed ]]; then echo "unexpected import: $dll"; fail=1; fi
done
[ -n "$imports" ] || { echo "no imports found"; fail=1; }

field() { printf '%s\n' "$dump" | awk -v k="$1" '$1 == k { print $2 }'; }
[ "$(field Subsystem)" = "00000002" ] || { echo "not a GUI program: $(field Subsystem)"; fail=1; }
[ "$(field MajorSubsystemVersion)" = "4" ] && [ "$(field MinorSubsystemVersion)" = "0" ] ||
  { echo "subsystem version $(field MajorSubsystemVersion).$(field MinorSubsystemVersion), want 4.0"; fail=1; }
[ "$(field Magic)" = "010b" ] || { echo "not a 32-bit image"; fail=1; }

size=$(stat -c %s "$image")
echo "kubotrax.scr: $size bytes; imports: $(echo $imports)"
[ "$size" -lt $((256 * 1024)) ] || { echo "image is $size bytes, over 256 KiB"; fail=1; }
[ $fail -eq 0 ] && echo "image checks passed"
exit $fail
