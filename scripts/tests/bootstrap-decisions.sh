#!/usr/bin/env bash
# The bootstrap's decisions with stand-ins for apt, dpkg and the 32-bit probe: a mirror in
# mid-sync (every index refresh fails), an install that resolves only with the main
# suite's versions, one that never resolves, and a machine that needs nothing.
set -u
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZC_BOOTSTRAP_STANDINS=$work/bin
mkdir -p "$ZC_BOOTSTRAP_STANDINS"
stand_in() { printf '#!/usr/bin/env bash\necho "$(basename "$0") $*" >>%s/calls\n%s\n' "$work" "$2" \
    >"$ZC_BOOTSTRAP_STANDINS/$1" && chmod +x "$ZC_BOOTSTRAP_STANDINS/$1"; }
stand_in sleep ':'
stand_in dpkg '[ "$1" != --print-foreign-architectures ] || true'
stand_in dpkg-query '[ "$PRESENT" = all ] && printf "install ok installed"; true'
stand_in runs-32-bit 'exit "$RUNS_32_BIT"'
stand_in apt-get 'case "$1 $INSTALL" in
  update*) echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2; exit 100;;
  "install resolves") exit 0;;
  "install with-main-suite") [[ "$*" == *Dir::Etc::Preferences=* ]] && exit 0;;
esac
echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100'

failures=0
# name | kernel runs 32-bit (exit code) | packages present | install | exit | in calls | not in calls | in output
while IFS='|' read -r name runs32 present install want_rc want_calls unwanted_calls want_output; do
    : >"$work/calls"
    output=$(RUNS_32_BIT=$runs32 PRESENT=$present INSTALL=$install scripts/bootstrap 2>&1)
    rc=$?
    fail() { echo "FAIL $name: $*"; echo "$output" | sed 's/^/  | /'; grep -v dpkg-query "$work/calls" | sed "s/^/  > /"; failures=$((failures + 1)); }
    [ $((rc != 0)) -eq "$want_rc" ] || fail "exit $rc"
    for w in $want_calls; do grep -qE -- "$w" "$work/calls" || fail "no call matching $w"; done
    for w in $unwanted_calls; do grep -qE -- "$w" "$work/calls" && fail "a call matching $w"; done
    [ -z "$want_output" ] || grep -zqE -- "$want_output" <<<"$output" || fail "output lacks $want_output"
done <<'TABLE'
mid-sync, 64-bit only|1|none|with-main-suite|0|^sleep ^apt-get.install.*Preferences.*x86-64|add-architecture wine32:i386|installing with what apt has
mid-sync, runs 32-bit|0|none|resolves|0|add-architecture.i386 ^apt-get.install.*wine32:i386|x86-64 Preferences|again in 20 s
install never resolves|1|none|broken|1|Preferences||held broken packages.*mirror.*scripts/bootstrap
all present|0|all|broken|0||apt-get add-architecture|
TABLE
[ "$(grep -c '^apt-get update' "$work/calls")" -eq 0 ] || failures=$((failures + 1))
RUNS_32_BIT=1 PRESENT=none INSTALL=resolves scripts/bootstrap >/dev/null 2>&1
[ "$(grep -c '^apt-get update' "$work/calls")" -eq 3 ] || { echo "FAIL: the refresh was not tried three times"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "bootstrap decisions: all passed"
exit "$((failures != 0))"
