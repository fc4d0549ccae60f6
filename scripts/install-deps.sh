#!/usr/bin/env bash
# Installs the Debian packages the build, tests and demo need, when any is missing; quiet when all
# are there. Run as root (or with sudo available).
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libicu-dev icu-devtools libpugixml-dev libsqlite3-dev
          libarchive-dev libarchive-tools libcli11-dev libfmt-dev nlohmann-json3-dev libgtest-dev
          libgmock-dev libbenchmark-dev sqlite3 time zlib1g-dev libssl-dev libb2-dev hyperfine clang-format
          libpq-dev postgresql libbsd-dev libunarr-dev python3-dev pybind11-dev python3-pytest)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "installing: ${missing[*]}" >&2
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
