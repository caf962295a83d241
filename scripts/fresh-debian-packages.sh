#!/usr/bin/env bash
# The Debian packages on a fresh Debian 12: builds the .deb files (cpack) in
# build/package, installs them with apt-get in a clean Debian 12 (bookworm,
# minbase) root, as an installer would on a new machine (their dependencies
# come from the mirror, recommends left out), then runs `onvif-cli --help`
# and starts the tool under xvfb-run until its window shows. The tool runs in
# a network namespace of its own (loopback only), so its discovery never
# reaches this machine's networks. A picture of the window is written to
# build/package/fresh-debian-tool.png.
#
#   sudo bash scripts/fresh-debian-packages.sh [--mirror URL]
#
# Needs root and a Debian mirror (default: the one this machine's apt uses).
# The clean root is made once with debootstrap and kept as
# $CORVANTA_DEBIAN_CACHE/bookworm-minbase.tar.zst (default /var/tmp/corvanta-debian);
# every run unpacks a new copy and deletes it at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

SUITE=bookworm
CACHE=${CORVANTA_DEBIAN_CACHE:-/var/tmp/corvanta-debian}
GUEST_PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
mirror=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --mirror) mirror=$2; shift 2 ;;
    -h | --help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: $0 [--mirror URL]" >&2; exit 2 ;;
  esac
done
if [[ $(id -u) -ne 0 ]]; then
  echo "This needs root (debootstrap, chroot, mounts): sudo bash $0" >&2
  exit 1
fi
say() { printf '== %s\n' "$*"; }

# ---- host tools and the packages -------------------------------------------
bash scripts/deps.sh
for tool in debootstrap zstd; do
  if ! command -v "$tool" >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$tool" >/dev/null ||
      { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
        --no-install-recommends "$tool" >/dev/null; }
  fi
done

build=build/package
say "building the packages in $build"
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DONVIF_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/packages/*.deb)
for d in "${debs[@]}"; do
  printf '%s (%s bytes)\n' "$(basename "$d")" "$(stat -c %s "$d")"
  dpkg-deb -f "$d" Depends | sed 's/^/    Depends: /'
done

# ---- the clean root ----------------------------------------------------------
host_mirror() {
  # shellcheck disable=SC2016
  apt-get indextargets --no-release-info --format '$(TARGET_OF) $(REPO_URI) $(RELEASE)' 2>/dev/null |
    awk -v s="$SUITE" '$1 == "deb" && $3 == s { sub(/\/$/, "", $2); print $2; exit }'
}
mkdir -p "$CACHE"
base=$CACHE/$SUITE-minbase.tar.zst
if [[ ! -s $base ]]; then
  mirror=${mirror:-$(host_mirror)}
  mirror=${mirror:-http://deb.debian.org/debian}
  say "making a clean $SUITE root from $mirror (once; kept in $base)"
  made=$(mktemp -d "$CACHE/make.XXXXXX")
  trap 'rm -rf --one-file-system "$made"' EXIT
  debootstrap --variant=minbase "$SUITE" "$made/root" "$mirror" >"$CACHE/debootstrap.log" 2>&1 ||
    { tail -n 20 "$CACHE/debootstrap.log"; exit 1; }
  security=${mirror%/debian}/debian-security
  printf 'deb %s %s main\ndeb %s %s-updates main\ndeb %s %s-security main\n' \
    "$mirror" "$SUITE" "$mirror" "$SUITE" "$security" "$SUITE" >"$made/root/etc/apt/sources.list"
  # This machine's way to the mirror (a proxy, snapshot dates) goes along.
  apt-config dump | grep -E '^Acquire::(https?::Proxy|Check-Valid-Until) ' \
    >"$made/root/etc/apt/apt.conf.d/00host-network" || true
  rm -rf "$made"/root/var/lib/apt/lists/* "$made"/root/var/cache/apt/archives/*.deb
  tar --numeric-owner -C "$made/root" -cf - . | zstd -q -T0 -o "$base.new"
  mv "$base.new" "$base"
  rm -rf --one-file-system "$made"
  trap - EXIT
fi

root=$(mktemp -d "$CACHE/root.XXXXXX")
cleanup() {
  # The mounts live in the namespace of each step and ended with it.
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
zstd -q -dc "$base" | tar --numeric-owner -xpf - -C "$root"
mkdir -p "$root/tmp/debs"
cp "${debs[@]}" "$root/tmp/debs/"
: >"$root/etc/resolv.conf"

# Runs a command as root in the clean root, in private mount and pid
# namespaces (everything it mounts or starts ends with it), within a time
# limit. With --no-net also in a network namespace of its own. The
# namespace's first process stays a shell of its own: programs that tell
# their parent they are ready (Xvfb under xvfb-run) need a parent other than
# process 1, and a process 1 without handlers would not end on TERM.
in_root() {
  local net=()
  if [[ $1 == --no-net ]]; then net=(--net); shift; fi
  unshare --mount --propagation private --pid --fork --kill-child "${net[@]}" -- \
    bash -c '
      trap "kill -KILL -1 2>/dev/null; exit 143" TERM INT HUP
      r=$1
      mount -t proc proc "$r/proc"
      mount --rbind /sys "$r/sys"
      mount --rbind /dev "$r/dev"
      mount -t tmpfs -o mode=1777 tmpfs "$r/dev/shm"
      mount -t tmpfs -o mode=755 tmpfs "$r/run"
      [[ -e /etc/resolv.conf ]] && mount --bind -o ro /etc/resolv.conf "$r/etc/resolv.conf"
      timeout -k 10 1200 chroot "$r" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH="$2" \
        DEBIAN_FRONTEND=noninteractive /bin/bash -c "$3" &
      wait $!
      rc=$?
      kill -KILL -1 2>/dev/null
      exit $rc
    ' _ "$root" "$GUEST_PATH" "$*"
}

say "apt-get install of the packages in the clean root (recommends left out)"
in_root 'apt-get update -q >/dev/null &&
  apt-get install -y -q --no-install-recommends /tmp/debs/*.deb xvfb xauth x11-utils \
    >/tmp/apt.log 2>&1 || { tail -n 30 /tmp/apt.log; exit 1; }
  dpkg-query -W -f "\${Package} \${Version} \${Status}\n" corvanta-ipc-tool onvif-cli \
    libonvif-client0 libonvif-client-dev'

say "onvif-cli --help"
in_root 'onvif-cli --help'

say "the tool under xvfb-run (network namespace of its own)"
in_root --no-net 'mkdir -p /tmp/fb
  xvfb-run -a -s "-screen 0 1024x640x24 -fbdir /tmp/fb" bash -c "
    corvanta-ipc-tool >/tmp/tool.log 2>&1 &
    tool=\$!
    for i in \$(seq 150); do
      xwininfo -root -tree | grep -q \"corvanta ipc tool\" && break
      kill -0 \$tool 2>/dev/null || { echo \"the tool ended: \$(tail -n 5 /tmp/tool.log)\"; exit 1; }
      sleep 0.2
    done
    xwininfo -root -tree | grep \"corvanta ipc tool\" >/tmp/window.txt || exit 1
    sed \"s/^ */window: /\" /tmp/window.txt
    sleep 2
    cp /tmp/fb/Xvfb_screen0 /tmp/tool.xwd
    kill \$tool
    wait \$tool
    echo \"the tool ran and ended on TERM (status \$?)\"
  "'
# The window's geometry, "WIDTHxHEIGHT+X+Y" (its id, 0x..., is not one).
size=$(grep -o ' [0-9]\+x[0-9]\+[+-]' "$root/tmp/window.txt" | head -n1 | tr -d ' +-')
python3 scripts/xwd2png.py "$root/tmp/tool.xwd" "$build/fresh-debian-tool.png" "${size%x*}" "${size#*x}"
say "picture of the window: $build/fresh-debian-tool.png"
say "the packages install and run on a clean $SUITE"
