#!/usr/bin/env bash
# Checks the include directions of the layers (docs/design.md draws them):
#   base/      includes nothing of ours but base/
#   platform/  includes base/ and platform/ only
#   common/    includes base/, platform/ and common/ only
#   the core   (everything but the Qt UI, the Qt adapters and the tools) never includes Qt, and
#              never a header of the Qt UI
# Tests, benchmarks and fuzz targets may in addition include tools/ (the modem simulator, the
# install step's tones). The CMake files of base/ and platform/ link no library of a higher
# layer outside their tests.
# Usage: check-layers.sh [source root]; prints every violation as file:line and exits 1 if any.
#        check-layers.sh --self-test: runs the check on a small tree with one violation of each
#        kind and fails unless every one is reported (so the check itself cannot rot).
set -uo pipefail

if [ "${1:-}" = --self-test ]; then
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree"/base "$tree"/platform/x/tests "$tree"/common/y "$tree"/app/engine \
        "$tree"/app/shell
    echo '#include "platform/sync.h"' >"$tree"/base/a.h
    echo '#include "common/lang/lang.h"' >"$tree"/platform/x/b.cpp
    echo '#include "app/engine/e.h"' >"$tree"/common/y/c.h
    printf '#include <QString>\n#include "app/shell/mainframe.h"\n' >"$tree"/app/engine/d.cpp
    # Allowed: a platform test using the simulator, the Qt UI including Qt, the standard library.
    printf '#include "tools/modemsim/m.h"\n#include <vector>\n' >"$tree"/platform/x/tests/t.cpp
    echo '#include <QWidget>' >"$tree"/app/shell/v.cpp
    echo 'target_link_libraries(qvl_platform PUBLIC qvl_lang)' >"$tree"/platform/CMakeLists.txt
    out=$("$0" "$tree")
    status=$?
    expected=("base/a.h:1" "platform/x/b.cpp:1" "common/y/c.h:1" "app/engine/d.cpp:1"
        "app/engine/d.cpp:2" "platform/CMakeLists.txt:1" "6 layer violation")
    missing=0
    for e in "${expected[@]}"; do
        grep -qF "$e" <<<"$out" || { echo "self-test: not reported: $e"; missing=1; }
    done
    if [ "$status" != 1 ] || [ "$missing" = 1 ]; then
        echo "$out"
        echo "self-test failed"
        exit 1
    fi
    echo "self-test ok"
    exit 0
fi

root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

folders=()
for f in base platform common app mmsclient tools; do
    [ -d "$f" ] && folders+=("$f")
done
[ ${#folders[@]} -gt 0 ] || { echo "no source folders under $root"; exit 2; }

includes=$(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include' \
    "${folders[@]}")
links=$(grep -nE 'target_link_libraries' $(find "${folders[@]}" -path 'base/*' -name CMakeLists.txt \
    -o -path 'platform/*' -name CMakeLists.txt) /dev/null)

awk -v links="$links" '
function qt_folder(f) {
    return f ~ /^(app\/shell|app\/sms\/ui|app\/mms\/ui|app\/contacts\/ui|app\/services\/ui|app\/phonebook\/ui|common\/controls|platform\/qt|tools)\// ||
           f ~ /^platform\/ipc\/(tests\/)?ipc_dbus/
}
function is_test(f) { return f ~ /\/(tests|bench|fuzz)\// }
function allowed(f) {
    if (f ~ /^base\//) return " base "
    if (f ~ /^platform\//) return " base platform "
    if (f ~ /^common\//) return " base platform common "
    return ""
}
function report(text) { print "layer violation: " text; bad++ }
{
    # file:line:#include ...
    split($0, part, ":")
    file = part[1]; line = part[2]
    text = substr($0, length(file) + length(line) + 3)
    if (!match(text, /[<"][^>"]+[>"]/)) next
    target = substr(text, RSTART + 1, RLENGTH - 2)
    top = target; sub(/\/.*/, "", top)
    if (target ~ /^Q[A-Za-z]*(\/|$)/) {
        if (!qt_folder(file)) report(file ":" line ": the core includes Qt (" target ")")
        next
    }
    if (top !~ /^(base|platform|common|app|mmsclient|tools)$/) next
    if (!qt_folder(file) && (target ~ /^(app\/shell|app\/sms\/ui|app\/contacts\/ui|app\/phonebook\/ui|common\/controls|platform\/qt)\// ||
                             target ~ /^platform\/ipc\/ipc_dbus/))
        report(file ":" line ": the core includes the Qt UI (" target ")")
    ok = allowed(file)
    if (ok == "") next
    if (is_test(file) && top == "tools") next
    if (index(ok, " " top " ") == 0) {
        layer = file; sub(/\/.*/, "", layer)
        report(file ":" line ": " layer "/ includes " target)
    }
}
END {
    n = split(links, rows, "\n")
    for (i = 1; i <= n; i++) {
        if (rows[i] == "" || rows[i] ~ /qvl_(qt_)?test|qvl_fuzz/) continue
        if (rows[i] ~ /qvl_(lang|transport|uiports|controls|engine|calls|sms|shell|settings|install|modemsim|mms)/)
            report(rows[i] ": links a library of a higher layer")
    }
    if (bad > 0) { print bad " layer violation(s)"; exit 1 }
    print "layers ok"
}' <<<"$includes"
