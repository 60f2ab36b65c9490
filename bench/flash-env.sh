# Sourced by the q42flash benchmarks: source flash-env.sh BUILD_DIR NAME sets build, sim,
# flash and image (the build's firmware image), checks they are there, and makes a fresh
# working folder, work, under the build.
build=$(cd "$1" && pwd)
sim=$build/bin/q42sim
flash=$build/bin/q42flash
image=$(sed -n 's/^Q42_FIRMWARE_IMAGE:FILEPATH=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
[ -n "$image" ] || image=$build/firmware/sample_firmware.bin
for needed in "$sim" "$flash" "$image"; do
    [ -f "$needed" ] || { echo "$needed is missing; build first (make build)" >&2; exit 1; }
done
work=$build/bench/$2
rm -rf "$work"
mkdir -p "$work"

# switch_on_when_listening ERR CONTROL...: the radios are switched on once q42flash says it
# listens (in its standard error, the file ERR): a greeting before that is stale, and dropped.
switch_on_when_listening() {
    local err=$1 i fd
    shift
    for ((i = 0; i < 200; i++)); do
        grep -q 'waiting for the radio' "$err" 2>/dev/null && break
        sleep 0.05
    done
    for fd in "$@"; do printf 'on\n' >&"$fd"; done
}
