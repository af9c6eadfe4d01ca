#!/usr/bin/env bash
# Builds the suite and runs the phone. With no modem configured it first starts the bundled
# modem simulator (registered as an external modem, its device linked at $QVL_HOME/modem) and
# stops it again when the phone exits.
#
#   QVL_HOME            device root (default $XDG_DATA_HOME/quorvel-phone)
#   QVL_USE_SIMULATOR   1: always start the simulator; 0: never (default: only when no serial
#                       modem is plugged in, judged by /dev/serial/by-id and ttyUSB/ttyACM)
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
export QVL_HOME=${QVL_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/quorvel-phone}
# The phone keeps its registry, messages and ring tones there. A folder that cannot be made or
# written is named once with the reason; the phone still starts (and says so itself), but
# without a simulator, which needs the folder for its link, socket and registry entry.
home_ok=1
if ! why=$(mkdir -p "$QVL_HOME" 2>&1); then
    home_ok=0
elif ! why=$(chmod 0700 "$QVL_HOME" 2>&1) || [ ! -w "$QVL_HOME" ]; then
    home_ok=0
    why=${why:-"it is not writable"}
fi
if [ "$home_ok" = 0 ]; then
    echo "run.sh: the phone's data folder $QVL_HOME cannot be used: ${why#*: }" >&2
    echo "run.sh: set QVL_HOME to a folder you may write; starting the phone without it" >&2
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$JOBS"

if [ "$home_ok" = 1 ] && [ -x build/bin/qvl-install ]; then
    build/bin/qvl-install --prefix-bin "$PWD/build/bin" --no-desktop >/dev/null
fi

use_sim=${QVL_USE_SIMULATOR:-}
if [ -z "$use_sim" ]; then
    use_sim=1
    shopt -s nullglob
    real=(/dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM*)
    shopt -u nullglob
    if [ ${#real[@]} -gt 0 ]; then use_sim=0; fi
fi

sim_pid=""
sim_out=""
stop_sim() {
    if [ -n "$sim_pid" ]; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    if [ -n "$sim_out" ]; then rm -f "$sim_out"; fi
}
trap stop_sim EXIT

control="$QVL_HOME/modemsim.sock"
if [ "$use_sim" = 1 ] && [ "$home_ok" = 0 ]; then
    use_sim=0
fi
if [ "$use_sim" = 1 ] && build/bin/modemsim --probe "$control"; then
    # A phone started earlier runs with its simulator: leave both alone. Parlino hands over to
    # the running phone, which comes to the front.
    echo "the phone's simulator already runs (control: $control); bringing the phone to the front"
    use_sim=0
fi

if [ "$use_sim" = 1 ]; then
    sim_out=$(mktemp)
    build/bin/modemsim --seed tools/modemsim/default-seed.txt --link "$QVL_HOME/modem" \
        --control "$control" --register-gprs >"$sim_out" &
    sim_pid=$!
    # The simulator prints its device path once it is ready.
    for _ in $(seq 1 50); do
        [ -s "$sim_out" ] && break
        kill -0 "$sim_pid" 2>/dev/null || { echo "modemsim did not start" >&2; exit 1; }
        sleep 0.1
    done
    echo "modem simulator on $(head -n1 "$sim_out") (control: $control)"
fi

build/bin/Parlino
