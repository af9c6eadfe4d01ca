#!/usr/bin/env bash
# Builds everything and runs every test: the normal build (with the Qt programs), then a
# sanitizer build (ASan+UBSan, clang) of the core with a short smoke run of each fuzz target
# and the core tests.
# QVL_TEST_SKIP_SANITIZER=1 stops after the normal build's tests (for quick runs while working;
# CI always runs both).
# Starts the services the tests need (a private D-Bus session bus here; the WAP gateway is
# started and stopped by the MMS tests' own fixture) and stops them at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

export QT_QPA_PLATFORM=offscreen
# A throw-away device root so that no test touches the user's data.
QVL_HOME=$(mktemp -d /tmp/qvl-test-home.XXXXXX)
export QVL_HOME
cleanup() {
    if [ -n "${DBUS_SESSION_BUS_PID:-}" ]; then kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true; fi
    rm -rf "$QVL_HOME" "${SOURCE_MARK:-}"
}
trap cleanup EXIT

# No test may write into the source tree (screenshots and temporary files belong in the build
# folder or a temporary folder). Files changed since the marker, outside the build folders,
# fail the run. The kinds of file a person edits (sources, scripts, CMake files, Markdown, text
# tables) are left out, so that editing the checkout while the tests run is no failure.
SOURCE_MARK=$(mktemp /tmp/qvl-test-mark.XXXXXX)
mark_sources() { touch "$SOURCE_MARK"; }
check_sources() {
    local changed
    changed=$(find . \( -path ./build -o -path ./build-asan -o -path ./.git \) -prune -o \
        -type f -newer "$SOURCE_MARK" \
        ! \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.cmake' \
        -o -name CMakeLists.txt -o -name '*.md' -o -name '*.tsv' \) -print)
    if [ -n "$changed" ]; then
        echo "tests wrote into the source tree:"
        echo "$changed"
        exit 1
    fi
}
if command -v dbus-launch >/dev/null; then
    eval "$(dbus-launch --sh-syntax)"
fi

echo "== build (Release, warnings as errors)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVL_WERROR=ON >/dev/null
cmake --build build -j "$JOBS"
echo "== tests"
mark_sources
ctest --test-dir build --output-on-failure -j "$JOBS"
check_sources

if [ "${QVL_TEST_SKIP_SANITIZER:-0}" = 1 ]; then
    echo "== sanitizer build skipped (QVL_TEST_SKIP_SANITIZER=1)"
    exit 0
fi

echo "== sanitizer build (ASan+UBSan, clang) of the core"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DQVL_WERROR=ON -DQVL_SANITIZE=ON -DQVL_BUILD_UI=OFF -DQVL_BENCH=OFF -DQVL_FUZZ=ON >/dev/null
cmake --build build-asan -j "$JOBS"

echo "== fuzz smoke"
# Each target starts from its seed corpus, the named test vectors in a corpus/<target> folder
# beside its source (docs/fuzzing.md); a target without one fails the run. New inputs go to a
# throw-away folder, never into the tree; an input that fails is kept in build-asan/fuzz-artifacts.
mkdir -p build-asan/fuzz-artifacts
for f in build-asan/bin/fuzz_*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    seeds=$(find base platform common app mmsclient tools -type d -path "*/corpus/$name" -print -quit)
    if [ -z "$seeds" ] || [ -z "$(ls -A "$seeds")" ]; then
        echo "fuzz target $name has no seed corpus (corpus/$name beside its source)"
        exit 1
    fi
    corpus=$(mktemp -d)
    if ! "$f" -max_total_time=5 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix=build-asan/fuzz-artifacts/ "$corpus" "$seeds" >"$corpus.log" 2>&1; then
        tail -n 40 "$corpus.log"
        echo "fuzz target $name failed"
        exit 1
    fi
    echo "fuzz smoke ok: $name ($(ls "$seeds" | wc -l) seeds, $(grep -o 'stat::number_of_executed_units: [0-9]*' "$corpus.log" | grep -o '[0-9]*$' || echo '?') runs)"
    rm -rf "$corpus" "$corpus.log"
done

echo "== core tests under ASan+UBSan"
mark_sources
ctest --test-dir build-asan --output-on-failure -j "$JOBS" -L core
check_sources
