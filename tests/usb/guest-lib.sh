# shellcheck shell=sh
# Sourced by a case's guest script (busybox sh, in /bench): q42flash runs whose lines reach
# the console as they come (the host waits on them) and /out, stamped with the guest's
# clock; their exit status and standard error in /out too.

# uptime_ms: the guest's monotonic clock, in ms.
uptime_ms() {
    read -r up _ </proc/uptime
    echo $((${up%.*} * 1000 + 1${up#*.}0 - 1000))
}

# flash_start NAME ARGS...: q42flash in the background; /out/NAME.lines (each line after its
# time in ms), NAME.err, NAME.code once it has ended.
flash_start() {
    flash_name=$1
    shift
    {
        q42flash "$@" </dev/null 2>"/out/$flash_name.err"
        echo $? >"/out/$flash_name.code"
    } | while IFS= read -r line; do
        echo "$(uptime_ms) $line" >>"/out/$flash_name.lines"
        echo "$line"
    done &
    flash_job=$!
}
flash_wait() {
    wait "$flash_job"
    echo "bench: $flash_name ended, exit status $(cat "/out/$flash_name.code")"
}
flash() {
    flash_start "$@"
    flash_wait
}

# flash_pid: the one q42flash running, once it has started (up to 5 s).
flash_pid() {
    i=0
    while ! pidof q42flash && [ $i -lt 100 ]; do
        sleep 0.05
        i=$((i + 1))
    done
}

# cpu_ms PID: the processor time the process has used, in ms (USER_HZ is 100).
cpu_ms() {
    # shellcheck disable=SC2046
    set -- $(cat "/proc/$1/stat")
    echo $(((${14} + ${15}) * 10))
}

# wait_gone PATH SECONDS: until PATH no longer exists (a converter pulled out).
wait_gone() {
    i=0
    while [ -e "$1" ] && [ $i -lt $(($2 * 50)) ]; do
        sleep 0.02
        i=$((i + 1))
    done
    [ ! -e "$1" ]
}
