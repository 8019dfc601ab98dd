#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the fuzzer need, when
# some are missing (kesta_ensure_packages), and those that the packaging checks
# need (kesta_ensure_packaging_packages). Sourced by ./run, ./test and
# tools/check-package.sh; runs apt-get as root, or through sudo otherwise.

kesta_packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    qt6-base-dev qt6-charts-dev qt6-svg-dev
    libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
    # Limits files (TOML), read with toml++ as a header-only library.
    libtomlplusplus-dev
    # The pass report's test loads it in a real browser.
    chromium
    # The offscreen Qt platform of the window tests still draws text and loads
    # the SVG artwork: fonts and the SVG image and icon plugins.
    fonts-dejavu-core fontconfig libqt6svg6 libgl1 libegl1
    # gzip bodies for InfluxDB; a real InfluxDB server (influxd) that the tests start
    # themselves on free loopback ports. The package's own service is never used (on a
    # machine with systemd, installing it starts one on port 8086; the tests do not
    # touch it, and `systemctl disable --now influxdb` stops it for good).
    zlib1g-dev influxdb
    # The test of kesta-decode's bash completion loads the package's helpers.
    bash-completion
)

# Validators of the installed files, the manual pages' writer and renderer, and
# the Debian package's tools (dpkg-shlibdeps is in dpkg-dev).
kesta_packaging_packages=(
    desktop-file-utils appstream shared-mime-info man-db groff-base help2man
    lintian dpkg-dev file
)

kesta_ensure_packages() {
    kesta_ensure_package_list "${kesta_packages[@]}"
}

kesta_ensure_packaging_packages() {
    kesta_ensure_package_list "${kesta_packaging_packages[@]}"
}

# Installs those of the named packages that are missing.
kesta_ensure_package_list() {
    local missing=() pkg
    for pkg in "$@"; do
        if [[ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" != installed ]]; then
            missing+=("$pkg")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if ((EUID != 0)); then
        if ! command -v sudo >/dev/null; then
            echo "error: packages missing (${missing[*]}) and not root, and sudo is not available" >&2
            return 1
        fi
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y "${missing[@]}"
}
