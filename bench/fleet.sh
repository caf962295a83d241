#!/usr/bin/env bash
# A fleet of simulated cameras in a private network namespace, left running so
# that any discovery client can be timed against the same fleet.
#
#   bench/fleet.sh start N [SILENT]   namespace "onvifbench" + camsim with N cameras,
#                                     SILENT of them never answer a SOAP request
#   bench/fleet.sh status             namespace, camsim process, cameras listening
#   bench/fleet.sh stop               camsim ended (SIGTERM, its Byes go out), namespace removed
#
# Inside the namespace: veth pair va 10.203.5.1/24 (the client's side) and
# vb 10.203.5.2/24 (the cameras' side), lo up, 224.0.0.0/4 routed on va.
# Cameras listen on 10.203.5.2 (ephemeral ports, see the ready file) and answer
# WS-Discovery there after a random 0..PROBE_DELAY_MS ms (default 500).
# Run a client inside with:   ip netns exec onvifbench <client>
# e.g. this repository's:     ip netns exec onvifbench build/release/bench/bench_discovery --external-fleet=N
#
# Needs root. Environment: CAMSIM (default build/release/tools/camsim/camsim),
# PROBE_DELAY_MS, STATE_DIR (default /tmp/onvifbench).
set -euo pipefail
cd "$(dirname "$0")/.."

NS=onvifbench
CAMSIM=${CAMSIM:-build/release/tools/camsim/camsim}
PROBE_DELAY_MS=${PROBE_DELAY_MS:-500}
STATE_DIR=${STATE_DIR:-/tmp/onvifbench}

die() {
  echo "fleet.sh: $*" >&2
  exit 1
}

ns_exists() { ip netns list 2>/dev/null | grep -qw "^$NS"; }

camsim_pid() {
  [[ -f $STATE_DIR/camsim.pid ]] || return 1
  local pid
  pid=$(cat "$STATE_DIR/camsim.pid")
  [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && echo "$pid"
}

# The same spread as bench_discovery: camera i is silent when i % step == step / 2.
write_config() { # n silent file
  local n=$1 silent=$2 out=$3 step=0 i sep=""
  ((silent > 0)) && step=$((n / silent))
  {
    printf '{"cameras":['
    for ((i = 0; i < n; i++)); do
      if ((step > 0 && i % step == step / 2 && i / step < silent)); then
        printf '%s{"answer":"never"}' "$sep"
      else
        printf '%s{}' "$sep"
      fi
      sep=","
    done
    printf ']}\n'
  } >"$out"
}

start() {
  local n=${1:-} silent=${2:-0}
  [[ $n =~ ^[0-9]+$ && $n -ge 1 && $n -le 1000 ]] || die "start N [SILENT]: N in 1..1000"
  [[ $silent =~ ^[0-9]+$ && $silent -le $n ]] || die "SILENT must be 0..N"
  [[ $(id -u) -eq 0 ]] || die "needs root (network namespace, veth pair)"
  [[ -x $CAMSIM ]] || die "no camsim at $CAMSIM (build first, or set CAMSIM)"
  ns_exists && die "namespace $NS exists already: bench/fleet.sh stop first"

  mkdir -p "$STATE_DIR"
  rm -f "$STATE_DIR/ready" "$STATE_DIR/camsim.pid"
  ip netns add "$NS"
  ip -n "$NS" link set lo up
  ip -n "$NS" link add va type veth peer name vb
  ip -n "$NS" addr add 10.203.5.1/24 dev va
  ip -n "$NS" addr add 10.203.5.2/24 dev vb
  ip -n "$NS" link set va up
  ip -n "$NS" link set vb up
  ip -n "$NS" route add 224.0.0.0/4 dev va

  write_config "$n" "$silent" "$STATE_DIR/config.json"
  ip netns exec "$NS" setsid "$CAMSIM" --config "$STATE_DIR/config.json" \
    --address 10.203.5.2 --discovery-address 10.203.5.2 --http-port 0 \
    --probe-delay-ms "$PROBE_DELAY_MS" --ready-file "$STATE_DIR/ready" \
    --upload-dir "$STATE_DIR/uploads" --quiet </dev/null >"$STATE_DIR/camsim.log" 2>&1 &
  echo $! >"$STATE_DIR/camsim.pid"

  local i
  for ((i = 0; i < 300; i++)); do # at most 30 s
    if [[ -f $STATE_DIR/ready ]] && (($(wc -l <"$STATE_DIR/ready") == n)); then
      echo "fleet up: $n cameras ($silent silent) in namespace $NS on 10.203.5.2"
      echo "run a client with: ip netns exec $NS <client>"
      return 0
    fi
    camsim_pid >/dev/null || die "camsim ended: $(cat "$STATE_DIR/camsim.log")"
    sleep 0.1
  done
  die "camsim wrote no complete ready file within 30 s"
}

stop() {
  local pid i
  if pid=$(camsim_pid); then
    kill -TERM "$pid"
    for ((i = 0; i < 50; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
  fi
  rm -f "$STATE_DIR/camsim.pid" "$STATE_DIR/ready"
  if ns_exists; then ip netns del "$NS"; fi
  echo "fleet stopped"
}

status() {
  if ns_exists; then echo "namespace $NS: present"; else echo "namespace $NS: absent"; fi
  if pid=$(camsim_pid); then echo "camsim: pid $pid"; else echo "camsim: not running"; fi
  [[ -f $STATE_DIR/ready ]] && echo "cameras listening: $(wc -l <"$STATE_DIR/ready")"
  return 0
}

case ${1:-} in
start)
  shift
  start "$@"
  ;;
stop) stop ;;
status) status ;;
*) die "usage: bench/fleet.sh start N [SILENT] | status | stop" ;;
esac
