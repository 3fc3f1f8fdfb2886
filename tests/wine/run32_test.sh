#!/usr/bin/env bash
# The probe that decides whether 32-bit tests run or are skipped, tried on
# both of its answers whatever this machine's kernel allows: forced by
# LUMARIN_RUN_32BIT, and through stand-in loaders that run, that the
# kernel refuses as it refuses 32-bit programs, and that are missing.
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
  out=$(env -u LUMARIN_RUN_32BIT "${envs[@]}" bash "$run32" "$@" 2>/dev/null)
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

echo "this machine: $(bash "$run32" --probe 2>&1)"
echo "probe checks: $failures failure(s)"
[ "$failures" -eq 0 ]
