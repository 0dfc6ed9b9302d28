#!/usr/bin/env bash
# Installs the saver from the release archive's kubotrax.inf as Install on the
# file does (setupapi's InstallHinfSection, DefaultInstall) in the session's
# Wine prefix, and checks the saver in the system folder, the kept INF, the
# installed-programs entry and the command that makes the saver current. The
# installed saver, run with "/s", starts the game. Then the script removes it
# with the entry's own UninstallString and checks that all of it is gone
# while the game's installation stays as it was. Wine runs no RunOnce
# entries after InstallHinfSection (and has no desk.cpl): the command is
# checked as written, never run.
#
# With KUBO_64BIT_WINDOWS set, in a 64-bit prefix, as on 64-bit Windows:
# Explorer, whose Install runs the INF, and the control panel, which runs the
# removal, are 64-bit programs, so the 64-bit rundll32 does both, and the
# saver belongs in SysWOW64, none in System32. The game's 32-bit installer
# wrote its key in the 32-bit registry view only, where the saver finds it.
#
# What only a real Windows shows: that the removal clears the screen saver
# setting where it names this saver and keeps another saver's. The INF's
# UpdateInis line deletes SCRNSAVE.EXE in [boot] of system.ini only where it
# names the saver removed (flag 1); Windows 95/98/Me keep the setting there,
# NT-family Windows map it to HKCU\Control Panel\Desktop. Wine maps only
# win.ini, and its UpdateInis ignores the old entry and the flag: it adds an
# empty key to [boot] and leaves SCRNSAVE.EXE as it was, whatever it names.
# No check here could fail on a wrong line, so none is made.
#   check_install.sh <source tree> <kubotrax.scr>     (under tools/wine-session)
set -u
src=$1
image=$2
game_exe=$(dirname "$image")/fixtures/game/stand_in_game.exe
[ -f "$image" ] && [ -f "$game_exe" ] || { echo "no saver image or stand-in game beside $image: build first"; exit 1; }
[ -n "${WINEPREFIX:-}" ] || { echo "run under tools/wine-session"; exit 1; }
work=$(mktemp -d /tmp/kubo-install.XXXXXX)
windows=$WINEPREFIX/drive_c/windows
game=$WINEPREFIX/drive_c/kubo-install-test
entry_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KuboTraxScreenSaver'
run_once_key='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
game_key='HKLM\SOFTWARE\Tessel Studios'
fail=0
# The system's own programs (rundll32, reg for its keys), and its folder for
# the saver. /usr/bin/wine always starts 32-bit programs: the game's reg.
shell_wine=wine
saver_folder=system32
if [ -n "${KUBO_64BIT_WINDOWS:-}" ]; then
  shell_wine=/usr/lib/wine/wine64
  saver_folder=syswow64
fi

# Every Wine call has a deadline: a dialog nobody answers must not hang ctest.
wine_quiet() { timeout 60 "$shell_wine" "$@" >>"$work/wine.log" 2>&1; }
# The data of one registry value, or nothing when it does not exist; the
# game's key is read as the saver reads it, in the 32-bit view.
reg_value() {  # key, value name ('' for the default value), Wine loader
  local name=(/v "$2")
  [ -n "$2" ] || name=(/ve)
  timeout 60 "${3:-$shell_wine}" reg query "$1" "${name[@]}" 2>/dev/null | tr -d '\r' |
    sed -n 's/^    .*    REG_[A-Z_]*    //p'
}
# Leave the prefix as it was, whatever the outcome: a RunOnce entry left
# behind would run at the next start of the prefix. Wine's setupapi writes an
# empty key into system.ini for the line meant to delete an entry.
cp -p "$windows/system.ini" "$work/system.ini"
clean_up() {
  cp -p "$work/system.ini" "$windows/system.ini"
  wine_quiet reg delete "$entry_key" /f
  wine_quiet reg delete "$run_once_key" /v KuboTraxScreenSaver /f
  timeout 60 wine reg delete "$game_key" /f >>"$work/wine.log" 2>&1
  rm -rf "$game" "$windows/$saver_folder/kubotrax.scr" "$windows/system32/kubotrax.scr" \
    "$windows/inf/kubotrxu.inf" "$windows/inf/kubotrxu.pnf" "$work"
}
trap clean_up EXIT
expect() {  # what, got, want
  [ "$2" = "$3" ] || { echo "$1: got \"$2\", want \"$3\""; fail=1; }
}
game_state() {
  (cd "$game" && find . -type f | sort | xargs sha256sum)
  reg_value "$game_key\\KUBO TRAX\\Path" '' wine
}

"$src/scripts/release" --image "$image" --out "$work/dist" >"$work/release.log" 2>&1 ||
  { cat "$work/release.log"; echo "scripts/release failed"; exit 1; }
python3 -m zipfile -e "$work"/dist/*.zip "$work/unpacked"
inf=$(winepath -w "$work/unpacked/kubotrax.inf")

# A game installation, to be kept, its key written as its 32-bit installer does.
mkdir -p "$game/ScrSaver"
printf '[DIRECTORIES]\r\nExe=TRAX.exe\r\n[ScreenSaver]\r\nLayout=ScrSaver\\tower.sav\r\n' >"$game/kubo.ini"
cp "$game_exe" "$game/TRAX.exe"
printf 'layout' >"$game/ScrSaver/tower.sav"
timeout 60 wine reg add "$game_key\\KUBO TRAX\\Path" /ve /d 'C:\kubo-install-test' /f >>"$work/wine.log" 2>&1
if [ -n "${KUBO_64BIT_WINDOWS:-}" ]; then
  expect "the game's key in the 64-bit view" "$(reg_value "$game_key\\KUBO TRAX\\Path" '')" ""
fi

wine_quiet rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 "$inf" ||
  { echo "install failed or did not end within its deadline"; fail=1; }
cmp -s "$image" "$windows/$saver_folder/kubotrax.scr" || { echo "the saver is not in $saver_folder"; fail=1; }
[ "$saver_folder" = system32 ] || [ ! -e "$windows/system32/kubotrax.scr" ] || { echo "a saver in system32"; fail=1; }
cmp -s "$work/unpacked/kubotrax.inf" "$windows/inf/kubotrxu.inf" || { echo "the INF was not kept for removal"; fail=1; }
expect DisplayName "$(reg_value "$entry_key" DisplayName)" "KUBO TRAX Screen Saver"
uninstall=$(reg_value "$entry_key" UninstallString)
expect UninstallString "$uninstall" \
  'C:\windows\system32\rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 C:\windows\inf\kubotrxu.inf'
expect RunOnce "$(reg_value "$run_once_key" KuboTraxScreenSaver)" \
  "rundll32.exe C:\\windows\\system32\\desk.cpl,InstallScreenSaver C:\\windows\\$saver_folder\\kubotrax.scr"

# The installed saver starts the game; the game is ended from outside once it
# has started, and the saver ends with it.
record=$game/game_run.txt
timeout 60 wine "C:\\windows\\$saver_folder\\kubotrax.scr" /s >>"$work/wine.log" 2>&1 &
saver_pid=$!
for _ in $(seq 300); do [ -s "$record" ] || ! kill -0 "$saver_pid" 2>/dev/null && break; sleep 0.1; done
record_value() { tr -d '\r' 2>/dev/null <"$record" | sed -n "s/^$1=//p"; }
expect "the game's command line" "$(record_value command)" '"C:\kubo-install-test\TRAX.exe" -s'
game_pid=$(record_value pid)
[ -z "$game_pid" ] || timeout 60 wine taskkill /f /pid "$game_pid" >>"$work/wine.log" 2>&1
wait "$saver_pid"
expect "the saver's exit code" "$?" 0
rm -f "$game/game_run.txt" "$game/game_starts.log"
game_before=$(game_state)

if [ -n "$uninstall" ]; then
  # As Windows runs it: the program and its arguments, split at blanks.
  wine_quiet $uninstall || { echo "removal failed or did not end within its deadline"; fail=1; }
fi
for left in $saver_folder/kubotrax.scr inf/kubotrxu.inf inf/kubotrxu.pnf; do
  [ ! -e "$windows/$left" ] || { echo "removal left $left"; fail=1; }
done
timeout 60 "$shell_wine" reg query "$entry_key" >/dev/null 2>&1 && { echo "removal left the installed-programs entry"; fail=1; }
expect "RunOnce after removal" "$(reg_value "$run_once_key" KuboTraxScreenSaver)" ""
[ "$(game_state)" = "$game_before" ] || { echo "removal touched the game's files or key"; fail=1; }

[ $fail -eq 0 ] && echo "install and removal checks passed"
exit $fail
