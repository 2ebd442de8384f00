#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing. Run as root
# (or with sudo available). The i686 product runs under 32-bit wine: the i386 architecture is
# added and wine32:i386 installed beside wine64; where they cannot be had, this stops and says so.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev python3 git locales googletest
  libbenchmark-dev g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  mingw-w64-tools wine wine64 wine32:i386
  umockdev gir1.2-umockdev-1.0 python3-gi pkg-config dpkg-dev fakeroot)
# llvm-dlltool makes the Microsoft-format import libraries; lld-link links the package test's
# example with them.
packages+=(llvm lld)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  updated=0
  for attempt in 1 2 3 4 5; do
    if $sudo apt-get update; then updated=1; break; fi
    echo "install-deps: apt-get update failed (attempt $attempt of 5); trying again" >&2
    sleep $((attempt * 5))
  done
  [ "$updated" = 1 ] || { echo "install-deps: apt-get update failed five times" >&2; exit 1; }
  if [[ " ${missing[*]} " == *" wine32:i386 "* ]] &&
    ! apt-cache show wine32:i386 >/dev/null 2>&1; then
    echo "install-deps: wine32:i386 cannot be had from the package sources; the i686 product" \
      "cannot be tested without 32-bit wine (there is no fallback to the x86_64 build only)" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}" || {
    echo "install-deps: installing ${missing[*]} failed" >&2
    exit 1
  }
fi
# Code page 932 under wine comes from the ja_JP.UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
