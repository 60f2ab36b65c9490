#!/usr/bin/env bash
# Many updates in one program run, as a service bench does them: before each the radio's
# flash is erased; every third is first refused by the radio at some block (a wrong
# acknowledgement or none) and repeated; each ends with the whole image in the radio, byte
# for byte. Between updates the update window is closed and opened again and the radio
# switched on. After every Q42_SOAK_EVERY-th update the program's resource counts are
# printed; from the first of those lines to the last, the handle, GDI and window counts
# must stay the same and the memory may grow by at most Q42_SOAK_KB_PER_UPDATE per update:
# under Wine 8 every WaitCommEvent that has to wait keeps about 0.45 KiB (a bare program
# doing only that shows it too), some 45 KiB for the acknowledgements of one update, so
# memory cannot be flat there; a frame's worth lost per frame (86 KiB an update) is caught.
#   Q42_SOAK_UPDATES (default 20), Q42_SOAK_EVERY (default 5), Q42_SOAK_KB_PER_UPDATE (80)
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
updates=${Q42_SOAK_UPDATES:-20}
every=${Q42_SOAK_EVERY:-5}
kb_per_update=${Q42_SOAK_KB_PER_UPDATE:-80}
[ "$updates" -ge $((2 * every)) ] || e2e_fail "$updates updates give fewer than two resource lines"
e2e_begin

frames=$(image_blocks "$Q42_IMAGE" | wc -l)

# resource_field LINE NAME: one value of a line of q42ui resources.
resource_field() { sed -n "s/.*\<$2=\([^ ]*\).*/\1/p" <<<"$1"; }
# The counts that must not move at all: the line without its memory figures.
resource_counts() { echo "${1%% working_set_kb=*}"; }

# attempt N LABEL: the update window opened, the radio switched on, its name label as
# expected, "Update now"; the caller waits for the end.
attempt() {
    update_open
    update_handshake radio
    ui_expect "update $1: name label" "$2" text "$UPDATE" "$UPDATE_NAME_LABEL"
    ui click "$UPDATE" "Update now"
}

close_update() {
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 5000 || e2e_fail "update $1: the update window did not close"
}

e2e_case soak
sim_start radio 1 --image "$Q42_IMAGE"
app_start
first_resources=""
refused=0
start=$(date +%s%N)
for ((n = 1; n <= updates; n++)); do
    sim_send radio erase
    sim_wait_count radio '^event erased' "$n" 10
    # The erased radio's header names no application; a refused write has sent block 0.
    label="Unknown application in unit"
    if ((n % 3 == 0)); then
        # Alternately a wrong acknowledgement and none, at blocks spread over the image.
        if ((n % 2 == 0)); then fault=nack; else fault=no-ack; fi
        block=$(((n * 13) % frames))
        sim_send radio "fault $fault=$block"
        attempt "$n" "$label"
        ui wait-text "$UPDATE" Edit "Program write failed - please repeat" 30000 ||
            e2e_fail "update $n: the refusal at block $block was not reported"
        power_on_events radio "$E2E_WORK/refused-$n.events"
        [ "$(grep -c '^event frame ' "$E2E_WORK/refused-$n.events")" = $((block + 1)) ] ||
            e2e_fail "update $n: frames were sent after the refused block $block"
        sim_send radio "fault none"
        close_update "$n"
        refused=$((refused + 1))
        refusal=" (first refused: $fault at frame $block)"
        label="Application in unit: $(image_field "$Q42_IMAGE" 17 5)"
    else
        refusal=""
    fi
    attempt "$n" "$label"
    ui wait-text "$UPDATE" Edit "Repeat programming if required." 60000 ||
        e2e_fail "update $n: the write did not complete"
    sim_save radio "$E2E_WORK/flash.bin"
    power_on_events radio "$E2E_WORK/update.events"
    expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/update.events"
    close_update "$n"
    echo "update $n: complete, $frames frames, flash equals the image$refusal"

    if ((n % every == 0)); then
        line=$(ui resources "$MAIN") || e2e_fail "no resource counts after update $n"
        echo "resources after update $n: $line"
        if [ -z "$first_resources" ]; then
            first_resources=$line
            first_n=$n
        fi
    fi
done
elapsed_ms=$((($(date +%s%N) - start) / 1000000))

[ "$(resource_counts "$line")" = "$(resource_counts "$first_resources")" ] ||
    e2e_fail "the counts moved from update $first_n [$(resource_counts "$first_resources")] to update $updates [$(resource_counts "$line")]"
allowed_kb=$((kb_per_update * (updates - first_n)))
for field in working_set_kb commit_kb; do
    grown=$(($(resource_field "$line" $field) - $(resource_field "$first_resources" $field)))
    echo "$field: ${grown} KiB more after update $updates than after update $first_n (at most $allowed_kb)"
    [ "$grown" -le "$allowed_kb" ] || e2e_fail "$field grew by $grown KiB, more than $allowed_kb"
done
awk -v ms="$elapsed_ms" -v n="$updates" -v r="$refused" 'BEGIN {
    printf "%d updates (%d of them refused once and repeated) in %.1f s, %.1f s each\n", n, r, ms / 1000, ms / 1000 / n
}'
sim_stop radio
e2e_case_end
echo "PASS"
