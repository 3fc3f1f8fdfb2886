#!/usr/bin/env bash
# The probe that decides whether 32-bit tests run or are skipped, tried on
# both of its answers whatever this machine's kernel allows: forced by
# LUMARIN_RUN_32BIT, and through stand-in loaders that run, that the
# kernel refuses as it refuses 32-bit programs, and that are missing; then
# the set-up and the probe together on the four kinds of machine, through
# a stand-in archive.
set -uo pipefail
run32=$(dirname "$0")/run32.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

# expect WANT_RC WANT_FIRST_LINE [ENV...] -- ARGS...: run32.sh's exit code
# and the first line it prints on standard output.
expect() {
  local want_rc=$1 want_line=$2 envs=()
  shift 2
  while [ "$1" != -- ]; do envs+=("$1"); shift; done
  shift
  local out rc
  # No record unless the case names one: this machine's own is not read.
  out=$(env -u LUMARIN_RUN_32BIT LUMARIN_SETUP_RECORD="$scratch/no-record" "${envs[@]}" bash "$run32" "$@" 2>/dev/null)
  rc=$?
  if [ "$rc" -ne "$want_rc" ] || [[ "$(head -n1 <<<"$out")" != $want_line ]]; then
    echo "FAIL: ${envs[*]} run32.sh $*: exit $rc, printed '${out%%$'\n'*}';" \
      "expected exit $want_rc and '$want_line'"
    failures=$((failures + 1))
  fi
}

printf '#!/bin/sh\necho wine-stand-in\n' >"$scratch/runs"
# Binary bytes the kernel cannot execute: bash reports them as it reports a
# 32-bit program on a kernel without 32-bit emulation.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$scratch/refused"
printf '#!/bin/sh\necho broken >&2\nexit 3\n' >"$scratch/fails"
chmod +x "$scratch/runs" "$scratch/refused" "$scratch/fails"

# Forced answers.
expect 77 'SKIP: 32-bit programs forced off by LUMARIN_RUN_32BIT=no' LUMARIN_RUN_32BIT=no -- true
expect 77 'cannot run 32-bit programs: *forced*' LUMARIN_RUN_32BIT=no -- --probe
expect 0 'ran' LUMARIN_RUN_32BIT=yes -- echo ran
expect 5 '' LUMARIN_RUN_32BIT=yes -- sh -c 'exit 5'
expect 1 '' LUMARIN_RUN_32BIT=maybe -- true

# The probe itself.
expect 0 'ran' "LUMARIN_WINE32=$scratch/runs" -- echo ran
expect 0 'can run 32-bit programs' "LUMARIN_WINE32=$scratch/runs" -- --probe
expect 77 "SKIP: this kernel does not execute 32-bit programs ($scratch/refused: Exec format error)" \
  "LUMARIN_WINE32=$scratch/refused" -- true
expect 77 'cannot run 32-bit programs: *' "LUMARIN_WINE32=$scratch/refused" -- --probe
# A broken set-up fails the test rather than skipping it.
expect 1 '' "LUMARIN_WINE32=$scratch/missing" -- true
expect 1 '' "LUMARIN_WINE32=$scratch/fails" -- true

# The four kinds of machine, each through tools/setup-debian and then the
# probe, with stand-ins for apt-get, dpkg and dpkg-query on the PATH. The
# stand-in archive is told how to behave through FAKE_APT_UPDATE (ok,
# stale-i386: one i386 index of the wrong size, offline) and
# FAKE_APT_REFUSE (packages it cannot install). Each call is logged.
setup=$(dirname "$0")/../../tools/setup-debian
fakes=$scratch/fakes
mkdir -p "$fakes"
cat >"$fakes/apt-get" <<'SH'
#!/bin/bash
echo "apt-get $*" >>"$FAKE_STATE/apt.log"
[ "$1" = update ] || [ "$1" = install ] || exit 0
if [ "$1" = update ]; then
  case "$FAKE_APT_UPDATE" in
  ok) exit 0 ;;
  stale-i386)
    echo "E: Failed to fetch http://archive.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  *) echo "E: Failed to fetch http://archive.invalid/debian/dists/bookworm/InRelease  Temporary failure resolving 'archive.invalid'" >&2; exit 100 ;;
  esac
fi
shift
pkgs=()
for a in "$@"; do [[ $a == -* ]] || pkgs+=("$a"); done
for p in "${pkgs[@]}"; do
  if [[ " $FAKE_APT_REFUSE " == *" $p "* ]]; then
    echo "The following packages have unmet dependencies:"
    echo " $p : Depends: libfake:i386 (= 1.0) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100
  fi
done
printf '%s\n' "${pkgs[@]}" >>"$FAKE_STATE/installed"
SH
cat >"$fakes/dpkg-query" <<'SH'
#!/bin/bash
grep -qxF -- "${!#}" "$FAKE_STATE/installed" 2>/dev/null && printf 'install ok installed'
SH
cat >"$fakes/dpkg" <<'SH'
#!/bin/bash
echo "dpkg $*" >>"$FAKE_STATE/apt.log"
case "$1" in
--print-foreign-architectures) cat "$FAKE_STATE/arches" 2>/dev/null ;;
--add-architecture) echo "$2" >>"$FAKE_STATE/arches" ;;
esac
SH
printf '#!/bin/sh\nexec "$@"\n' >"$fakes/sudo"
chmod +x "$fakes"/*

# machine NAME UPDATE REFUSE PREINSTALLED: a fresh state for one machine.
machine() {
  state=$scratch/machines/$1
  rm -rf "$state"
  mkdir -p "$state"
  : >"$state/apt.log"
  if [ "$4" = everything ]; then
    # Every package the set-up names, read from its own lists.
    sed -n '/^linux=(/,/^wine32=/p' "$setup" | grep -v '[()=#]' | tr ' ' '\n' | grep . >"$state/installed"
    echo wine32:i386 >>"$state/installed"
    echo i386 >"$state/arches"
  fi
  machine_env=(PATH="$fakes:$PATH" FAKE_STATE="$state" FAKE_APT_UPDATE="$2" FAKE_APT_REFUSE="$3"
    LUMARIN_SETUP_RECORD="$state/record" LUMARIN_SETUP_RETRY_WAIT=0)
}

# run_setup WANT_RC: runs the set-up on the current machine.
run_setup() {
  setup_out=$(env "${machine_env[@]}" bash "$setup" all 2>&1)
  local rc=$?
  if [ "$rc" -ne "$1" ]; then
    echo "FAIL: $state: setup exited $rc, expected $1:"
    sed 's/^/  /' <<<"$setup_out"
    failures=$((failures + 1))
  fi
}

# check WHAT CONDITION...: one named assertion about the current machine.
check() {
  local what=$1
  shift
  if ! "$@"; then
    echo "FAIL: $state: $what"
    sed 's/^/  setup: /' <<<"$setup_out"
    failures=$((failures + 1))
  fi
}
lines_matching() { grep -c -- "$1" <<<"$setup_out"; }
apt_calls() { grep -c "^apt-get $1" "$state/apt.log"; }

# 1. The kernel refuses 32-bit programs; 32-bit Wine installs.
machine refuses ok '' none
run_setup 0
check "i386 added" grep -qx i386 "$state/arches"
check "32-bit Wine installed" grep -qx wine32:i386 "$state/installed"
check "no record" test ! -e "$state/record"
expect 77 "SKIP: this kernel does not execute 32-bit programs ($scratch/refused: Exec format error)" \
  "LUMARIN_SETUP_RECORD=$state/record" "LUMARIN_WINE32=$scratch/refused" -- true

# 2. The kernel runs them and 32-bit Wine installs: the tests run, and a
# second set-up runs no apt command.
machine runs ok '' none
run_setup 0
check "one refresh" test "$(apt_calls update)" -eq 1
check "32-bit Wine installed" grep -qx wine32:i386 "$state/installed"
: >"$state/apt.log"
run_setup 0
check "second run calls no apt" test "$(apt_calls "")" -eq 0
expect 0 'ran' "LUMARIN_SETUP_RECORD=$state/record" "LUMARIN_WINE32=$scratch/runs" -- echo ran

# 3. The kernel runs them, but one i386 index is out of step and 32-bit
# Wine cannot be installed: a bounded retry, one warning naming the index,
# the rest installed, one line with apt's reason, and the tests skipped
# with that reason.
machine stale stale-i386 wine32:i386 none
run_setup 0
check "three refreshes" test "$(apt_calls update)" -eq 3
check "one warning naming the index" test "$(lines_matching 'warning:.*binary-i386/Packages.xz (File has unexpected size')" -eq 1
check "the build set installed" grep -qx g++-mingw-w64-i686 "$state/installed"
check "one line of apt's reason" test "$(lines_matching '32-bit Wine cannot be installed.*held broken packages')" -eq 1
check "the reason recorded" grep -q 'held broken packages.*wine32:i386 : Depends' "$state/record"
expect 77 'SKIP: 32-bit Wine cannot be installed: *held broken packages*' \
  "LUMARIN_SETUP_RECORD=$state/record" "LUMARIN_WINE32=$scratch/missing" -- true
expect 77 'cannot run 32-bit programs: 32-bit Wine cannot be installed: *' \
  "LUMARIN_SETUP_RECORD=$state/record" "LUMARIN_WINE32=$scratch/missing" -- --probe
# Once the archive heals, the next set-up installs it and drops the record.
machine_env+=(FAKE_APT_UPDATE=ok FAKE_APT_REFUSE=)
run_setup 0
check "healed: 32-bit Wine installed" grep -qx wine32:i386 "$state/installed"
check "healed: no record" test ! -e "$state/record"

# 4. Everything installed, and no archive reachable: no apt command at all.
machine offline offline '' everything
run_setup 0
check "no apt command" test "$(apt_calls "")" -eq 0
expect 0 'ran' "LUMARIN_SETUP_RECORD=$state/record" "LUMARIN_WINE32=$scratch/runs" -- echo ran

# A package every build needs cannot be installed: the set-up fails, with
# apt's reason in one line.
machine broken ok 'cmake' none
run_setup 1
check "fails with apt's reason in one line" \
  test "$(lines_matching "cannot install the 'all' set: Unable to correct problems.*cmake : Depends")" -eq 1
check "no record" test ! -e "$state/record"

echo "this machine: $(bash "$run32" --probe 2>&1)"
echo "probe checks: $failures failure(s)"
[ "$failures" -eq 0 ]
