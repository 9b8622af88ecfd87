#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Corvex needs.
# Idempotent: installs only what is missing. Without root it prints the command to run.
set -euo pipefail
cd "$(dirname "$0")"

mapfile -t packages < <(grep -v '^\s*#' packages.txt | grep -v '^\s*$')
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages are installed"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing; install them as root with:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
