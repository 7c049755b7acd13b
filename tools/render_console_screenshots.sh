#!/usr/bin/env bash
# Renders the desktop console's windows to PNG files, without a display.
# Usage: tools/render_console_screenshots.sh [OUTPUT_DIR]   (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
out=${1:-$build_dir/screenshots}
cmake -S . -B "$build_dir" -G Ninja >/dev/null
cmake --build "$build_dir" --target quillshare-console-screenshots
QT_QPA_PLATFORM=offscreen "$build_dir/console/quillshare-console-screenshots" "$out"
