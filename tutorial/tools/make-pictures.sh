#!/usr/bin/env bash
# Makes the tutorial's pictures from the real windows of the console and the
# link mailer (drawn off the screen, no display needed) and puts them into
# tutorial/pictures/, where the program's resources take them from.
# Usage: tutorial/tools/make-pictures.sh        (BUILD_DIR: default build)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
ninja -C "$build" quillshare-tour-pictures
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
QT_QPA_PLATFORM=offscreen "$build/tutorial/quillshare-tour-pictures" "$out"
cp "$out"/*.jpg "$root/tutorial/pictures/"
ls -l "$root/tutorial/pictures/"
