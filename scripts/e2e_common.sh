# Sourced by the end-to-end scripts: the processes a script starts go into
# `pids` and are stopped when it exits, however it ends; fail() says why a
# check failed and ends the script.
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
fail() { echo "E2E FAIL: $*"; exit 1; }
