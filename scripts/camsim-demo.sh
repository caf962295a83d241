#!/usr/bin/env bash
# Try the tool without cameras. As root, this makes a private network
# namespace with a veth pair whose two ends both stay inside it (va
# 10.203.9.1 for the tool, vb 10.203.9.2 for the cameras, multicast routed
# on va), starts simulated cameras there (camsim, answering WS-Discovery on
# vb) and runs the tool in the same namespace, so discovery never reaches this
# machine's own interfaces. Everything is removed again on exit.
#
#   sudo -E bash scripts/camsim-demo.sh [--count N] [--seconds S] [--screenshot FILE] [--lang L]
#
# --lang en shows the tool in English (it is passed on to the tool). The
# tool keeps its settings in the temporary folder, not in the user's.
# CORVANTA_BUILD_DIR names another build folder than build/release.
#
# With a display (a local X server or Wayland; -E keeps DISPLAY, XAUTHORITY,
# WAYLAND_DISPLAY and XDG_RUNTIME_DIR for root) the window stays until you
# close it. An X display reached over TCP (ssh -X) is not reachable from the
# namespace. Without a display the tool runs under xvfb-run for S seconds
# (default 12) and a picture of its window is written to FILE (default
# ./camsim-demo.png).
set -euo pipefail
cd "$(dirname "$0")/.."

count=4
seconds=12
screenshot=$PWD/camsim-demo.png
tool_args=()
build=${CORVANTA_BUILD_DIR:-build/release}
while [[ $# -gt 0 ]]; do
  case "$1" in
    --count) count=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --screenshot) screenshot=$(realpath -m "$2"); shift 2 ;;
    --lang) tool_args=(--lang "$2"); shift 2 ;;
    *) echo "usage: $0 [--count N] [--seconds S] [--screenshot FILE] [--lang L]" >&2; exit 2 ;;
  esac
done
if ! [[ "$count" =~ ^[1-9][0-9]?$ && "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "--count takes 1..99 and --seconds a positive number" >&2
  exit 2
fi
if [[ $(id -u) -ne 0 ]]; then
  echo "This needs root (it creates a network namespace and a veth pair): sudo -E bash $0" >&2
  exit 1
fi

bash scripts/deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target corvanta-ipc-tool camsim
tool=$(realpath "$build")/app/corvanta-ipc-tool
camsim=$(realpath "$build")/tools/camsim/camsim

ns=corvanta-demo-$$
work=$(mktemp -d /tmp/corvanta-demo.XXXXXX)
camsim_pid=
cleanup() {
  set +e
  if [[ -f $work/tool.pid ]]; then kill "$(cat "$work/tool.pid")" 2>/dev/null; fi
  if [[ -n $camsim_pid ]]; then
    kill "$camsim_pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$camsim_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  ip netns del "$ns" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$ns"
in_ns() { ip netns exec "$ns" "$@"; }
in_ns ip link set lo up
in_ns ip link add va type veth peer name vb
in_ns ip addr add 10.203.9.1/24 dev va
in_ns ip addr add 10.203.9.2/24 dev vb
in_ns ip link set va up
in_ns ip link set vb up
in_ns ip route add 224.0.0.0/4 dev va

# A mix of cameras: dome (PTZ), bullets, and a recorder every fourth.
python3 - "$count" > "$work/cameras.json" <<'PY'
import json, sys
cams = []
for i in range(int(sys.argv[1])):
    c = {"serial": "DEMO%04d" % (i + 1), "firmware": "V2.%d.%d" % (i // 3, i % 3)}
    if i % 4 == 0:
        c["ptz"] = True
    elif i % 4 == 3:
        c.update(device_type="NetworkVideoStorage", model="NVR-16")
    cams.append(c)
print(json.dumps(cams))
PY
# Started by ip netns exec directly (not through the shell function), so that
# $! is camsim itself and the clean-up can stop it.
ip netns exec "$ns" "$camsim" --config "$work/cameras.json" --address 10.203.9.2 --http-port 8080 \
  --discovery-address 10.203.9.2 --ready-file "$work/ready" --upload-dir "$work/uploads" \
  --quiet &
camsim_pid=$!
for _ in $(seq 100); do [[ -f $work/ready ]] && break; sleep 0.1; done
if [[ ! -f $work/ready ]]; then echo "camsim did not start" >&2; exit 1; fi
echo "Simulated cameras (serial, address, port):"
sed 's/^/  /' "$work/ready"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Starting the tool; close its window to end the demo."
  in_ns env XDG_CONFIG_HOME="$work/config" "$tool" "${tool_args[@]}"
else
  echo "No display: running the tool under xvfb-run for $seconds s."
  mkdir -p "$work/fb"
  ip netns exec "$ns" xvfb-run -a -s "-screen 0 1024x640x24 -fbdir $work/fb" \
    env XDG_CONFIG_HOME="$work/config" \
    bash -c 'echo $$ > "$1"; shift; exec "$@"' _ "$work/tool.pid" "$tool" "${tool_args[@]}" &
  xvfb_pid=$!
  sleep "$seconds"
  python3 scripts/xwd2png.py "$work/fb/Xvfb_screen0" "$screenshot" 1000 560
  kill "$(cat "$work/tool.pid")" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  rm -f "$work/tool.pid"
  echo "Screenshot of the tool: $screenshot"
fi
