#!/usr/bin/env bash
# Renders the link mailer's three pages to PNG files (offscreen, no display
# needed) so a person can look at them: render-pages.sh [OUTPUT_FOLDER]
# The pictures are for looking at, not for the repository.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="${1:-/tmp/quillshare-mailer-pages}"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
ninja -C "$build" mailer_render_pages >/dev/null
QT_QPA_PLATFORM=offscreen "$build/tests/mailer/mailer_render_pages" "$out"
ls "$out"/*.png
