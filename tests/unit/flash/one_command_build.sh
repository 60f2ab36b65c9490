#!/usr/bin/env bash
# The manual's one-command build of q42flash, run exactly as the manual writes it, in a copy of
# the source folders it names: it must give a q42flash that starts.
#   one_command_build.sh SOURCE_DIR WORKDIR
set -euo pipefail
source=$1 work=$2
line=$(sed -n 's/\\-/-/g; /^c++ -std=c++17 /p' "$source/flash/q42flash.1")
[ -n "$line" ] || { echo "FAIL: flash/q42flash.1 has no one-command build" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
cp -r "$source/flash" "$source/core" "$work/"
cd "$work"
echo "$line"
eval "$line"
./q42flash --version
