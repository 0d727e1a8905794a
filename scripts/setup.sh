#!/usr/bin/env bash
# Installs what the build, the tests and the program need on Debian 12, as
# root. Does nothing when everything is there already.
set -euo pipefail

PACKAGES=(
  cmake g++ make googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev python3 weasyprint python3-markdown-it
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb x11-utils xdotool imagemagick procps
  fonts-ipafont-gothic locales
  libxrender1 libxcursor1 libxrandr2 libxi6 libxinerama1 libxcomposite1 libxfixes3
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "setup: installing ${#missing[@]} packages (a few minutes the first time): ${missing[*]}"
  apt-get update -q
  # apt's own lines show what is fetched, unpacked and set up, one at a time.
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Wine's 8-bit functions use code page 932 only under a Japanese locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  if [[ $(id -u) -eq 0 ]]; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
  else
    echo "setup: the ja_JP.UTF-8 locale is missing (run as root to generate it)" >&2
    exit 1
  fi
fi
