# Sourced by the PE32 lane: runs PE32 programs with the 32-bit Wine of the i386 root that
# tools/install-i386-root.sh makes, every i386 instruction emulated by qemu-user.
#   requireEmulator           says why and returns 1 when i386 programs cannot run here
#   bootEmulatedPrefix DIR    a fresh prefix for the run (under /tmp), its server kept up
#   emulated NAME PROGRAM ARGUMENTS...
#                             runs a Windows program: its exit status in $status and
#                             $work/NAME.status, its output in $work/NAME.out; a run that
#                             ends with no exit status of the program is made once more
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
# forever: this prefix's processes are found, and ended, by their ids.
prefixProcesses() {  # "server PID" or "client PID", a line each
    local pid emulator
    emulator=$(sed -n 's/^interpreter //p' /proc/sys/fs/binfmt_misc/qemu-i386)
    for pid in $(pgrep -f "^$emulator "); do
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
    local pids
    pids=$(prefixProcesses | cut -d' ' -f2)
    [ -z "$pids" ] || kill -9 $pids
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

# The program is the Wine process started here (Wine runs it in the process it is given),
# so its end is seen as it was: its own exit status, or a signal. A Windows program never
# ends by a signal; the emulator does, now and then, in any Wine process ("qemu: uncaught
# target signal", in Wine's own signal handler), and Wine then tells a parent that waits
# for it status 0. A Wine server that ends during a run ends its clients with it.
emulated() {
    local name=$1 try server
    shift
    for try in 1 2; do
        server=$(emulatedServer)
        inRoot timeout -k 20 $programSeconds wine "$@" > "$work/$name.out" 2> "$work/$name.wine.txt"
        status=$?
        if [ $status -gt 128 ]; then
            status="none: the emulator ended its process by signal $(kill -l $((status - 128)))"
        elif [ -n "$server" ] && [ "$server" != "$(emulatedServer)" ]; then
            status="$status, with the Wine server ended during the run"
        else
            case $status in
                124) status="none: the program did not end within $programSeconds s" ;;
                125|126|127) status="none: the emulated Wine did not start (status $status)" ;;
                # The stub's start-up refusal, which no run here expects: under emulation
                # it is seen in a few starts of a hundred, its cause not found. A stub
                # that cannot start fails the second time too.
                2) [ $try = 2 ] && break
                   status="2 (start-up refused)" ;;
                *) break ;;
            esac
        fi
        # Not the program's doing; a program of ours that hangs or fails fails again.
        # The state that killed it, in the server or the background processes, stays
        # with them: the second run gets new ones.
        echo "note: $name: exit status $status; $([ $try = 1 ] && echo "starting it again, in a new Wine session" || echo "giving up")"
        stopEmulatedWine
        inRoot wineserver -p60
    done
    echo "$status" > "$work/$name.status"  # for a run in a subshell
}
