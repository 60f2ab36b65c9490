#!/usr/bin/env bash
# The windows on a display of Q42_DPI dots per inch (96 unless set; a DPI other than 96 runs
# in a Wine prefix of its own, rig/wine-env): every control lies where its 96-DPI design
# scaled by DPI/96 puts it (exactly at 96, within a pixel otherwise), each client area is
# the design's scaled, the text of every fixed-size label stays inside its box, and the
# terminal's text and mark lie in its cells scaled. The screenshots stay in the case
# folder, to be looked at.
source "$(dirname "$0")/lib.sh"
e2e_begin

dpi=$Q42_DPI
tolerance=1
[ "$dpi" = 96 ] && tolerance=0

# A design length or place at this DPI, rounded half up as the program's MulDiv does.
scaled() { echo $((($1 * dpi + 48) / 96)); }

# The 96-DPI design: window, control id, left, top, width, height (an empty width and
# height: a label sized to its text, whose place alone is designed).
design() {
    local k
    cat <<'ROWS'
main 1001 0 8 420 20
main 1002 13 40 393 257
setup 1501 8 8 185 41
setup 1510 8 56 185 129
setup 1 63 196 75 25
setup 1530 8 229 185 108
terminal 2001 8 424 640 16
terminal 2002 8 440 560 16
terminal 2003 8 456 656 16
terminal 2004 8 472 480 16
update 1101 24 32 281 225
update 1102 232 296 75 25
update 1103 24 264 281 25
update 1104 24 296
update 1105 24 312
update 1106 24 8
update 1107 232 8
bench 1401 8 8
bench 1402 64 32 560 22
bench 1403 632 31 136 25
bench 1404 8 64 300 20
bench 1405 608 62 75 25
bench 1406 693 62 75 25
bench 1407 8 94 592 16
bench 1408 8 116 760 92
bench 1500 8 238 76 20
bench 1501 88 236 120 22
bench 1502 216 240 304 16
bench 1503 528 238 104 20
bench 1504 640 236 128 22
ROWS
    # The radio items, COM1 to COM8 down the left column, COM9 to COM16 down the right.
    for k in $(seq 0 15); do
        echo "setup $((1511 + k)) $((16 + 87 * (k / 8))) $((69 + 14 * (k % 8))) 87 14"
    done
}

# Client areas in design pixels, and the labels whose size is fixed.
# The bench window's height grows with its rows, one for each port present (bench_rows).
declare -A client=([main]=420x333 [setup]=202x360 [terminal]=683x496 [update]=327x341 [bench]=776x0)
declare -A fixed_labels=([main]="1001" [setup]="1501" [terminal]="2001 2002 2003 2004" [update]="" [bench]="1407 1502")

# The bench window's rows: its tick boxes, ids 1500, 1508, ...
bench_row_count() {
    ui list "Q42 Bench" | sed -n 's/.* id=\([0-9]*\) at=.*/\1/p' | awk '$1 >= 1500 && ($1 - 1500) % 8 == 0' | wc -l
}

near() { local d=$(($1 - $2)); [ "${d#-}" -le "$tolerance" ]; }

# check_window NAME CAPTION: the window's controls, client area and labels against the design.
check_window() {
    local name=$1 caption=$2 listing bmp window id left top width height line x y w h
    listing=$(ui list "$caption") || e2e_fail "cannot list \"$caption\""
    bmp=$(capture "$caption" "$name")
    read -r w h < <(identify -format '%w %h\n' "$bmp")
    near "$w" "$(scaled "${client[$name]%x*}")" && near "$h" "$(scaled "${client[$name]#*x}")" ||
        e2e_fail "$name: client area ${w}x$h, designed ${client[$name]} at $dpi DPI"
    while read -r window id left top width height; do
        [ "$window" = "$name" ] || continue
        line=$(grep -E "^[^ ]+ id=$id at=" <<<"$listing") || e2e_fail "$name: no control $id"
        [[ $line =~ at=(-?[0-9]+),(-?[0-9]+)\ size=([0-9]+)x([0-9]+) ]] || e2e_fail "$name: cannot read [$line]"
        x=${BASH_REMATCH[1]} y=${BASH_REMATCH[2]} w=${BASH_REMATCH[3]} h=${BASH_REMATCH[4]}
        near "$x" "$(scaled "$left")" && near "$y" "$(scaled "$top")" ||
            e2e_fail "$name: control $id at $x,$y, designed $left,$top at $dpi DPI"
        [ -z "$width" ] && continue
        near "$w" $(($(scaled $((left + width))) - $(scaled "$left"))) &&
            near "$h" $(($(scaled $((top + height))) - $(scaled "$top"))) ||
            e2e_fail "$name: control $id is ${w}x$h, designed ${width}x$height at $dpi DPI"
        # Text cut by its box reaches the box's last column or row.
        if [[ " ${fixed_labels[$name]} " == *" $id "* ]] && ink "$bmp" $((x + w - 1)) "$y" 1 "$h"; then
            e2e_fail "$name: the text of label $id is cut at its right edge"
        fi
        if [[ " ${fixed_labels[$name]} " == *" $id "* ]] && ink "$bmp" "$x" $((y + h - 1)) "$w" 1; then
            e2e_fail "$name: the text of label $id is cut at its bottom edge"
        fi
    done < <(design)
    e2e_step "$name: as designed at $dpi DPI ($bmp)"
}

# The terminal's cell of 1-based column c, row r (the design's 8 x 14 pixels from
# x = 8c + 8, y = 14r + 21), and the line of the cursor mark under it, at this DPI.
scaled_cell() {
    local x0 y0
    x0=$(scaled $((8 * $2 + 8))) y0=$(scaled $((14 * $3 + 21)))
    echo "$x0 $y0 $(($(scaled $((8 * $2 + 16))) - x0)) $(($(scaled $((14 * $3 + 35))) - y0))"
}
scaled_mark() {
    local x0
    x0=$(scaled $((8 * $2 + 8)))
    echo "$x0 $(scaled $((14 * $3 + 35))) $(($(scaled $((8 * $2 + 16))) - x0)) 1"
}

# check_cells BMP: "Hello Q42", CR LF, "line two" came back and lie in their cells.
check_cells() {
    local c r
    for c in 1 9; do
        # shellcheck disable=SC2046
        ink "$1" $(scaled_cell "$1" "$c" 1) || e2e_fail "terminal: no text in cell $c of row 1"
    done
    # shellcheck disable=SC2046
    ink "$1" $(scaled_cell "$1" 1 2) || e2e_fail "terminal: no text in cell 1 of row 2"
    for r in 1 2; do
        # shellcheck disable=SC2046
        ! ink "$1" $(scaled_cell "$1" 10 "$r") || e2e_fail "terminal: text beyond the line's end in row $r"
    done
    # shellcheck disable=SC2046
    ink "$1" $(scaled_mark "$1" 9 2) || e2e_fail "terminal: no mark behind \"line two\""
    # shellcheck disable=SC2046
    ! ink "$1" $(scaled_mark "$1" 10 2) || e2e_fail "terminal: the mark is not where the line ends"
}

e2e_case "dpi_layout_$dpi"
sim_start radio 1 --mode loopback
app_start
check_window main "$MAIN"
while IFS="|" read -r -u 3 name menu caption; do
    ui menu "$MAIN" "$menu"
    ui wait-window "$caption" 5000 || e2e_fail "the $name window did not open"
    [ "$name" = terminal ] && ui type "$TERMINAL" 'Hello Q42\r\nline two'
    [ "$name" = bench ] && client[bench]=776x$((236 + 26 * $(bench_row_count) + 8))
    sleep 0.5
    check_window "$name" "$caption"
    [ "$name" = terminal ] && check_cells "$E2E_WORK/terminal.bmp"
    ui close "$caption"
    ui wait-gone "$caption" 5000 || e2e_fail "the $name window did not close"
done 3<<ROWS
setup|IDM_SETUP|$SETUP
terminal|IDM_TEST_PORT|$TERMINAL
update|IDM_UPDATE|$UPDATE
bench|IDM_BENCH|Q42 Bench
ROWS
e2e_case_end
echo "PASS"
