#!/usr/bin/env bash
# The demo's story, as a test.
set -euo pipefail
exec "$(dirname "$0")/../../scripts/demo" --no-setup --build-dir "$BUILD"
