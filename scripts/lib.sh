# Shared by the scripts: set-up steps print one line each and keep their full
# output in build/logs/, so that what matters is not lost in progress noise.
# Set VEILMARK_VERBOSE=1 to see everything as it happens.

veilmark_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
logs_dir="$veilmark_root/build/logs"

# quietly MESSAGE LOG COMMAND...: prints "MESSAGE…", runs COMMAND with its
# output added to build/logs/LOG.log; on failure shows the log's tail and
# exits.
quietly() {
  local message=$1 log="$logs_dir/$2.log"
  shift 2
  mkdir -p "$logs_dir"
  printf '%s…\n' "$message"
  printf '\n== %s: %s\n' "$(date -u '+%F %T')" "$*" >>"$log"
  if [ "${VEILMARK_VERBOSE:-0}" = 1 ]; then
    "$@" 2>&1 | tee -a "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] && return 0
  elif "$@" >>"$log" 2>&1; then
    return 0
  fi
  echo "Failed: $message. The last lines of $log:" >&2
  tail -n 40 "$log" >&2
  exit 1
}

# build PRESET [TARGET...]: configures and builds a CMake preset quietly.
build() {
  local preset=$1
  shift
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  quietly "Configuring the $preset build" "configure-$preset" cmake --preset "$preset"
  local steps
  steps=$(cmake --build --preset "$preset" "${targets[@]}" -- -n 2>/dev/null | grep -c '^\[' || true)
  if [ "$steps" -eq 0 ]; then
    echo "The $preset build is up to date."
    return 0
  fi
  quietly "Building $preset ($steps steps)" "build-$preset" \
    cmake --build --preset "$preset" "${targets[@]}"
}

# require PROGRAM PACKAGE: stops with a clear message when PROGRAM is missing.
require() {
  command -v "$1" >/dev/null 2>&1 && return 0
  echo "$(basename "$0"): needs the program '$1', from Debian's package '$2'" \
    "(scripts/install-deps $2 installs it)" >&2
  exit 127
}
