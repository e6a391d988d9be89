#!/bin/sh
# The Debian package, unpacked into a throw-away root, starts offscreen against
# the reader simulator it carries, opens the simulator's port, and takes Qt's
# Hungarian texts and its fonts from the system, nothing from the build tree.
# Argument: the folder holding the built .deb; the second, the build tree.
set -eu
DEB=$(ls -t "$1"/vivadizuzud_*.deb | head -n 1)
BUILD_TREE=$(cd "$2" && pwd)
WORK=$(mktemp -d)
APP_PID=""
SIM_PID=""
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

dpkg -x "$DEB" "$WORK/root"
BIN="$WORK/root/usr/bin"
[ -x "$BIN/vivadizuzud" ] || fail "no program in the package"
for window in vivadizuzud vivadizuzud-cards; do
    [ -x "$BIN/$window" ] || fail "no $window in the package"
    [ -f "$WORK/root/usr/share/applications/$window.desktop" ] || fail "no desktop entry for $window"
    [ -f "$WORK/root/usr/share/icons/hicolor/scalable/apps/$window.svg" ] || fail "no icon for $window"
done
[ -x "$BIN/vivadizuzud-cli" ] || fail "no command line in the package"
for page in vivadizuzud vivadizuzud-cards vivadizuzud-cli vivadizuzud-reader-sim; do
    [ -f "$WORK/root/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
    [ -f "$WORK/root/usr/share/man/hu/man1/$page.1.gz" ] || fail "no Hungarian manual page for $page"
done
[ -f "$WORK/root/usr/share/metainfo/hu.vivadizuzud.Vivadizuzud.metainfo.xml" ] || fail "no AppStream metainfo"
bash -n "$WORK/root/usr/share/bash-completion/completions/vivadizuzud-cli" || fail "bash completion does not parse"
# The nightly snapshot's user units, checked by systemd itself where it is (pointed at the unpacked program).
UNITS="$WORK/root/usr/lib/systemd/user"
for unit in vivadizuzud-snapshot@.service vivadizuzud-snapshot@.timer; do
    [ -f "$UNITS/$unit" ] || fail "no $unit in the package"
done
grep -q '^ExecStart=vivadizuzud-cli snapshot --port %i$' "$UNITS/vivadizuzud-snapshot@.service" \
    || fail "the snapshot service does not start the command line"
if command -v systemd-analyze >/dev/null; then
    mkdir "$WORK/units"
    sed "s|^ExecStart=|ExecStart=$WORK/root/usr/bin/|" "$UNITS/vivadizuzud-snapshot@.service" \
        >"$WORK/units/vivadizuzud-snapshot@33.service"
    cp "$UNITS/vivadizuzud-snapshot@.timer" "$WORK/units/vivadizuzud-snapshot@33.timer"
    systemd-analyze verify --man=no "$WORK/units/vivadizuzud-snapshot@33.timer" \
        "$WORK/units/vivadizuzud-snapshot@33.service" >"$WORK/verify.out" 2>&1 \
        || { cat "$WORK/verify.out"; fail "systemd-analyze does not take the snapshot units"; }
    [ ! -s "$WORK/verify.out" ] || { cat "$WORK/verify.out"; fail "systemd-analyze has something to say of the snapshot units"; }
fi
# Built hardened: read-only relocations bound at start, stack protector, fortified functions.
for program in vivadizuzud vivadizuzud-cards vivadizuzud-cli; do
    readelf -lW "$BIN/$program" | grep -q GNU_RELRO || fail "$program: no read-only relocations"
    readelf -dW "$BIN/$program" | grep -q 'BIND_NOW' || fail "$program: not bound at start"
    readelf -sW --dyn-syms "$BIN/$program" | grep -q '__stack_chk_fail' || fail "$program: no stack protector"
    readelf -sW --dyn-syms "$BIN/$program" | grep -q '_chk@' || fail "$program: no fortified functions"
done

mkdir -p "$WORK/home/alap" && mkdir -m 700 "$WORK/runtime"
printf '[ports]\nauto=false\n' >"$WORK/home/alap/alap.conf"
export XDG_CONFIG_HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/runtime" QT_QPA_PLATFORM=offscreen
export VIVADIZUZUD_INSTANCE="vivadizuzud-package-test-$$"

"$BIN/vivadizuzud-reader-sim" --port 1 --fast >"$WORK/sim.out" &
SIM_PID=$!
i=0
until [ -s "$WORK/sim.out" ]; do
    i=$((i + 1)); [ $i -lt 50 ] || fail "the simulator did not start"; sleep 0.1
done
DEVICE=$(head -n 1 "$WORK/sim.out")

# --port completes to the numbers that stand for a device, and only to them.
if [ -f /usr/share/bash-completion/bash_completion ]; then
    offered=$(PATH="$BIN:$PATH" bash -c '. /usr/share/bash-completion/bash_completion
        . "$0"; COMP_WORDS=(vivadizuzud-cli readout --port ""); COMP_CWORD=3; COMP_LINE="vivadizuzud-cli readout --port "
        COMP_POINT=${#COMP_LINE}; _vivadizuzud_cli; echo "${COMPREPLY[*]}"' \
        "$WORK/root/usr/share/bash-completion/completions/vivadizuzud-cli")
    [ "$offered" = "1" ] || fail "--port completes to '$offered', not to the simulator's 1"
fi

# The program waits in its file dialog once it is up; look at it from outside.
"$BIN/vivadizuzud" >"$WORK/app.out" 2>&1 &
APP_PID=$!
i=0
until grep -q "qtbase_hu.qm" "/proc/$APP_PID/maps" 2>/dev/null && grep -q "Liberation" "/proc/$APP_PID/maps" \
      && ls -l "/proc/$APP_PID/fd" | grep -q "$DEVICE"; do
    i=$((i + 1))
    [ $i -lt 100 ] || { cat "$WORK/app.out"; fail "the installed program did not open $DEVICE with its texts and fonts"; }
    kill -0 "$APP_PID" 2>/dev/null || { cat "$WORK/app.out"; fail "the installed program ended"; }
    sleep 0.1
done
[ "$(readlink "/proc/$APP_PID/exe")" = "$BIN/vivadizuzud" ] || fail "not the installed program running"
if grep -q "$BUILD_TREE" "/proc/$APP_PID/maps"; then
    fail "the installed program uses files of the build tree"
fi
echo "PASS: installed program runs with $(grep -o '/[^ ]*qtbase_hu.qm' "/proc/$APP_PID/maps" | head -n 1)"
