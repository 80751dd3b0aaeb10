# Shared by the scripts: the project's Wine prefixes, both made by scripts/setup.
#   ~/.cache/varnocle/wineprefix        the user's: scripts/run keeps the program's settings
#                                       there (the demo mailbox's account, or the user's own)
#   ~/.cache/varnocle/wineprefix-tests  the tests' own (VARNOCLE_TEST_PREFIX names another):
#                                       tests write and wipe settings there, never in the user's
# shellcheck shell=bash

VARNOCLE_CACHE="${VARNOCLE_CACHE:-$HOME/.cache/varnocle}"
VARNOCLE_USER_PREFIX="$VARNOCLE_CACHE/wineprefix"
VARNOCLE_TEST_PREFIX="${VARNOCLE_TEST_PREFIX:-$VARNOCLE_CACHE/wineprefix-tests}"
export VARNOCLE_CACHE VARNOCLE_TEST_PREFIX
# Present in a prefix that scripts/setup finished with its current recipe; a new name makes
# setup bring older prefixes up to date and copies of them be made again.
VARNOCLE_PREFIX_MARK=".varnocle-ready-v3"
# No waiting for Mono or Gecko, no menu entries on the host for shortcuts made inside.
export WINEDEBUG="${WINEDEBUG--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=;winemenubuilder.exe=d}"

# Exits with a message when a prefix was not (or not fully) made by scripts/setup: Wine would
# make a bare one itself, where a crash waits for a dialog nobody closes.
require_prefix() {
    if [ ! -f "$1/$VARNOCLE_PREFIX_MARK" ]; then
        echo "the Wine prefix $1 is not ready: run scripts/setup" >&2
        exit 1
    fi
}

# Makes DEST a copy of BASE, a prefix of its own for a script that must not leave anything in
# BASE. A copy made from an older recipe is made again.
copy_prefix() {
    local base=$1 dest=$2
    require_prefix "$base"
    [ -f "$dest/$VARNOCLE_PREFIX_MARK" ] && return 0
    rm -rf "$dest"
    cp -a "$base" "$dest"
}

# Prints a digest of the program's data folder in the user's prefix (names, sizes, times):
# scripts/test compares it before and after the tests, which must leave it alone.
user_settings_digest() {
    find "$VARNOCLE_USER_PREFIX/drive_c/users" -path '*/AppData/Roaming/varnocle*' \
        -printf '%P %s %T@\n' 2>/dev/null | sort | md5sum
}
