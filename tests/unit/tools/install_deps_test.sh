#!/usr/bin/env bash
# Runs tools/install-deps against stand-ins for apt-get, dpkg-query, dpkg, id and sudo, one
# row per way a package registry behaves, and checks what the script asked apt and how it ended.
# Usage: install_deps_test.sh INSTALL_DEPS WORKDIR
set -u
script=$1
work=$2
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

rm -rf "$work"
mkdir -p "$work/bin"
failures=0
fail() {
    echo "FAIL: $1" >&2
    failures=$((failures + 1))
}

# The stand-ins keep their state in $STATE: "installed" (every package is there once it
# exists), "apt.log" (one line per apt-get call, "sudo " before it when sudo ran it).
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/bin/sh
for last; do :; done
{ [ -e "$STATE/installed" ] || [ "$last" = "$ALSO_PRESENT" ]; } && printf 'install ok installed'
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/bin/sh
case $1 in --print-foreign-architectures) [ -e "$STATE/i386" ] && echo i386 ;; *) touch "$STATE/i386" ;; esac
STANDIN
cat >"$work/bin/id" <<'STANDIN'
#!/bin/sh
echo "$UID_SEEN"
STANDIN
cat >"$work/bin/sudo" <<'STANDIN'
#!/bin/sh
VIA_SUDO="sudo " exec "$@"
STANDIN
# APT_UPDATE: ok or fails. APT_INSTALL: ok, unresolvable, or release-only (resolves only
# when the release's own suite is preferred).
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/sh
echo "${VIA_SUDO:-}$*" >>"$STATE/apt.log"
case " $* " in
*" update "*)
    [ "$APT_UPDATE" = ok ] && exit 0
    echo "E: Some index files failed to download." >&2
    exit 100 ;;
*" install "*)
    if [ "$APT_INSTALL" = ok ] ||
        { [ "$APT_INSTALL" = release-only ] && [ "${*#* -t $CODENAME }" != "$*" ]; }; then
        touch "$STATE/installed"
        exit 0
    fi
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100 ;;
esac
STANDIN
chmod +x "$work/bin"/*

p_update='-o Acquire::Retries=[1-9].* update'
p_install=' install( -[a-z-]+)* cmake '
p_release=" install .* -t $codename cmake "
# name | uid | present (yes, no, or one package) | apt-get update | apt-get install | exit | apt calls (grep -E, in order) | stderr holds
rows=(
    "all present|0|yes|ok|ok|0||"
    "index fails once|0|no|fails|ok|0|$p_update;$p_install|installing with those that were"
    "release suite resolves|0|no|ok|release-only|0|$p_update;$p_install;$p_release|preferring the release's own suite ($codename)"
    "gcc-multilib left over|0|gcc-multilib|ok|ok|1||sudo apt-get remove gcc-multilib && tools/install-deps"
    "nothing installable|1000|no|fails|unresolvable|1|^sudo $p_update;^sudo .*$p_install;^sudo .*$p_release|could not be installed: cmake make"
)

for row in "${rows[@]}"; do
    IFS='|' read -r name uid present update install want_exit want_calls want_err <<<"$row"
    export STATE="$work/$name" ALSO_PRESENT=$present UID_SEEN=$uid APT_UPDATE=$update APT_INSTALL=$install CODENAME=$codename
    mkdir -p "$STATE"
    touch "$STATE/apt.log"
    [ "$present" = yes ] && touch "$STATE/installed"
    PATH="$work/bin:$PATH" bash "$script" >"$STATE/out.txt" 2>"$STATE/err.txt" </dev/null
    code=$?
    [ "$code" -eq "$want_exit" ] || fail "$name: exit $code, expected $want_exit: $(cat "$STATE/err.txt")"
    IFS=';' read -r -a calls <<<"$want_calls"
    [ "$(wc -l <"$STATE/apt.log")" -eq "${#calls[@]}" ] ||
        fail "$name: apt-get called $(wc -l <"$STATE/apt.log") times, expected ${#calls[@]}: $(cat "$STATE/apt.log")"
    for i in "${!calls[@]}"; do
        sed -n "$((i + 1))p" "$STATE/apt.log" | grep -qE -- "${calls[$i]}" ||
            fail "$name: apt-get call $((i + 1)) does not match '${calls[$i]}': $(cat "$STATE/apt.log")"
    done
    [ -z "$want_err" ] || grep -qF -- "$want_err" "$STATE/err.txt" ||
        fail "$name: stderr lacks '$want_err': $(cat "$STATE/err.txt")"
done

# The last row's paragraph names the command to run again, after apt's own words.
last="$work/nothing installable/err.txt"
[ "$(tail -n 1 "$last")" = "Run this again later, when the registry has settled:  tools/install-deps" ] ||
    fail "nothing installable: last line is '$(tail -n 1 "$last")'"
[ "$(grep -n 'Unable to correct' "$last" | tail -n 1 | cut -d: -f1)" -lt "$(grep -n 'could not be installed' "$last" | cut -d: -f1)" ] ||
    fail "nothing installable: apt's output is not above the script's paragraph"

echo "${#rows[@]} rows, $failures failed"
[ "$failures" -eq 0 ]
