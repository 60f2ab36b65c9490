#!/bin/sh
# Runs q42pack against good and bad inputs and checks its output, exit status and files.
# Usage: q42pack_test.sh Q42PACK MAKE_SAMPLE_FIRMWARE WORKDIR
set -u
pack=$1
make_sample=$2
work=$3

rm -rf "$work"
mkdir -p "$work/outdir"
cd "$work" || exit 1

failures=0
fail() {
    echo "FAIL: $1" >&2
    failures=$((failures + 1))
}

# run COMMAND...: leaves the exit status in $code, stdout in out.txt, stderr in err.txt
run() {
    "$@" >out.txt 2>err.txt
    code=$?
}

# expect_error NAME TEXT COMMAND...: exit status 2 and one line on stderr holding TEXT
expect_error() {
    name=$1
    text=$2
    shift 2
    run "$@"
    [ "$code" -eq 2 ] || fail "$name: exit status $code, expected 2"
    [ "$(wc -l <err.txt)" -eq 1 ] || fail "$name: stderr is not one line: $(cat err.txt)"
    grep -qF "$text" err.txt || fail "$name: stderr lacks '$text': $(cat err.txt)"
}

# expect_show NAME STATUS LINE FILE: --show exits with STATUS and prints exactly LINE
expect_show() {
    run "$pack" --show "$4"
    [ "$code" -eq "$2" ] || fail "$1: exit status $code, expected $2"
    [ "$(cat out.txt)" = "$3" ] || fail "$1: printed '$(cat out.txt)', expected '$3'"
}

"$make_sample" image.bin || exit 1
seq 1 20000 >program.exe
program_size=$(wc -c <program.exe)
sums_before=$(cksum program.exe image.bin)

# A good run: the program's bytes come first, then a container the program will use.
run "$pack" program.exe image.bin packed.exe
[ "$code" -eq 0 ] || fail "pack: exit status $code: $(cat err.txt)"
cmp -s -n "$program_size" program.exe packed.exe || fail "pack: program bytes changed"
sha=$(sha256sum image.bin | cut -d' ' -f1)
expect_show "show packed" 0 "container: 90488 bytes, version V2.041, SHA-256 $sha" packed.exe
expect_show "show plain program" 1 "no firmware container" program.exe

# The image's SHA-256 follows it: without those 36 bytes, the container of before.
head -c -36 packed.exe >old.exe
expect_show "show old" 0 "container: 90488 bytes, version V2.041, no SHA-256 (packed before containers carried one)" \
    old.exe
head -c -37 packed.exe >cut.exe
expect_show "show cut" 1 \
    "damaged firmware container at offset $program_size (the program will not use it)" cut.exe
cp packed.exe flipped.exe
at=$((program_size + 13 + 45000))
byte=$(od -An -tu1 -j "$at" -N 1 packed.exe | tr -d ' ')
printf '%b' "\\0$(printf '%o' $((byte ^ 1)))" | dd of=flipped.exe bs=1 seek="$at" conv=notrunc status=none
expect_show "show flipped" 1 \
    "damaged firmware image at offset $program_size: it does not match its SHA-256 (the program will not use it)" \
    flipped.exe

# The marker is put together at run time, so the packer's own file does not hold it.
expect_show "show q42pack" 1 "no firmware container" "$pack"

head -c 262143 /dev/zero >largest.bin
run "$pack" program.exe largest.bin largest.exe
[ "$code" -eq 0 ] || fail "largest image: exit status $code: $(cat err.txt)"

head -c 262144 /dev/zero >too_big.bin
: >empty.bin
cp program.exe ends_with_marker.exe
printf 'HTRSW' >>ends_with_marker.exe
ln -s program.exe link.exe

expect_error "missing program" "program file 'nothing.exe' does not exist" \
    "$pack" nothing.exe image.bin out.exe
expect_error "image too big" "must be smaller than 262144 bytes" \
    "$pack" program.exe too_big.bin out.exe
expect_error "empty image" "image file 'empty.bin' is empty" \
    "$pack" program.exe empty.bin out.exe
expect_error "already packed" "already holds a firmware container" \
    "$pack" packed.exe image.bin out.exe
expect_error "marker at the end" "offset $program_size" \
    "$pack" ends_with_marker.exe image.bin out.exe
expect_error "output is program" "is one of the input files" \
    "$pack" program.exe image.bin program.exe
expect_error "output is image" "is one of the input files" \
    "$pack" program.exe image.bin image.bin
expect_error "output links to program" "is one of the input files" \
    "$pack" program.exe image.bin link.exe
expect_error "output directory missing" "cannot write output 'missing/out.exe'" \
    "$pack" program.exe image.bin missing/out.exe
expect_error "output is a directory" "cannot write output 'outdir'" \
    "$pack" program.exe image.bin outdir

[ ! -e out.exe ] || fail "a failed run left out.exe"
[ -z "$(find . -name '*q42pack-tmp*')" ] || fail "a temporary file was left behind"
[ "$(cksum program.exe image.bin)" = "$sums_before" ] || fail "an input file changed"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all q42pack checks passed"
