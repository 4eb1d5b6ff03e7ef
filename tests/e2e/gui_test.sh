#!/bin/bash
# The installer as a person meets it, driven with xdotool; screenshots to ARTEFACT_DIR.
#   gui_test.sh STUB VOPA_PACK ARTEFACT_DIR
set -u
stub=$1 pack=$2 artefacts=$3
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
. "$here/../wine/wine-prefix.sh"
work=$(mktemp -d /tmp/vopa-gui.XXXXXX)
mkdir -p "$artefacts"
failures=0
check() {  # description, shell test
    if eval "$2"; then echo "ok   $1"; return; fi
    echo "FAIL $1"
    failures=$((failures + 1))
    echo "     the installer's status: $(installerStatus); shown windows:" \
        "$(for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do printf '[%s] ' "$(xdotool getwindowname "$w")"; done)"
}

title='Vopa 1.00 テスト'
"$here/../../tools/make-sample.sh" "$work/product" >/dev/null
options=(--stub "$stub" --title "$title" --program-files --folder Vopa --program Vopa.exe)
"$pack" "${options[@]}" --files "$work/product" --out "$work/small.exe" || exit 1
cp -rp "$work/product" "$work/large"
head -c 1000M /dev/zero > "$work/large/big.bin"   # long enough to press a button during it
# Stored: copied at disk speed.
"$pack" "${options[@]}" --files "$work/large" --out "$work/large.exe" --method lh0 || exit 1
rm -rf "$work/large"

freshPrefix() {  # name [DPI]
    newPrefix "$work/prefix-$1" "${2:-}"
    drive="$WINEPREFIX/drive_c"
}
start() {  # installer and arguments; exit status lands in $work/status
    rm -f "$work/status"
    # 53 is wine's own status for a program it could not start at all (never ours): the
    # start is tried once more, with a note.
    (wine "$@" >/dev/null 2>&1; s=$?
     if [ $s = 53 ]; then
         echo "note: wine could not start $1 (status 53); starting it again" >&2
         sleep 2; wine "$@" >/dev/null 2>&1; s=$?
     fi
     echo $s > "$work/status") &
}
until_() {  # shell test, tenths of a second: true once the test holds
    for _ in $(seq 1 "$2"); do eval "$1" && return 0; sleep 0.1; done
    return 1
}
installerStatus() { cat "$work/status" 2>/dev/null || echo running; }
waitExit() {
    if until_ '[ -f "$work/status" ]' 600; then status=$(cat "$work/status"); else status=timeout; fi
}
# The shown window with the title whose shape tells dialog (about as tall as wide) from
# progress window (220 x 100 at 96 DPI), at any DPI; up to a minute, as a first start in
# a fresh prefix can be slow. A window found before it is shown would take keys meant
# for it nowhere.
findWindow() {  # kind: dialog | progress
    for _ in $(seq 1 600); do
        for w in $(xdotool search --onlyvisible --name "$title" 2>/dev/null); do
            size=$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*x[0-9]*\).*/\1/p')
            [ -n "$size" ] || continue
            case $1:$((${size%x*} * 10 > ${size#*x} * 18)) in dialog:0 | progress:1) echo "$w"; return ;; esac
        done
        [ -f "$work/status" ] && break
        sleep 0.1
    done
    echo "note: no $1 window; the installer's status: $(installerStatus)" >&2
}
# Keys go to the dialog only once it has the focus.
focus() {  # window
    [ -n "$1" ] || return
    for _ in $(seq 1 100); do
        xdotool windowfocus --sync "$1" 2>/dev/null
        [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ] && return
        sleep 0.1
    done
    echo "note: window $1 did not take the focus" >&2
}
shownWindows() { xdotool search --onlyvisible --name "." 2>/dev/null | wc -l; }
query() { wine reg query "$1" ${2:+/v "$2"} 2>/dev/null | tr -d '\r'; }
hasKey() { wine reg query "$1" >/dev/null 2>&1; }
mtimeOf() { stat -c %Y "$1" 2>/dev/null; }
sampleTime=$(mtimeOf "$work/product/LICENSE.txt")
glyphs() { [ "$(convert "$1" -format %k info: 2>/dev/null || echo 0)" -gt 8 ]; }
# Waits until large.exe writes its large member (into the staging folder).
whileBigMemberIsWritten() {
    for _ in $(seq 1 3000); do
        [ -n "$(find "$drive/Program Files/Vopa/.vopa-staging" -size +1M 2>/dev/null)" ] && return
        sleep 0.02
    done
}

echo "== dialog: change the destination and some boxes, press OK"
freshPrefix dialog
start "$work/large.exe"
dialog=$(findWindow dialog)
check "the dialog shows, its caption the title" '[ -n "$dialog" ] && [ "$(xdotool getwindowname "$dialog" 2>/dev/null)" = "$title" ]'
focus "$dialog"
import -window root "$artefacts/dialog-start.png"
xdotool type --delay 20 'C:\Dialog Dest'
# Compress entry and right-drag menu on, .lzh and .zip on (Tab from the right-drag
# box reaches them), Send To off.
xdotool key --delay 60 alt+a alt+e Tab space Tab space alt+t
sleep 0.5
import -window root "$artefacts/dialog.png"
xdotool key Return
progress=$(findWindow progress)
check "the progress window shows after OK" '[ -n "$progress" ]'
[ -n "$progress" ] && import -window root "$artefacts/progress.png"
check "a completed installation exits with 0" 'waitExit; [ "$status" = 0 ]'
check "files land in the new folder, the Japanese name too" '[ -f "$drive/Dialog Dest/Vopa.exe" ] && [ -f "$drive/Dialog Dest/docs/Vopa.txt" ] && [ -f "$drive/Dialog Dest/お読みください.txt" ]'
check "files carry the member time" '[ "$(mtimeOf "$drive/Dialog Dest/LICENSE.txt")" = "$sampleTime" ]'
check "nothing in the default folder" '[ ! -e "$drive/Program Files/Vopa" ]'
check ".lzh and .zip are associated, .cab is not" 'query "HKCR\.lzh" | grep -q VopaArchive && query "HKCR\.zip" | grep -q VopaArchiveZip && ! hasKey "HKCR\.cab"'
check "no View verb (its box stayed unchecked)" '! hasKey "HKCR\VopaArchive\Shell\View"'
check "the compress entry and the right-drag menu are registered" 'hasKey "HKCR\*\shellex\ContextMenuHandlers\VopaDll" && hasKey "HKCR\Folder\shellex\DragDropHandlers\VopaDll"'
check "InstallDir is the chosen folder" 'query "HKCR\CLSID\{8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}" InstallDir | grep -q "C:\\\\Dialog Dest"'
check "start menu and desktop shortcuts, no Send To one" '[ -f "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Vopa.lnk" ] && [ -f "$drive/users/Public/Desktop/Vopa.lnk" ] && [ -z "$(find "$drive/users" -path "*SendTo/Vopa.lnk")" ]'
check "screenshots show text (not blank)" 'glyphs "$artefacts/dialog.png" && glyphs "$artefacts/progress.png"'
wineserver -k

echo "== at 144 DPI: the dialog and the progress window drawn for it, sharp"
freshPrefix dpi144 144
start "$work/large.exe"
dialog=$(findWindow dialog)
focus "$dialog"
sleep 0.5
[ -n "$dialog" ] && import -window "$dialog" "$artefacts/dialog-144.png"
xdotool key Return
progress=$(findWindow progress)
check "at 144 DPI the progress window shows, 1.5 times its size (Wine's frame and caption)" \
    '[ -n "$progress" ] && xdotool getwindowgeometry "$progress" | grep -q "Geometry: 327x147"'
sleep 0.5  # for the bar to move while the archive is checked
[ -n "$progress" ] && import -window "$progress" "$artefacts/progress-144.png"
check "at 144 DPI both windows show text" 'glyphs "$artefacts/dialog-144.png" && glyphs "$artefacts/progress-144.png"'
whileBigMemberIsWritten
eval "$(xdotool getwindowgeometry --shell "$progress")"
# The abort button as laid out for 144 DPI: client (98..230, 75..104) below a 3-pixel
# frame and a 28-pixel caption.
xdotool mousemove $((X + 3 + 164)) $((Y + 31 + 89)) click 1
check "a click where the button is drawn at 144 DPI aborts" 'waitExit; [ "$status" = 1 ] && [ ! -e "$drive/Program Files/Vopa" ]'
wineserver -k

echo "== cancel: ends the program and writes nothing"
freshPrefix cancel
start "$work/small.exe"
dialog=$(findWindow dialog)
focus "$dialog"
# A destination of 300 characters is refused, not cut to 259: message, dialog stays.
xdotool key ctrl+a
xdotool type --delay 2 "C:\\$(printf 'd%.0s' $(seq 1 297))"
xdotool key Return
check "an overlong destination shows a message box over the dialog" 'until_ "[ \$(shownWindows) -ge 2 ]" 100'
check "and keeps the dialog open" 'xdotool getwindowname "$dialog" >/dev/null 2>&1 && [ ! -f "$work/status" ]'
import -window root "$artefacts/overlong.png"
xdotool key Return
until_ '[ "$(shownWindows)" -le 1 ]' 100 || echo "note: the message box stayed" >&2
focus "$dialog"
xdotool key Escape
waitExit
check "nothing was made for the overlong folder" '[ -z "$(find "$drive" -maxdepth 1 -name "ddd*")" ]'
check "Cancel exits non-zero" '[ "$status" != 0 ] && [ "$status" != timeout ]'
check "no folder and no shortcut were made" '[ ! -e "$drive/Program Files/Vopa" ] && [ -z "$(find "$drive" -name Vopa.lnk)" ]'
check "no uninstall entry, no class key left behind by start-up" '! hasKey "HKLM\SoftWare\Microsoft\Windows\CurrentVersion\Uninstall\Vopa" && ! hasKey "HKCR\CLSID\{8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}"'
wineserver -k

pressDuringBigMember() {  # how: abort | close
    freshPrefix "$1"
    start "$work/large.exe" -m
    progress=$(findWindow progress)
    whileBigMemberIsWritten
    if [ "$1" = abort ]; then
        eval "$(xdotool getwindowgeometry --shell "$progress")"
        # The abort button: client (65..153, 50..69) below a 3-pixel frame and the caption.
        xdotool mousemove $((X + 3 + 109)) $((Y + 22 + 59)) click 1
    else
        focus "$progress"
        xdotool key alt+F4
    fi
    check "$1 during a large member: exits non-zero, no crash" 'waitExit; [ "$status" = 1 ]'
    check "$1: the destination it made is gone, with everything written into it" '[ ! -e "$drive/Program Files/Vopa" ]'
    check "$1: no registration, no shortcut" '! hasKey "HKLM\SoftWare\Microsoft\Windows\CurrentVersion\Uninstall\Vopa" && ! hasKey "HKCR\.lzh" && [ -z "$(find "$drive" -name Vopa.lnk)" ]'
    wineserver -k
}
echo "== a silent run closed (taskkill asks it to) while it writes"
freshPrefix silentclose
start "$work/large.exe" -s -m
whileBigMemberIsWritten
wine taskkill /im large.exe >/dev/null 2>&1
check "it exits 1, leaves nothing, and logs why" 'waitExit; [ "$status" = 1 ] && [ ! -e "$drive/Program Files/Vopa" ] &&
    iconv -f CP932 -t UTF-8 "$drive"/users/*/Temp/VopaSetup.log | grep -q "インストールを中止しました"'
wineserver -k
echo "== abort button during a large member"
pressDuringBigMember abort
echo "== close box (Alt+F4) during a large member"
pressDuringBigMember close

rm -rf "$work"
if [ "$failures" = 0 ]; then echo "all GUI checks passed"; exit 0; fi
echo "$failures GUI checks failed"
exit 1
