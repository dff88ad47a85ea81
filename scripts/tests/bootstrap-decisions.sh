#!/usr/bin/env bash
# The bootstrap's decisions with stand-ins for apt, dpkg and the 32-bit probe: a mirror in
# mid-sync (every index refresh fails), an install that resolves only with the main
# suite's versions, one that never resolves, and a machine that needs nothing.
set -u
cd "$(dirname "$0")/../.."
work=$(mktemp -d) failures=0
export ZC_BOOTSTRAP_STANDINS=$work
trap 'rm -rf "$work"' EXIT
stand_in() { printf '#!/usr/bin/env bash\necho "${0##*/} $*" >>%s/calls\n%s\n' "$work" "$2" >"$work/$1"
    chmod +x "$work/$1"; }
for quiet in sleep dpkg; do stand_in $quiet ''; done
stand_in dpkg-query '[ "$PRESENT" = all ] && printf "install ok installed"; true'
stand_in runs-32-bit 'exit "$RUNS_32_BIT"'
stand_in apt-get 'case "$1 $INSTALL" in
  update*) echo "E: Failed to fetch …/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2; exit 100;;
  "install resolves") exit 0;;
  "install with-main-suite") [[ "$*" == *Dir::Etc::Preferences=* ]] && exit 0;;
esac
echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100'
# Patterns match across lines. name | kernel runs 32-bit (exit code) | present | install |
# fails | in the calls | not in the calls | in the output
while IFS='|' read -r name runs32 present install want_rc want_calls unwanted_calls want_output; do
    : >"$work/calls"
    output=$(RUNS_32_BIT=$runs32 PRESENT=$present INSTALL=$install scripts/bootstrap 2>&1)
    rc=$?
    problems=$([ $((rc != 0)) -eq "$want_rc" ] || echo "exit $rc"
        for w in $want_calls; do grep -zqE -- "$w" "$work/calls" || echo "no call $w"; done
        for w in $unwanted_calls; do grep -zqE -- "$w" "$work/calls" && echo "a call $w"; done
        [ -z "$want_output" ] || grep -zqE -- "$want_output" <<<"$output" || echo "no output $want_output")
    [ -z "$problems" ] || { failures=$((failures + 1)) && printf 'FAIL %s: %s\n%s\n' "$name" \
        "$problems" "$output" && grep -v dpkg-query "$work/calls"; }
done <<'TABLE'
mid-sync, 64-bit only|1|none|with-main-suite|0|update.*sleep.*update.*sleep.*update.*install.*install.*Preferences.*x86-64|add-architecture wine32:i386|installing with what apt has
mid-sync, runs 32-bit|0|none|resolves|0|add-architecture.i386.*install.*wine32:i386|x86-64 Preferences|again in 20 s
install never resolves|1|none|broken|1|Preferences||held broken packages.*mirror.*scripts/bootstrap
all present|0|all|broken|0||apt-get add-architecture|
TABLE
[ "$failures" -eq 0 ] && echo "bootstrap decisions: all passed"
