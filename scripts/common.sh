# Shared by the scripts: Debian packages, the build, a throw-away settings home.
# Sourced, not run.

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_PACKAGES="cmake g++ make dpkg-dev desktop-file-utils appstream bash-completion qt6-base-dev qt6-translations-l10n fonts-liberation libgl-dev"

# A line that says what comes next, so a long step never looks like a hang.
step() {
    echo "==> $*"
}

# Installs the Debian packages that are missing; as a normal user, says how and stops.
need_packages() {
    missing=""
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $package"
        fi
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y$missing" >&2
        exit 1
    fi
    step "Installing the missing Debian packages:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing
}

# Configures (once) and builds into the given folder, showing the build's own
# progress lines; further arguments go to cmake.
build_into() {
    dir=$1
    shift
    step "Building into $dir/"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    fi
    cmake --build "$dir" --parallel "$(nproc)" -- --no-print-directory
}

# A settings home of our own: built-in serial devices off, nothing of the user's touched.
make_temporary_home() {
    TEMP_HOME=$(mktemp -d "${TMPDIR:-/tmp}/vivadizuzud.XXXXXX")
    mkdir -p "$TEMP_HOME/alap"
    printf '[ports]\nauto=false\n' >"$TEMP_HOME/alap/alap.conf"
    mkdir -m 700 "$TEMP_HOME/runtime"
    export XDG_CONFIG_HOME="$TEMP_HOME" XDG_RUNTIME_DIR="$TEMP_HOME/runtime"
}

# Starts the reader simulator on a port number; its device path is in SIM_DEVICE.
start_simulator() {
    SIM_LOG="$TEMP_HOME/requests.log"
    SIM_OUT="$TEMP_HOME/simulator.out"
    : >"$SIM_OUT"   # an earlier simulator's word is not this one's
    "$ROOT/build/vivadizuzud-reader-sim" --log "$SIM_LOG" "$@" >"$SIM_OUT" &
    SIM_PID=$!
    tries=0
    until [ -s "$SIM_OUT" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 50 ] || ! kill -0 "$SIM_PID" 2>/dev/null; then
            echo "The reader simulator did not start." >&2
            exit 1
        fi
        sleep 0.1
    done
    SIM_DEVICE=$(head -n 1 "$SIM_OUT")
}

stop_simulator() {
    if [ -n "${SIM_PID:-}" ]; then
        kill "$SIM_PID" 2>/dev/null || true
        wait "$SIM_PID" 2>/dev/null || true
        SIM_PID=""
    fi
}

cleanup_temporary_home() {
    stop_simulator
    [ -n "${TEMP_HOME:-}" ] && rm -rf "$TEMP_HOME"
}
