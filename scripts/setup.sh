#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/debian-packages.txt that are
# missing, then configures the build tree given as $1 with build type $2.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$1"
build_type="$2"
shift 2

mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$here/scripts/debian-packages.txt")
missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    apt_get=(apt-get)
  elif command -v sudo >/dev/null 2>&1; then
    apt_get=(sudo apt-get)
  else
    echo "Please run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  "${apt_get[@]}" update
  DEBIAN_FRONTEND=noninteractive "${apt_get[@]}" install -y "${missing[@]}"
fi

# The interface is tried under a Japanese desktop locale too.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && [ "$(id -u)" -eq 0 ] && command -v locale-gen >/dev/null 2>&1; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
  # CCACHE_BASEDIR lets build trees of the same depth share cached objects.
  launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=env;CCACHE_BASEDIR=$here;ccache"
            "-DCMAKE_C_COMPILER_LAUNCHER=env;CCACHE_BASEDIR=$here;ccache")
fi
cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE="$build_type" "${launcher[@]}" "$@"
