#!/usr/bin/env bash
# Refreshes docs/screenshots/ from a build: builds qvl_shell_tests, qvl_phone_sim_tests,
# qvl_contactsui_tests, qvl_contactssource_tests, qvl_today_tests, qvl_servicesui_tests,
# qvl_phonebookui_tests and qvl_mmsui_tests, runs only their screenshot functions (they write
# into <build>/screenshots/) and copies the pictures into the docs.
#   scripts/screenshots.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
JOBS=${JOBS:-$(nproc)}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" -j "$JOBS" --target qvl_shell_tests qvl_phone_sim_tests qvl_contactsui_tests \
    qvl_today_tests qvl_servicesui_tests qvl_phonebookui_tests qvl_mmsui_tests qvl_contactssource_tests
rm -rf "$BUILD/screenshots"
# The tests make their own throw-away device roots; the call screens come from the simulator.
QT_QPA_PLATFORM=offscreen "$BUILD/bin/qvl_shell_tests" screenshots messageScreenshots
QT_QPA_PLATFORM=offscreen "$BUILD/bin/qvl_phone_sim_tests" callScreenshots
QT_QPA_PLATFORM=offscreen "$BUILD/bin/qvl_contactsui_tests" screenshots
# The Today item publishes its real bus name: on a bus of its own.
QT_QPA_PLATFORM=offscreen dbus-run-session -- "$BUILD/bin/qvl_today_tests" screenshots
QT_QPA_PLATFORM=offscreen "$BUILD/bin/qvl_servicesui_tests" screenshots
# The Address Book against the simulator, portrait and landscape, English and German.
QT_QPA_PLATFORM=offscreen "$BUILD/bin/qvl_phonebookui_tests" screenshots
QT_QPA_PLATFORM=offscreen "$BUILD/bin/qvl_mmsui_tests" screenshots
# The Address Book on a folder of contacts.
QT_QPA_PLATFORM=offscreen "$BUILD/bin/qvl_contactssource_tests" screenshots
mkdir -p docs/screenshots
cp "$BUILD"/screenshots/*.png docs/screenshots/
ls "$BUILD"/screenshots/*.png | sed 's|.*/|docs/screenshots/|'
