#!/usr/bin/env bash
# Builds everything and runs every test: the normal build (with the Qt programs) and a
# sanitizer build (ASan+UBSan) of the core, plus a short smoke run of each fuzz target.
# Starts the services the tests need (a private D-Bus session bus; the WAP gateway is started
# by the MMS tests' own fixture) and stops them at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

export QT_QPA_PLATFORM=offscreen
# A throw-away device root so the tests never touch the user's data.
export QVL_HOME=$(mktemp -d /tmp/qvl-test-home.XXXXXX)
cleanup() {
    if [ -n "${DBUS_SESSION_BUS_PID:-}" ]; then kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true; fi
    rm -rf "$QVL_HOME"
}
trap cleanup EXIT
if command -v dbus-launch >/dev/null; then
    eval "$(dbus-launch --sh-syntax)"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVL_WERROR=ON >/dev/null
cmake --build build -j "$JOBS"
ctest --test-dir build --output-on-failure -j "$JOBS"

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DQVL_WERROR=ON -DQVL_SANITIZE=ON -DQVL_BUILD_UI=OFF -DQVL_BENCH=OFF -DQVL_FUZZ=ON >/dev/null
cmake --build build-asan -j "$JOBS"
ctest --test-dir build-asan --output-on-failure -j "$JOBS" -L core

# Fuzz smoke: each target runs for a few seconds on its seed corpus (if any).
for f in build-asan/bin/fuzz_*; do
    [ -x "$f" ] || continue
    corpus_dir=$(mktemp -d)
    "$f" -max_total_time=5 -rss_limit_mb=2048 "$corpus_dir" >/dev/null 2>&1 || {
        echo "fuzz target $f failed"; "$f" -max_total_time=5 "$corpus_dir"; exit 1; }
    rm -rf "$corpus_dir"
    echo "fuzz smoke ok: $(basename "$f")"
done
