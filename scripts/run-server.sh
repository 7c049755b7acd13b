#!/usr/bin/env bash
# Installs the dependencies, builds, and shares ~/Quillshare (made if missing)
# on port 2121 with the password given as the first argument.
set -euo pipefail
cd "$(dirname "$0")/.."
password=${1:?usage: scripts/run-server.sh PASSWORD [FOLDER]}
folder=${2:-$HOME/Quillshare}
bash scripts/install-deps.sh
bash scripts/build.sh
mkdir -p "$folder"
exec ./build/cli/quillshare-server --dir "$folder" --password "$password"
