#!/usr/bin/env bash
# Checks a built saver image: the DLLs and entries it imports, its subsystem
# and version, that it carries no execution level, and that its code runs on
# a 386.
#   check_image.sh kubotrax.scr
# The image imports the four system DLLs and nothing else: no C runtime
# (MSVCRT.DLL), which a Windows 95 system may lack, and then loads nothing
# that imports it. It is 32-bit and asks for subsystem 4.0 (Windows 95, NT 4.0).
set -u
image=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
fail=0
dump=$(i686-w64-mingw32-objdump -p "$image") || { echo "cannot read $image"; exit 1; }

allowed='^(KERNEL32|USER32|GDI32|ADVAPI32)\.DLL$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr a-z A-Z | sort -u)
for dll in $imports; do
  if ! [[ $dll =~ $allowed ]]; then echo "unexpected import: $dll"; fail=1; fi
done
[ -n "$imports" ] || { echo "no imports found"; fail=1; }

# The entries the image imports, one "DLL name" a line; one imported by
# ordinal reads "DLL #n".
entries=$(printf '%s\n' "$dump" | awk '/^\tDLL Name: / { dll = toupper($3) }
  /^\t[0-9a-f]+\t/ { print dll, ($3 == "<none>" ? "#" $2 : $3) }' | LC_ALL=C sort -u)

# The entries the saver looks up at run time because a Windows it serves
# lacks them (jobs, tokens, GetLastInputInfo) or because they live in a
# library that may be missing (IMM32, the password providers) must never be
# imported as well: that would keep the image from loading wherever the entry
# is missing, and Wine, which exports every entry under every Windows version
# it plays, would never show it. The names come from the saver's own sources,
# every LookUpEntry<...>(module, name) call in the saver's folders (as
# tools/include-graph lists them), rather than from a second list that a new
# lookup could miss. A name
# given as a constant is read from its definition in the same file
# (const char kName[] = "..."); one that cannot be read fails the check, so
# that no lookup goes unchecked.
run_time_entries() {
  local file text argument value
  while read -r file; do
    text=$(tr '\n' ' ' <"$file")
    grep -oE 'LookUpEntry<[^>]+>\(([^()]|\([^()]*\))*\)' <<<"$text" |
      sed -E 's/^.*,[[:space:]]*//; s/[[:space:]]*\)$//' |
      while read -r argument; do
        if [[ $argument =~ ^\"([A-Za-z0-9_]+)\"$ ]]; then
          value=${BASH_REMATCH[1]}
        else
          value=$(grep -oE "\b$argument(\[\])?[[:space:]]*=[[:space:]]*\"[A-Za-z0-9_]+\"" <<<"$text" |
                  sed -E 's/.*"(.*)"/\1/')
        fi
        echo "${value:-?} ${file#"$root"/} $argument"
      done
  done < <(python3 "$root/tools/include-graph" --folders | sed "s|^|$root/|" |
           xargs -I{} find {} -name '*.cpp' -o -name '*.h')
}
looked_up=$(run_time_entries)
[ -n "$looked_up" ] || { echo "found no LookUpEntry calls in the saver's sources"; fail=1; }
while read -r name file argument; do
  if [ "$name" = "?" ]; then
    echo "$file: cannot tell which entry LookUpEntry looks up as $argument; give it as a"
    echo "  string or as a constant defined in that file (const char kName[] = \"...\")"
    fail=1
  elif grep -q " $name\$" <<<"$entries"; then
    echo "$name is looked up at run time ($file) and must not be imported: it would keep the"
    echo "  saver from loading where the entry is missing; call it only through that lookup"
    fail=1
  fi
done <<<"$looked_up"

# Every other import is on a closed list, imports.txt beside this script,
# with the oldest Windows that has it. An import missing there fails until
# someone has checked that Windows 95 and NT 4.0 have it and added its line,
# and a line the image no longer imports fails until it is deleted.
list=$here/imports.txt
listed=$(grep -v '^#' "$list" | awk 'NF { print toupper($1), $2 }' | LC_ALL=C sort -u)
while read -r dll name; do
  grep -q "^$name " <<<"$looked_up" && continue  # said above
  echo "new import $dll $name: if Windows 95 and NT 4.0 both have it, add the line"
  echo "  $dll $name 95 NT4"
  echo "to tests/pe/imports.txt; if not, look it up at run time with LookUpEntry instead"
  fail=1
done < <(LC_ALL=C comm -23 <(printf '%s\n' "$entries") <(printf '%s\n' "$listed"))
while read -r dll name; do
  echo "tests/pe/imports.txt lists $dll $name, which the image no longer imports: delete its line"
  fail=1
done < <(LC_ALL=C comm -13 <(printf '%s\n' "$entries") <(printf '%s\n' "$listed"))
while read -r dll name windows; do
  echo "tests/pe/imports.txt: $dll $name needs Windows \"$windows\", not \"95 NT4\": the saver"
  echo "  would not load on Windows 95 or NT 4.0; look it up at run time with LookUpEntry"
  fail=1
done < <(grep -v '^#' "$list" | awk 'NF && $3 " " $4 != "95 NT4" { $1 = toupper($1); print }')

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

# Windows 95 runs on a 386DX and Windows 98 on a 486DX, and a processor faults
# on any instruction it lacks: the saver would die of it. So the code may use
# only what an 80386 executes, and the list below is that set, spelled as
# `objdump -d` prints it (AT&T mnemonics; a size suffix b, w or l where no
# register names the size). Anything else fails, whichever processor brought
# it: the 486's bswap, cmpxchg, xadd; the Pentium's cpuid, rdtsc; the Pentium
# Pro's cmov and long nops (nopw, nopl); endbr32, which a -fcf-protection build
# puts at every function's start; MMX and SSE (no mnemonic here takes their
# registers), popcnt, movbe, crc32, fences, prefetches, sysenter.
# No x87 instruction either, not even the 387's: a 386DX may have no
# coprocessor, and then each one traps into the system's emulator, where there
# is one, or ends the saver. The saver computes with integers only, so a float
# that slips in shows up here. Should floating point ever be wanted on
# purpose, the 387's instructions may join the list, but not the Pentium
# Pro's fcmov, fcomi and fucomi nor SSE3's fisttp.
i386_instructions=(
  # moves, stack, conversions, ports
  mov{,b,w,l} movsb{w,l} movswl movzb{w,l} movzwl xchg{,b,w,l} lea{,w,l}
  {push,pop,pusha,popa,pushf,popf,enter,leave,bound}{,w,l} lahf sahf
  cbtw cwtl cwtd cltd xlat {lds,les,lfs,lgs,lss}{,w,l} {in,out}{,b,w,l}
  # arithmetic, logic, shifts and bits
  {add,adc,sub,sbb,cmp,inc,dec,neg,mul,imul,div,idiv}{,b,w,l}
  {and,or,xor,not,test,shl,sal,shr,sar,rol,ror,rcl,rcr}{,b,w,l}
  {shld,shrd,bt,bts,btr,btc,bsf,bsr}{,w,l} daa das aaa aas aam aad
  set{o,no,b,ae,e,ne,be,a,s,ns,p,np,l,ge,le,g}
  # control
  j{o,no,b,ae,e,ne,be,a,s,ns,p,np,l,ge,le,g} jcxz jecxz loop loope loopne
  {jmp,call,ret,ljmp,lcall,lret,iret}{,w,l} int int3 into hlt nop
  # strings and flags
  {movs,cmps,scas,lods,stos,ins,outs}{,b,w,l} clc stc cmc cld std cli sti
  # the system's own
  {lgdt,sgdt,lidt,sidt,lldt,sldt,ltr,str,lmsw,smsw,verr,verw,lar,lsl,arpl}{,w,l} clts
  # bytes objdump cannot decode: data among the code, such as the -1 that
  # ends each of the constructor lists MinGW's linker puts in .text
  '(bad)'
)
# Prefixes objdump prints before the instruction they change.
i386_prefixes=(rep repz repnz repe repne lock data16 addr16 cs ds es ss fs gs)

# objdump -d decodes every section the image marks as code or executable;
# check that none was left out, since what is not decoded is not checked.
code_sections=$(i686-w64-mingw32-objdump -h "$image" | awk '/^ *[0-9]+ / { name = $2 } /CODE/ { print name }')
disassembly=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$image")
decoded=$(printf '%s\n' "$disassembly" | sed -n 's/^Disassembly of section \(.*\):$/\1/p')
if [ -z "$code_sections" ] || [ "$code_sections" != "$decoded" ]; then
  echo "code sections: $(echo $code_sections); decoded: $(echo $decoded)"; fail=1
fi
# Each decoded line is "address:<tab>[prefix ...] mnemonic operands"; "..."
# stands for a run of zero bytes (add %al,(%eax) on a 386). Each instruction
# outside the list is named once, with its first address and how often it occurs.
unknown=$(printf '%s\n' "$disassembly" | awk -F'\t' -v known="${i386_instructions[*]}" \
    -v prefixes="${i386_prefixes[*]}" '
  BEGIN {
    n = split(known, k, " "); for (i = 1; i <= n; i++) ok[k[i]] = 1
    n = split(prefixes, k, " "); for (i = 1; i <= n; i++) prefix[k[i]] = 1
  }
  NF >= 2 && $1 ~ /^ *[0-9a-f]+:$/ {
    n = split($2, word, " ")
    for (i = 1; i <= n && word[i] in prefix; i++) {}
    if (i <= n && !(word[i] in ok)) {
      if (!(word[i] in count)) { order[++kinds] = word[i]; sub(/^ +/, "", $1); first[word[i]] = $1 " " $2 }
      count[word[i]]++
    }
  }
  END { for (i = 1; i <= kinds; i++) printf "  %s (%d in all) first at %s\n", order[i], count[order[i]], first[order[i]] }')
if [ -n "$unknown" ]; then
  echo "instructions a 386 lacks:"
  printf '%s\n' "$unknown"
  fail=1
fi

size=$(stat -c %s "$image")
echo "kubotrax.scr: $size bytes; imports: $(echo $imports), $(printf '%s\n' "$entries" | wc -l) entries"
echo "looked up at run time: $(printf '%s\n' "$looked_up" | awk '{ print $1 }' | sort -u | paste -sd ' ')"
[ "$size" -lt $((256 * 1024)) ] || { echo "image is $size bytes, over 256 KiB"; fail=1; }
[ $fail -eq 0 ] && echo "image checks passed"
exit $fail
