#!/usr/bin/env bash
# The update of a 100 MB installer over loopback: the launcher's download engine (requests,
# private file, size and SHA-256 check) against `curl -o` for the same file from the same
# stand-in service. Prints the best and the median of several runs of each and their ratios.
#
#   bash bench/update_vs_curl.sh [runs]
# BUILD_DIR=<an already configured build folder with -DORVANTA_BENCH=ON> uses that one as it is.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-bench}"
runs="${1:-5}"
port=18471

command -v curl >/dev/null || { SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo; $SUDO apt-get install -y --no-install-recommends curl; }

if [ -z "${BUILD_DIR:-}" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTA_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" --parallel 2 --target orvanta_service update_bench >/dev/null

work="$(mktemp -d)"
trap 'kill "$service" 2>/dev/null || true; rm -rf "$work"' EXIT
head -c $((100 * 1024 * 1024)) /dev/urandom > "$work/installer.bin"

"$build/bin/orvanta_service" --port "$port" --update-check-result 1 --update-installer "$work/installer.bin" \
  >"$work/service.log" 2>&1 &
service=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/demo/update" && break; sleep 0.1; done

url="http://127.0.0.1:$port/iCliVer/download/Orva_Update.exe?progId=Orvan_Vexa&srvVer=001000001&isVerTest=0"
# One untimed run of each reads the file into the service's copy and the page cache.
curl -s -o "$work/curl.bin" "$url"
# The engine's temporary folder must exist, or it falls back to one in the program folder.
mkdir -p "$work/engine"
"$build/bin/update_bench" "127.0.0.1:$port" "$work/engine" >/dev/null

# The machine may be shared: the load beside the numbers says how far to trust them.
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
curl_times=()
engine_times=()
for _ in $(seq "$runs"); do
  rm -f "$work/curl.bin"
  curl_times+=("$(curl -s -o "$work/curl.bin" -w '%{time_total}' "$url")")
  rm -rf "$work/engine"; mkdir -p "$work/engine"
  engine_times+=("$("$build/bin/update_bench" "127.0.0.1:$port" "$work/engine")")
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
cmp -s "$work/curl.bin" "$work/engine/ORVANTA_VEXA-$(id -u)/Orva_Update.exe" || { echo "files differ"; exit 1; }
python3 - "${curl_times[*]}" "${engine_times[*]}" <<'PY'
import statistics, sys
c = [float(t) for t in sys.argv[1].split()]
e = [float(t) for t in sys.argv[2].split()]
print(f"best:   curl -o {min(c):.3f} s   launcher engine {min(e):.3f} s   ratio {min(e) / min(c):.2f}")
print(f"median: curl -o {statistics.median(c):.3f} s   launcher engine {statistics.median(e):.3f} s   "
      f"ratio {statistics.median(e) / statistics.median(c):.2f}")
PY
