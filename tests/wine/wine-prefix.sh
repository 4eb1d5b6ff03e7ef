# Sourced by the scripts that run Windows programs under Wine: code page 932,
# newPrefix FOLDER [DPI], which boots there, on the caller's display, a prefix whose
# Windows faces draw Japanese as the originals do, at 96 DPI or the one given (Wine has
# one DPI for all its windows, read as each program starts), and windowsPath UNIX_PATH.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
windowsPath() { printf 'Z:%s' "$1" | tr / '\\'; }  # the prefix's Z: is the Unix root
newPrefix() {
    export WINEPREFIX="$1"
    wineboot -i >/dev/null 2>&1
    # A boot on a busy machine can stop short of the system DLLs, and then no program
    # starts (wine's status 53): boot a new prefix again.
    for _ in 1 2; do
        [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] && break
        echo "note: $WINEPREFIX booted without its system DLLs; booting it anew" >&2
        wineserver -k
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
    done
    # The proportional faces ("MS UI Gothic" and the dialog faces) to IPAPGothic, the
    # fixed "MS Gothic" to IPAGothic. No window manager runs here: Wine draws frames.
    cat > "$WINEPREFIX/vopa-setup.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="IPAPGothic"
"MS PGothic"="IPAPGothic"
"MS Shell Dlg"="IPAPGothic"
"MS Shell Dlg 2"="IPAPGothic"
"Tahoma"="IPAPGothic"
"MS Gothic"="IPAGothic"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
    if [ -n "${2:-}" ]; then
        printf '\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "$2" \
            >> "$WINEPREFIX/vopa-setup.reg"
    fi
    wine regedit /S "$WINEPREFIX/vopa-setup.reg" >/dev/null 2>&1
    # Wine's own symbol face draws the caption buttons; Debian installs it where this
    # Wine does not look (fonts-wine), so the prefix gets it among the system's fonts.
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    wineserver -w
}
