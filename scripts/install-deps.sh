#!/usr/bin/env bash
# Installs what Quillshare needs to build and to run its tests (Debian 12).
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config    # toolchain
  qt6-base-dev                        # Qt 6 Core (and later Widgets)
  libgtest-dev libgmock-dev           # unit tests
  netbase                             # /etc/services: the "ftp" service name
  python3 curl lftp                   # end-to-end tests with real FTP clients
  clang libclang-rt-14-dev            # fuzzers (libFuzzer) and sanitizers
  libcurl4-openssl-dev                # the link mailer's SMTP
  python3-aiosmtpd openssl            # mailer tests: an SMTP relay on loopback
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
