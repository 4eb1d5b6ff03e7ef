# Sourced by the PE32 lane: runs PE32 programs with the 32-bit Wine of the i386 root that
# tools/install-i386-root.sh makes, every i386 instruction emulated by qemu-user.
#   requireEmulator           says why and returns 1 when i386 programs cannot run here
#   bootEmulatedPrefix DIR    a fresh prefix for the run (under /tmp), its server kept up
#   emulated NAME PROGRAM ARGUMENTS...
#                             runs a Windows program through the probe ($probeExe): its
#                             exit status in $status, its output in $work/NAME.out; a
#                             run that records no exit status is made once more
#   emulatedServer            the id of the prefix's Wine server
#   stopEmulatedWine          ends every process of the prefix
i386Root=${VOPA_I386_ROOT:-/var/lib/vopa/i386-root}

# A command in the root, in a mount namespace of its own: the mounts go with it, so the
# root can be deleted as a plain folder. The host's /tmp is shared, and with it the
# virtual display's socket and the test's files, at the same paths.
inRoot() {
    unshare -m sh -c 'for d in proc sys dev dev/pts tmp; do mount --bind "/$d" "$0/$d" || exit 125; done
                      exec chroot "$0" "$@"' "$i386Root" "$@"
}

requireEmulator() {
    local entry=/proc/sys/fs/binfmt_misc/qemu-i386
    if ! grep -qx enabled "$entry" 2>/dev/null; then
        echo "FAIL no emulator for i386 programs: $entry is missing or disabled (tools/install-i386-root.sh registers it)"
    elif [ ! -f "$i386Root/etc/vopa-packages" ]; then
        echo "FAIL no i386 root at $i386Root (tools/install-i386-root.sh makes it)"
    elif [ "$(inRoot uname -m 2>&1)" != i686 ]; then
        echo "FAIL the i386 root at $i386Root does not run: $(inRoot uname -m 2>&1 | head -1)"
    else
        return 0
    fi
    return 1
}

. "$(dirname "${BASH_SOURCE[0]}")/../wine/wine-prefix.sh"
# Background Wine processes crash under qemu without harm to the program under test; a
# debugger started for them would hang the run for minutes. Menu entries for the
# shortcuts are work for nothing, and more of those crashes.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe,winemenubuilder.exe=d" HOME=/root

# The emulated Wine server crashes now and then, and its clients then wait for it
# forever. This prefix's processes are ended by their ids: all of them, or with
# --orphans only those of a server that is gone.
prefixProcesses() {  # "server PID" or "client PID", a line each
    local pid
    for pid in $(pgrep -f qemu-i386-static); do
        grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null || continue
        case $(tr '\0' ' ' < "/proc/$pid/cmdline") in
            *wineserver*) echo "server $pid" ;;
            *) echo "client $pid" ;;
        esac
    done
}

# The server's id: a server that crashed takes the registry it held in memory with it
# (it saves it every 30 s), and the next start runs a new one.
emulatedServer() { prefixProcesses | sed -n 's/^server //p'; }

endEmulatedProcesses() {
    local list server pids
    list=$(prefixProcesses)
    server=$(sed -n 's/^server //p' <<< "$list")
    pids=$(sed -n 's/^client //p' <<< "$list")
    [ "${1:-}" = --orphans ] && [ -n "$server" ] && return
    [ -z "$server$pids" ] || kill -9 $server $pids
}

bootEmulatedPrefix() {
    export WINEPREFIX=$1
    local try booted
    for try in 1 2; do
        # newPrefix runs in the root: handed over as text, as no tree of ours is in there.
        inRoot timeout 180 bash -c "$(declare -f newPrefix); newPrefix \"\$1\"" _ "$1" \
            >/dev/null 2> "$1.wine.txt"
        booted=$?
        grep '^note:' "$1.wine.txt"
        [ $booted = 0 ] && [ -f "$1/drive_c/windows/system32/kernel32.dll" ] && break
        echo "note: the prefix's boot ended with status $booted; booting it anew"
        endEmulatedProcesses
        rm -rf "$1"
    done
    # Kept up between the programs: a start racing the server's own shutdown can die.
    inRoot wineserver -p60
}

stopEmulatedWine() {
    inRoot wineserver -k >/dev/null 2>&1
    endEmulatedProcesses
}

# An installation takes 3-40 s here; a start that hangs under emulation is given up after
# this, and tried again.
programSeconds=150

emulated() {
    local name=$1 try
    shift
    local recorded="$work/$name.status"
    for try in 1 2; do
        rm -f "$recorded"
        inRoot timeout $((programSeconds + 60)) wine "$probeExe" run $programSeconds \
            "$(windowsPath "$recorded")" "$(windowsPath "$1")" "${@:2}" \
            > "$work/$name.out" 2> "$work/$name.wine.txt"
        local wineStatus=$?
        status=$(cat "$recorded" 2>/dev/null)
        case $status in
            '') status="none: the emulated Wine start ended (status $wineStatus) with nothing recorded" ;;
            running) status="none: the program did not end within $programSeconds s" ;;
            # The stub's start-up refusal, which no run here expects: under emulation it
            # was seen twice in some hundred starts, its cause not found. A stub that
            # cannot start fails the second time too.
            2) [ $try = 2 ] && return
               status="2 (start-up refused)" ;;
            *) return ;;
        esac
        # No exit status of the program: under emulation a Wine start now and then dies or
        # hangs before the program runs. A program of ours that hangs fails the second time.
        echo "note: $name: exit status $status; $([ $try = 1 ] && echo "starting it again" || echo "giving up")"
        endEmulatedProcesses --orphans
        inRoot wineserver -p60 2>/dev/null  # unless one is up
    done
}
