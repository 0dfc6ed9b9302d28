#!/usr/bin/env bash
# Installs the saver from the release archive's kubotrax.inf as Install on the
# file does (setupapi's InstallHinfSection, DefaultInstall) in the session's
# Wine prefix, and checks the saver in the system folder, the kept INF, the
# installed-programs entry and the command that makes the saver current. Then
# removes it with the entry's own UninstallString and checks that all of it
# is gone while a game installation stays as it was. Wine runs no RunOnce
# entries after InstallHinfSection (and has no desk.cpl): the command is
# checked as written, never run.
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
[ -f "$image" ] || { echo "no saver image at $image: build first"; exit 1; }
[ -n "${WINEPREFIX:-}" ] || { echo "run under tools/wine-session"; exit 1; }
work=$(mktemp -d /tmp/kubo-install.XXXXXX)
windows=$WINEPREFIX/drive_c/windows
game=$WINEPREFIX/drive_c/kubo-install-test
entry_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KuboTraxScreenSaver'
run_once_key='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
game_key='HKLM\SOFTWARE\Tessel Studios'
fail=0

# Every Wine call has a deadline: a dialog nobody answers must not hang ctest.
wine_quiet() { timeout 60 wine "$@" >>"$work/wine.log" 2>&1; }
# The data of one registry value, or nothing when it does not exist.
reg_value() {  # key, value name ('' for the default value)
  local name=(/v "$2")
  [ -n "$2" ] || name=(/ve)
  timeout 60 wine reg query "$1" "${name[@]}" 2>/dev/null | tr -d '\r' |
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
  wine_quiet reg delete "$game_key" /f
  rm -rf "$game" "$windows/system32/kubotrax.scr" "$windows/inf/kubotrxu.inf" "$windows/inf/kubotrxu.pnf" "$work"
}
trap clean_up EXIT
expect() {  # what, got, want
  [ "$2" = "$3" ] || { echo "$1: got \"$2\", want \"$3\""; fail=1; }
}
game_state() {
  (cd "$game" && find . -type f | sort | xargs sha256sum)
  reg_value "$game_key\\KUBO TRAX\\Path" ''
}

"$src/scripts/release" --image "$image" --out "$work/dist" >"$work/release.log" 2>&1 ||
  { cat "$work/release.log"; echo "scripts/release failed"; exit 1; }
python3 -m zipfile -e "$work"/dist/*.zip "$work/unpacked"
inf=$(winepath -w "$work/unpacked/kubotrax.inf")

# A game installation, to be kept.
mkdir -p "$game/ScrSaver"
printf '[DIRECTORIES]\r\nExe=TRAX.exe\r\n[ScreenSaver]\r\nLayout=ScrSaver\\tower.sav\r\n' >"$game/kubo.ini"
printf 'game' >"$game/TRAX.exe"
printf 'layout' >"$game/ScrSaver/tower.sav"
wine_quiet reg add "$game_key\\KUBO TRAX\\Path" /ve /d 'C:\kubo-install-test' /f
game_before=$(game_state)

wine_quiet rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 "$inf" ||
  { echo "install failed or did not end within its deadline"; fail=1; }
cmp -s "$image" "$windows/system32/kubotrax.scr" || { echo "the saver is not in system32"; fail=1; }
cmp -s "$work/unpacked/kubotrax.inf" "$windows/inf/kubotrxu.inf" || { echo "the INF was not kept for removal"; fail=1; }
expect DisplayName "$(reg_value "$entry_key" DisplayName)" "KUBO TRAX Screen Saver"
uninstall=$(reg_value "$entry_key" UninstallString)
expect UninstallString "$uninstall" \
  'C:\windows\system32\rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 C:\windows\inf\kubotrxu.inf'
expect RunOnce "$(reg_value "$run_once_key" KuboTraxScreenSaver)" \
  'rundll32.exe C:\windows\system32\desk.cpl,InstallScreenSaver C:\windows\system32\kubotrax.scr'

if [ -n "$uninstall" ]; then
  # As Windows runs it: the program and its arguments, split at blanks.
  wine_quiet $uninstall || { echo "removal failed or did not end within its deadline"; fail=1; }
fi
for left in system32/kubotrax.scr inf/kubotrxu.inf inf/kubotrxu.pnf; do
  [ ! -e "$windows/$left" ] || { echo "removal left $left"; fail=1; }
done
timeout 60 wine reg query "$entry_key" >/dev/null 2>&1 && { echo "removal left the installed-programs entry"; fail=1; }
expect "RunOnce after removal" "$(reg_value "$run_once_key" KuboTraxScreenSaver)" ""
[ "$(game_state)" = "$game_before" ] || { echo "removal touched the game's files or key"; fail=1; }

[ $fail -eq 0 ] && echo "install and removal checks passed"
exit $fail
