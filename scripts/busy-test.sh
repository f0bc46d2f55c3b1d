#!/usr/bin/env bash
# The test command on a busy machine, as a shared desk or CI runner is: one
# CPU-bound process per core, at the tests' own priority, from the first build
# step to the last test. Arguments go to scripts/test.sh
# (`scripts/busy-test.sh -R system_`). Run it before you stop.
set -euo pipefail
cd "$(dirname "$0")/.."
burners=()
trap 'kill "${burners[@]}" 2>/dev/null || true' EXIT
for _ in $(seq "$(nproc)"); do
  sha256sum /dev/zero &
  burners+=($!)
done
./scripts/test.sh "$@"
