#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# Runs the plug-in under valgrind's memcheck. A small host (tools/memcheck)
# loads it, opens and closes fifty panels for simulated controllers, deletes
# the plug-in object and unloads the library. Fails on any definite leak or
# memory error that tests/suppressions/valgrind.supp does not name; that file
# holds only reports from inside Qt and system libraries.
#   scripts/memcheck.sh [valgrind options...]
# Builds in build-memcheck/ (VORLAN_MEMCHECK_BUILD_DIR to change) without
# sanitizers, which do not mix with valgrind. Run scripts/setup.sh once first
# on a fresh machine: it installs valgrind with everything else.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VORLAN_MEMCHECK_BUILD_DIR:-$top/build-memcheck}
suppressions=$top/tests/suppressions/valgrind.supp

die() {
    echo "memcheck: $*" >&2
    exit 1
}

command -v valgrind >/dev/null || die "valgrind is not installed (scripts/setup.sh installs it)"

# Debug information for readable stacks, optimised as shipped.
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAN_SANITIZE=OFF >/dev/null \
    || die "configuring failed"
cmake --build "$build" --target vorlan-memcheck || die "building failed"

log=$build/memcheck.log
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT

# An exit status of its own for valgrind's errors, apart from the driver's.
errors=99
status=0
# keep-debuginfo: leaks made by the plug-in are reported after it is unloaded,
# and still need its symbols to say where.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime \
    valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --keep-debuginfo=yes --num-callers=40 --suppressions="$suppressions" --error-exitcode=$errors \
    --log-file="$log" "$@" "$build/tools/memcheck/vorlan-memcheck" || status=$?

sed -n '/LEAK SUMMARY/,/suppressed:/p; /ERROR SUMMARY/p' "$log" | sed 's/^==[0-9]*== *//'
echo "memcheck: full report in $log"
case $status in
    0) echo "memcheck: no definite leak, no memory error" ;;
    "$errors") die "valgrind found errors (see the report)" ;;
    *) die "the driver failed with status $status" ;;
esac
