#!/usr/bin/env bash
# Runs a test that needs to execute 32-bit programs, or skips it where this
# machine cannot: some kernels refuse 32-bit programs ("32-bit emulation
# disabled"), and that can change from one boot to the next.
#   run32.sh COMMAND [ARGS...]   runs COMMAND, or prints "SKIP: <why>" and
#                                exits 77, the tests' SKIP_RETURN_CODE
#   run32.sh --probe             prints the answer; exits 0 (can), 77 (cannot)
# The one probe is an attempt to execute Wine's 32-bit loader, which every
# 32-bit test needs. A loader that is missing or fails otherwise is a broken
# set-up, not a reason to skip: exit 1.
# A missing loader is a reason to skip only where tools/setup-debian found
# that 32-bit Wine cannot be installed here and recorded apt's reason.
# LUMARIN_RUN_32BIT=yes|no forces the answer, so that both paths can be
# tried on any machine; LUMARIN_WINE32 and LUMARIN_SETUP_RECORD name a
# stand-in loader and record.
set -uo pipefail
loader=${LUMARIN_WINE32:-/usr/lib/wine/wine}
record=${LUMARIN_SETUP_RECORD:-$(cd "$(dirname "$0")/../.." && pwd)/build/wine32-unavailable}
skip=77

# Prints why 32-bit programs cannot run, or nothing when they can; returns
# 1 on a broken set-up.
why_not() {
  case "${LUMARIN_RUN_32BIT:-}" in
  yes) return 0 ;;
  no) echo "32-bit programs forced off by LUMARIN_RUN_32BIT=no"; return 0 ;;
  '') ;;
  *) echo "run32.sh: LUMARIN_RUN_32BIT is '$LUMARIN_RUN_32BIT'; use yes or no" >&2; return 1 ;;
  esac
  if [ ! -x "$loader" ]; then
    if [ -s "$record" ]; then
      head -n1 "$record"
      return 0
    fi
    echo "run32.sh: $loader is missing; tools/setup-debian all installs wine32" >&2
    return 1
  fi
  local out rc
  out=$("$loader" --version 2>&1)
  rc=$?
  [ "$rc" -eq 0 ] && return 0
  if [ "$rc" -eq 126 ] && grep -q 'Exec format error' <<<"$out"; then
    echo "this kernel does not execute 32-bit programs ($loader: Exec format error)"
    return 0
  fi
  echo "run32.sh: $loader --version failed ($rc): $out" >&2
  return 1
}

reason=$(why_not) || exit 1
if [ "${1:-}" = --probe ]; then
  if [ -n "$reason" ]; then
    echo "cannot run 32-bit programs: $reason"
    exit "$skip"
  fi
  echo "can run 32-bit programs"
  exit 0
fi
if [ -n "$reason" ]; then
  echo "SKIP: $reason"
  exit "$skip"
fi
exec "$@"
