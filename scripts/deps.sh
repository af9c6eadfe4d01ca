#!/usr/bin/env bash
# Installs what the suite needs to build, run and test on Debian 12 (as root, or with sudo).
# Sound: the phone hands ring tone samples to the sound server through libpulse (no media
# plug-ins); the sound tests start a private pulseaudio with a null output. See docs/sound.md.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
    build-essential cmake ninja-build pkg-config git python3 \
    libgtest-dev libgmock-dev googletest libbenchmark-dev \
    clang libclang-rt-14-dev \
    qt6-base-dev qt6-multimedia-dev libqt6dbus6 qt6-qpa-plugins \
    libpulse0 pulseaudio \
    dbus dbus-x11 xvfb xauth xdotool imagemagick socat \
    kannel ppp \
    libphonenumber-dev libicu-dev libdbus-1-dev xdg-utils desktop-file-utils \
    >/dev/null
