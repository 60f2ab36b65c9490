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

# The radios are switched on once q42flash listens (power_on_when_listening): a greeting
# before that is stale, and dropped.
# shellcheck source=tests/lib/radios.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/lib/radios.sh"
