#!/bin/bash
# SIGTERM, SIGINT and SIGHUP end the desktop program the normal way: it
# exits with 0 and its settings file is written (ConfirmExit is on, so the
# exit question must not hold it up either). The SIGTERM run starts on the
# project's hand-edited settings file: the program names on standard error
# the value it did not take, and saves it in range.
set -u
set -m  # background jobs keep SIGINT (without job control they ignore it)
tolvane=$1
hand_edited=$(dirname "$0")/../data/settings_hand_edited.ini
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# True once the program catches `signal` (the SigCgt mask in /proc). Until
# it has started, the process is still the forked shell, whose own handlers
# show in the mask: a signal then would end the shell, not test the program.
program=$(readlink -f "$tolvane")
catches() {
    local mask
    [ "$(readlink "/proc/$1/exe" 2>/dev/null)" = "$program" ] || return 1
    mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$1/status" 2>/dev/null) || return 1
    [ -n "$mask" ] && (( (0x$mask >> ($2 - 1)) & 1 ))
}

failed=0
for signal in TERM INT HUP; do
    ini=$dir/$signal.ini
    : >"$ini"
    if [ "$signal" = TERM ]; then cat "$hand_edited" >"$ini"; fi
    QT_QPA_PLATFORM=offscreen "$tolvane" --demo --ini "$ini" 2>"$dir/$signal.err" &
    pid=$!
    number=$(kill -l "$signal")
    for _ in $(seq 300); do catches "$pid" "$number" && break; sleep 0.1; done
    kill -s "$signal" "$pid"
    wait "$pid"
    status=$?
    told="tolvane: settings file $ini: Font.Height=-2147483648 is out of range (-1000 to 1000); -11 kept"
    if [ "$status" -ne 0 ] || ! grep -q '^ConfirmExit=1' "$ini" ||
        { [ "$signal" = TERM ] && ! { grep -qF "$told" "$dir/$signal.err" && grep -q '^Font.Height=-11' "$ini"; }; }; then
        echo "SIG$signal: exit status $status, standard error:"; cat "$dir/$signal.err"
        echo "settings file:"; cat "$ini"
        failed=1
    fi
done
exit $failed
