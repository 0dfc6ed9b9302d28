#!/usr/bin/env bash
# Checks a built saver image: the DLLs it imports, its subsystem and version,
# that it carries no execution level, and that its code runs on a 386.
#   check_image.sh kubotrax.scr
# The image imports the four system DLLs and nothing else: no C runtime
# (MSVCRT.DLL), which a Windows 95 system may lack, and then loads nothing
# that imports it. It is 32-bit and asks for subsystem 4.0 (Windows 95, NT 4.0).
set -u
image=$1
fail=0
dump=$(i686-w64-mingw32-objdump -p "$image") || { echo "cannot read $image"; exit 1; }

allowed='^(KERNEL32|USER32|GDI32|ADVAPI32)\.DLL$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr a-z A-Z | sort -u)
for dll in $imports; do
  if ! [[ $dll =~ $allowed ]]; then echo "unexpected import: $dll"; fail=1; fi
done
[ -n "$imports" ] || { echo "no imports found"; fail=1; }

field() { printf '%s\n' "$dump" | awk -v k="$1" '$1 == k { print $2 }'; }
[ "$(field Subsystem)" = "00000002" ] || { echo "not a GUI program: $(field Subsystem)"; fail=1; }
[ "$(field MajorSubsystemVersion)" = 4 ] && [ "$(field MinorSubsystemVersion)" = 0 ] ||
  { echo "subsystem version $(field MajorSubsystemVersion).$(field MinorSubsystemVersion), want 4.0"; fail=1; }
[ "$(field Magic)" = 010b ] || { echo "not a 32-bit image: magic $(field Magic)"; fail=1; }

# A manifest that names an execution level (asInvoker too) turns UAC file and
# registry virtualization off for the saver on Vista and later: it would then
# read and write the real kubo.ini under Program Files while the game, which
# has none, goes through the user's VirtualStore copy.
if grep -a -q -i 'requestedExecutionLevel' "$image"; then
  echo "the image carries an execution-level manifest"; fail=1
fi

# Windows 95 runs on a 386DX and Windows 98 on a 486DX, so the code may use
# no instruction added after the 386: the 486's bswap, cmpxchg and xadd, the
# Pentium's cpuid, rdtsc and cmpxchg8b, the Pentium Pro's cmov, fcmov,
# fcomi, fucomi and long nop (nopw, nopl), nor any MMX or SSE register. On
# the processors that lack one, the saver would die of an illegal
# instruction. Each line objdump decodes is "address:<tab>instruction".
newer=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$image" | awk -F'\t' 'NF >= 2 &&
  ($2 ~ /(^| )(cmov|fcmov|fcomi|fucomi|bswap|cmpxchg|xadd|cpuid|rdtsc|nopw|nopl)/ || $2 ~ /%[xyz]?mm[0-9]/)')
if [ -n "$newer" ]; then
  echo "$(printf '%s\n' "$newer" | wc -l) instructions a 386 lacks, the first:"
  printf '%s\n' "$newer" | head -n 5
  fail=1
fi

size=$(stat -c %s "$image")
echo "kubotrax.scr: $size bytes; imports: $(echo $imports)"
[ "$size" -lt $((256 * 1024)) ] || { echo "image is $size bytes, over 256 KiB"; fail=1; }
[ $fail -eq 0 ] && echo "image checks passed"
exit $fail
