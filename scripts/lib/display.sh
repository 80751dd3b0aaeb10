# Shared by the scripts: a private X display (Xvfb) and a persistent wineserver, so that
# Windows test binaries can open windows and do not each pay for starting Wine.
# shellcheck shell=bash

VARNOCLE_CACHE="${VARNOCLE_CACHE:-$HOME/.cache/varnocle}"
export WINEPREFIX="${WINEPREFIX:-$VARNOCLE_CACHE/wineprefix}"
export WINEDEBUG="${WINEDEBUG--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=;winemenubuilder.exe=d}"
XVFB_PID=""

start_display() {
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
    wineserver -p >/dev/null 2>&1 || true
    # Start Wine's own services now, with their output going nowhere: started by the first
    # test instead, they would inherit its output pipe and ctest would wait for them forever.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

stop_display() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}
