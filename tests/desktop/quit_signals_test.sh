#!/bin/bash
# SIGTERM, SIGINT and SIGHUP end the desktop program the normal way: it
# exits with 0 and its settings file is written (ConfirmExit is on, so the
# exit question must not hold it up either).
set -u
set -m  # background jobs keep SIGINT (without job control they ignore it)
tolvane=$1
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
    QT_QPA_PLATFORM=offscreen "$tolvane" --demo --ini "$ini" &
    pid=$!
    number=$(kill -l "$signal")
    for _ in $(seq 300); do catches "$pid" "$number" && break; sleep 0.1; done
    kill -s "$signal" "$pid"
    wait "$pid"
    status=$?
    if [ "$status" -ne 0 ] || ! grep -q '^ConfirmExit=1' "$ini"; then
        echo "SIG$signal: exit status $status, settings file:"; cat "$ini"
        failed=1
    fi
done
exit $failed
