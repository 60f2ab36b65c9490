#!/usr/bin/env bash
# The test terminal with a looped-back cable: what is typed comes back and is drawn in the
# right 8 x 14 cells of the captured window, with the mark under the cell after the line's
# end; the line's control codes act: positioning, line feed, scrolling, clearing.
source "$(dirname "$0")/lib.sh"
e2e_begin

# shot NAME: captures the terminal; retried until check (a command taking the file) holds.
shot_until() {
    local name=$1 i file
    shift
    for ((i = 0; i < 25; i++)); do
        file=$(capture "$TERMINAL" "$name")
        "$@" "$file" && return 0
        sleep 0.2
    done
    e2e_fail "$name: the screen never showed what was expected ($*)"
}

# cells BMP "c,r c,r ..." — each listed cell holds ink.
inked() {
    local bmp=$2 cell
    for cell in $1; do cell_ink "$bmp" "${cell%,*}" "${cell#*,}" || return 1; done
}

blank() {
    local bmp=$2 cell
    for cell in $1; do
        if cell_ink "$bmp" "${cell%,*}" "${cell#*,}"; then echo "cell $cell is not blank" >&2; return 1; fi
    done
}

mark_at() { mark_ink "$3" "$1" "$2"; }

# The grid's 24 rows of text without the mark's pixel line under row r.
grid_blank_but_mark() {
    ! ink "$1" 16 35 640 14 && ! ink "$1" 16 50 640 322
}

e2e_case terminal
sim_start cable 1 --mode loopback
app_start
ui menu "$MAIN" IDM_TEST_PORT
ui wait-window "$TERMINAL" 5000 || e2e_fail "the terminal did not open"

e2e_step "typed text comes back at row 1"
ui type "$TERMINAL" "Hi"
shot_until typed inked "1,1 2,1"
blank "3,1 1,2" "$E2E_WORK/typed.bmp" || e2e_fail "ink outside the typed cells"
mark_at 3 1 "$E2E_WORK/typed.bmp" || e2e_fail "no mark under column 3 of row 1"
mark_at 1 1 "$E2E_WORK/typed.bmp" && e2e_fail "a mark is left under column 1"

e2e_step "escape, column 9, row 4 puts X in column 10 of row 5"
ui type "$TERMINAL" '\e\x09\x04X'
shot_until positioned inked "10,5"
blank "9,5 11,5 10,4 10,6" "$E2E_WORK/positioned.bmp" || e2e_fail "X spilled out of its cell"
mark_at 11 5 "$E2E_WORK/positioned.bmp" || e2e_fail "no mark under column 11 of row 5"

e2e_step "line feed goes to column 1 of the next row"
ui type "$TERMINAL" '\nY'
shot_until line_feed inked "1,6"
blank "2,6 11,6" "$E2E_WORK/line_feed.bmp" || e2e_fail "Y spilled out of its cell"

e2e_step "a line feed on the last row scrolls the screen up"
ui type "$TERMINAL" '\e\x00\x17Z\n'
shot_until scrolled inked "1,23 10,4 1,5"
blank "1,24 10,5 1,6 1,1 2,1" "$E2E_WORK/scrolled.bmp" || e2e_fail "the screen did not move up by one row"

e2e_step "clear screen empties the grid and puts the mark at column 1, row 1"
ui type "$TERMINAL" '\x1d'
shot_until cleared grid_blank_but_mark
mark_at 1 1 "$E2E_WORK/cleared.bmp" || e2e_fail "no mark at column 1 of row 1 after clearing"
ui type "$TERMINAL" 'A'
shot_until after_clear inked "1,1"

ui close "$TERMINAL"
ui wait-gone "$TERMINAL" 5000 || e2e_fail "the terminal did not close"
e2e_case_end
echo "PASS"
