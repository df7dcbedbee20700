#!/usr/bin/env bash
# Starts the installed window as a user who may not write the program's folder, ends it with
# SIGTERM, and checks where its settings went:
#   - nothing beside the program: config.ini in the per-user folder, which start-up seeded;
#   - the same with a start-up message box open (an unreadable codepage.ini): still saved;
#   - a config.ini the user may write beside the program: not used, left as it was; the
#     per-user folder again;
#   - as root (when run as root): the per-user folder too, nothing beside the program.
# Usage: installed_window.sh --build CMAKE BUILD_DIR BINDIR DATADIR/PACKAGE  (installs it first)
#        installed_window.sh --installed PREFIX BINDIR DATADIR/PACKAGE       (e.g. from the .deb)
# Exits 77 (skipped) when the folder cannot be made unwritable for the user running the window.
set -euo pipefail
umask 022

fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
    done
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}

work=$(mktemp -d /tmp/nuv-installed.XXXXXX)
chmod 755 "$work"
pid=""
admin_config=""
cleanup() {
    if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
    if [ -n "$admin_config" ]; then rm -f "$admin_config"; fi
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mode=${1:-}
case "$mode" in
--build)
    [ $# -eq 5 ] || fail "usage: $0 --build CMAKE BUILD_DIR BINDIR DATADIR/PACKAGE"
    prefix=$work/prefix
    "$2" --install "$3" --prefix "$prefix" >/dev/null
    bindir=$prefix/$4
    datadir=$prefix/$5
    ;;
--installed)
    [ $# -eq 4 ] || fail "usage: $0 --installed PREFIX BINDIR DATADIR/PACKAGE"
    bindir=$2/$3
    datadir=$2/$4
    ;;
*) fail "usage: $0 --build ... | --installed ..." ;;
esac
program=$bindir/NUV_II_Tool
package=$(basename "$datadir")
[ -x "$program" ] || fail "$program is missing"

# Root may write anywhere, so root runs the window as nobody; anyone else runs it in person,
# with the freshly installed folder made read-only.
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || skip "setpriv is missing"
    id nobody >/dev/null 2>&1 || skip "there is no user nobody"
    uid=$(id -u nobody)
    gid=$(id -g nobody)
    run_as=(setpriv --reuid="$uid" --regid="$gid" --clear-groups)
    give() { chown -R "$uid:$gid" "$@"; }
else
    run_as=()
    give() { :; }
    if [ "$mode" = --build ]; then chmod a-w "$bindir"; fi
fi
if "${run_as[@]}" test -w "$bindir"; then
    skip "$bindir stays writable for the user running the window"
fi

# Polls every 20 ms, for 20 s at most; gives up at once when the window has ended.
wait_for() {
    local what=$1
    shift
    local deadline=$((SECONDS + 20))
    until "$@"; do
        ! ended || fail "the window ended while waiting for $what"
        [ $SECONDS -lt $deadline ] || fail "timed out waiting for $what"
        sleep 0.02
    done
}
# True once the process is gone or a zombie (kill -0 still succeeds on a zombie).
ended() {
    local state
    state=$(awk '/^State:/ {print $2}' "/proc/$pid/status" 2>/dev/null) || return 0
    [ -z "$state" ] || [ "$state" = Z ]
}
# The program installs its SIGTERM handler before anything else: bit 15 of the caught set. Until
# the program itself runs, the process is this script's fork, which catches everything.
catches_sigterm() {
    local mask
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$program")" ] || return 1
    mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null) || return 1
    [ -n "$mask" ] && (((16#$mask >> 14) & 1))
}
seeded() { # FOLDER FILE...
    local folder=$1 f
    shift
    for f in "$@"; do [ -f "$folder/$f" ] || return 1; done
}

start_window() { # HOME_NAME
    home=$work/$1
    user_folder=$home/.local/share/$package
    mkdir -p "$home/runtime"
    chmod 700 "$home/runtime"
    give "$home"
    HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config \
        XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$home/runtime \
        "${run_as[@]}" "$program" >"$work/$1.log" 2>&1 &
    pid=$!
    wait_for "its SIGTERM handler" catches_sigterm
}
stop_window() {
    kill -TERM "$pid"
    local deadline=$((SECONDS + 20))
    until ended; do
        [ $SECONDS -lt $deadline ] || fail "the window did not end on SIGTERM"
        sleep 0.02
    done
    local status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "the window ended with status $status"
}

# 1. Nothing beside the program: everything in the per-user folder.
start_window per-user
wait_for "the per-user folder to be seeded" seeded "$user_folder" codepage.ini ok.wav error.wav
stop_window
[ -f "$user_folder/config.ini" ] || fail "no config.ini in $user_folder"
grep -q '^\[PARA\]' "$user_folder/config.ini" || fail "$user_folder/config.ini holds no settings"
[ ! -e "$bindir/config.ini" ] || fail "config.ini was written beside the program"
cmp -s "$user_folder/codepage.ini" "$datadir/codepage.ini" || fail "codepage.ini not seeded"
cmp -s "$user_folder/error.wav" "$datadir/error.wav" || fail "error.wav not seeded"
echo "per-user folder: config.ini written to $user_folder"

# 2. The same, but start-up reports codepage.ini (a folder here) in a message box, which the
#    signal most likely finds open.
mkdir -p "$work/message-box/.local/share/$package/codepage.ini"
start_window message-box
wait_for "the per-user folder to be seeded" seeded "$user_folder" ok.wav error.wav
stop_window
grep -q '^\[PARA\]' "$user_folder/config.ini" || fail "no settings saved with a message box open"
echo "message box open at SIGTERM: config.ini written to $user_folder"

# 3. A config.ini beside the program that the user may write (an administrator's, or one an
#    older version left): an installed program keeps nothing there.
if [ "$(id -u)" -ne 0 ] && [ "$mode" = --installed ]; then
    echo "config.ini beside the program not tried: $bindir cannot take one"
    exit 0
fi
admin_config=$bindir/config.ini
[ "$(id -u)" -eq 0 ] || chmod u+w "$bindir"
printf '[APP]\nCAPTION=SHOP SET-UP\n' >"$admin_config"
[ "$(id -u)" -eq 0 ] || chmod a-w "$bindir"
give "$admin_config"
start_window beside
wait_for "the per-user folder to be seeded" seeded "$user_folder" codepage.ini ok.wav error.wav
stop_window
[ "$(cat "$admin_config")" = "$(printf '[APP]\nCAPTION=SHOP SET-UP')" ] ||
    fail "config.ini beside the program was changed"
grep -q '^\[PARA\]' "$user_folder/config.ini" || fail "no settings saved in $user_folder"
echo "config.ini beside the program: left alone, settings in $user_folder"
rm -f "$admin_config"
admin_config=""

# 4. Root may write the program's folder, and still keeps nothing there.
if [ "$(id -u)" -eq 0 ]; then
    run_as=()
    start_window root
    wait_for "the per-user folder to be seeded" seeded "$user_folder" codepage.ini ok.wav error.wav
    stop_window
    grep -q '^\[PARA\]' "$user_folder/config.ini" || fail "root's settings not in $user_folder"
    [ ! -e "$bindir/config.ini" ] || fail "root's config.ini was written beside the program"
    [ ! -e "$bindir/debug.log" ] || fail "root's debug.log was written beside the program"
    echo "root: config.ini written to $user_folder"
fi
