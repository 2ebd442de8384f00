#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing. Run as root
# (or with sudo available).
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev python3 git locales googletest
  libbenchmark-dev g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  mingw-w64-tools wine wine64
  umockdev gir1.2-umockdev-1.0 python3-gi pkg-config dpkg-dev fakeroot)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
# Code page 932 under wine comes from the ja_JP.UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
