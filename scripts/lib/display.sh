# Shared by the scripts: a private X display (Xvfb) and a persistent wineserver, so that
# Windows test binaries can open windows and do not each pay for starting Wine.
# Sourced, it selects the tests' prefix (prefixes.sh), the one ctest's binaries run in; a
# script that runs the program for the user sets WINEPREFIX again before start_display.
# shellcheck shell=bash

source "$(dirname "${BASH_SOURCE[0]}")/prefixes.sh"
export WINEPREFIX="$VARNOCLE_TEST_PREFIX"
XVFB_PID=""
OWN_WINESERVER="" # the prefix whose wineserver start_display started

start_display() {
    require_prefix "$WINEPREFIX"
    if [ -z "${DISPLAY:-}" ] || [ "${VARNOCLE_OWN_DISPLAY:-1}" = 1 ]; then
        local fdfile
        fdfile=$(mktemp)
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do
            [ -s "$fdfile" ] && break
            sleep 0.1
        done
        export DISPLAY=":$(head -n1 "$fdfile")"
        rm -f "$fdfile"
    fi
    # A wineserver already running for this prefix belongs to someone else: used, not stopped.
    if wineserver -p >/dev/null 2>&1; then
        OWN_WINESERVER="$WINEPREFIX"
    fi
    # Start Wine's own services now, with their output going nowhere: started by the first
    # test instead, they would inherit its output pipe and ctest would wait for them forever.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

# Stops only what start_display started: its wineserver (with the programs of the prefix)
# and its Xvfb, by pid.
stop_display() {
    if [ -n "$OWN_WINESERVER" ]; then
        WINEPREFIX="$OWN_WINESERVER" wineserver -k >/dev/null 2>&1 || true
        OWN_WINESERVER=""
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}
