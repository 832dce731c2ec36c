#!/usr/bin/env bash
# The delivery benchmark: `fennick deliver` over 100 due schedules of a
# 10,000-row report, mailed to the SMTP test server; prints the wall time
# and the peak resident memory of the pass.
#
#   bench/delivery.sh BUILD_DIR [SCHEDULES] [ROWS] [FORMAT]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: bench/delivery.sh BUILD_DIR [SCHEDULES] [ROWS] [FORMAT]}
schedules=${2:-100}
rows=${3:-10000}
format=${4:-csv}
bash "$top/scripts/services/smtp-start.sh" > /dev/null
# shellcheck disable=SC1091
. "$top/.services/smtp.env"
site=$(mktemp -d /tmp/fennick-delivery-bench.XXXXXX)
trap 'rm -rf "$site"' EXIT
"$build/bench/bench_delivery" "$site" "$schedules" "$rows" "$format"
FENNICK_SMTP_URL="smtp://127.0.0.1:$FENNICK_SMTP_TEST_PORT" FENNICK_SMTP_TLS=none \
FENNICK_SMTP_FROM=bench@example.com \
/usr/bin/python3 - "$build/fennick" "$site" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
done = subprocess.run([sys.argv[1], 'deliver', '--site', sys.argv[2]], capture_output=True,
                      text=True)
seconds = time.monotonic() - start
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print(done.stdout.strip())
if done.returncode != 0:
    print(done.stderr[-2000:])
print(f'fennick deliver: {seconds:.2f} s wall, peak RSS {peak / 1024:.1f} MiB')
PY
