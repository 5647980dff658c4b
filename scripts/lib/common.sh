# Shared set-up for scripts/run, scripts/test, scripts/bench and scripts/fuzz: package installation and paths.
# shellcheck shell=bash

QUIMBREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export QUIMBREL_ROOT

# Only package installation runs as root; everything else runs as the calling user.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "sudo is not installed: run as root: $*" >&2
        return 1
    fi
}

# Installs the Debian packages of scripts/packages.txt that are not installed yet.
install_packages() {
    local wanted missing=()
    wanted=$(grep -v -E '^\s*(#|$)' "$QUIMBREL_ROOT/scripts/packages.txt")
    for p in $wanted; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing missing packages: ${missing[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

# configure_and_build PRESET [extra cmake arguments...]
configure_and_build() {
    local preset=$1
    shift
    cd "$QUIMBREL_ROOT"
    cmake --preset "$preset" "$@"
    cmake --build --preset "$preset"
}
