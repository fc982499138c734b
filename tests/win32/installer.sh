#!/bin/sh
# The Windows installer under Wine: a silent per-user install into a temporary folder with a
# Start-menu entry and an uninstaller listed in Apps & features, then a silent uninstall.
#   installer.sh WINE_RUN INSTALLER
set -eu
wine_run=$1
installer=$2
[ -f "$installer" ] || { echo "no installer: build the target quenlo_windows_installer" >&2; exit 1; }
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
# /D must come last and unquoted: Wine quotes an argument with spaces, so the folder has none.
target="$folder/Quenlo"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlo'
prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
shortcut() { find "$prefix/drive_c/users" -name 'Quenlo Word Complete.lnk' 2>/dev/null; }
fail() { echo "FAIL: $*" >&2; exit 1; }

windows_target="Z:$(printf '%s' "$target" | tr / '\\')"
"$wine_run" "$installer" /S "/D=$windows_target" || fail "the installer ended with $?"
for file in bin/quenlo.exe bin/Qt6Core.dll bin/platforms/qwindows.dll share/quenlo/words.mdb \
    share/quenlo/quenlo-help.html uninstall.exe; do
    [ -f "$target/$file" ] || fail "$file was not installed"
done
# None beside the program: each user's words are a copy of the default in their own profile,
# which an uninstall leaves alone.
[ ! -e "$target/bin/words.mdb" ] || fail "words.mdb lies beside the program"
cmp -s "$target/share/quenlo/words.mdb" "$(dirname "$installer")/bin/words.mdb" || fail "words.mdb is not the build's"
[ -n "$(shortcut)" ] || fail "no Start-menu entry"
registered=$("$wine_run" reg query "$key" /v UninstallString 2>/dev/null | tr -d '\r')
echo "$registered" | grep -qF 'uninstall.exe' || fail "no uninstaller registered under $key: $registered"

# As the program's "Start with the session" writes it.
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
"$wine_run" reg add "$run_key" /v "Quenlo Word Complete" /t REG_SZ /d "\"$windows_target\\bin\\quenlo.exe\"" /f >/dev/null ||
    fail "cannot write the Run value"

# The uninstaller copies itself aside and returns at once: its work is waited for.
"$wine_run" "$target/uninstall.exe" /S
for _ in $(seq 1 600); do
    [ ! -e "$target" ] && [ -z "$(shortcut)" ] && break
    sleep 0.1
done
[ ! -e "$target/bin/quenlo.exe" ] || fail "quenlo.exe is still there"
[ ! -e "$target/share/quenlo/words.mdb" ] || fail "words.mdb is still there"
[ ! -e "$target" ] || fail "the folder is still there: $(ls -R "$target")"
[ -z "$(shortcut)" ] || fail "the Start-menu entry is still there"
if "$wine_run" reg query "$key" >/dev/null 2>&1; then
    fail "$key is still registered"
fi
if "$wine_run" reg query "$run_key" /v "Quenlo Word Complete" >/dev/null 2>&1; then
    fail "the session would still start the removed program"
fi
echo "installed, registered and removed again"
