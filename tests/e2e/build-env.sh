# shellcheck shell=bash
# For scripts that take a build folder rather than CTest's settings (rig/demo, bench/run):
# sets what tests/e2e/lib.sh expects, for the build folder $1, and Q42_IMAGE to the image
# packed into the program (the one the build was given, else the sample).
Q42_BUILD=$(cd "$1" && pwd)
# The shipped 32-bit build, unless this kernel cannot run 32-bit programs
# (cmake/WindowsBuild.cmake): then the 64-bit one.
if [ "$(sed -n 's/^Q42_WINE_RUN_ARCH:INTERNAL=//p' "$Q42_BUILD/CMakeCache.txt" 2>/dev/null)" = x64 ]; then
    echo "This kernel cannot run 32-bit programs: the 64-bit build runs instead." >&2
    Q42_UPDATE_EXE=$Q42_BUILD/Q42Update-x64.exe
    Q42_UI_EXE=$Q42_BUILD/windows64/uidriver/q42ui.exe
else
    Q42_UPDATE_EXE=$Q42_BUILD/Q42Update.exe
    Q42_UI_EXE=$Q42_BUILD/windows/uidriver/q42ui.exe
fi
Q42_SIM=$Q42_BUILD/bin/q42sim
Q42_IMAGE=$(sed -n 's/^Q42_FIRMWARE_IMAGE:FILEPATH=//p' "$Q42_BUILD/CMakeCache.txt" 2>/dev/null || true)
[ -n "$Q42_IMAGE" ] || Q42_IMAGE=$Q42_BUILD/firmware/sample_firmware.bin
export Q42_BUILD Q42_UPDATE_EXE Q42_UI_EXE Q42_SIM Q42_IMAGE
for q42_needed in "$Q42_UPDATE_EXE" "$Q42_UI_EXE" "$Q42_SIM" "$Q42_IMAGE"; do
    [ -f "$q42_needed" ] || { echo "$q42_needed is missing; build first (make build)" >&2; exit 1; }
done
