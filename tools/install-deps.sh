#!/usr/bin/env bash
# Installs the Debian 12 packages this project needs, only those that are missing, so a second
# run installs nothing. Run as root or as a user with sudo. Optional groups as arguments:
#   tools/install-deps.sh           to build, run and test
#   tools/install-deps.sh package   also what building the .deb needs
#   tools/install-deps.sh package-check  also lintian, which checks the .deb
#   tools/install-deps.sh sanitizers  also clang's sanitizer and libFuzzer runtimes
#   tools/install-deps.sh fuzz      the same, and python3 for the fuzz seeds
set -euo pipefail
PACKAGES=(make g++ clang cmake ninja-build git qt6-base-dev qt6-serialport-dev qt6-multimedia-dev
          libgl-dev zlib1g-dev qt6-qpa-plugins fonts-dejavu-core clang-format xvfb xauth help2man)
SANITIZERS=(libclang-rt-14-dev)
for group in "$@"; do
    case "$group" in
    # dpkg-shlibdeps works out the package's library dependencies; CPack finds binaries by file.
    package) PACKAGES+=(dpkg-dev file) ;;
    package-check) PACKAGES+=(lintian) ;;
    sanitizers) PACKAGES+=("${SANITIZERS[@]}") ;;
    fuzz) PACKAGES+=("${SANITIZERS[@]}" python3) ;;
    *) echo "unknown group: $group (known: package, package-check, sanitizers, fuzz)" >&2; exit 2 ;;
    esac
done
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
