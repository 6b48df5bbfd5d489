#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and the French
# locale the tests run under. Does nothing that is already done.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-image-formats-plugins qt6-translations-l10n
    libcurl4-openssl-dev libpugixml-dev nlohmann-json3-dev libpcre2-dev
    libssl-dev zlib1g-dev libblkid-dev libgtest-dev
    clang libclang-rt-14-dev
    fonts-liberation2
    locales
)
if [ "${1:-}" = "--window" ]; then
    packages+=(libgl1-mesa-dri xdg-utils)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$'; then
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd sed -i 's/^# *fr_FR.UTF-8 UTF-8/fr_FR.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^fr_FR.UTF-8 UTF-8' /etc/locale.gen || echo 'fr_FR.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
    $sudo_cmd locale-gen >/dev/null
fi
