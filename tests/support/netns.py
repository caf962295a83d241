"""Test support for Python tests: a private network, as tests/support/netns.h
gives the C++ ones.

enter_private_network() runs the calling script again under `unshare --net`
(once), so the test, camsim and every program it starts live in a network
namespace of their own with a veth pair; nothing they send reaches a real
network, and the namespace ends with the process. Needs root and the ip tool;
without them the script exits with SKIP (ctest's SKIP_RETURN_CODE) and the
reason on standard error.
"""
import os
import shutil
import subprocess
import sys

SKIP = 77
_MARK = "ONVIF_TEST_IN_NETNS"


def _skip(reason):
    print("skipped: " + reason, file=sys.stderr)
    sys.exit(SKIP)


def enter_private_network(a="va", ip_a="10.203.30.1", b="vb", ip_b="10.203.30.2",
                          extra_b=()):
    """Loopback up; veth a (ip_a/24) <-> b (ip_b/24 and the extra_b addresses),
    both up; the multicast range routed through a."""
    if os.environ.get(_MARK) != "1":
        if os.geteuid() != 0:
            _skip("needs root to create a network namespace")
        for tool in ("unshare", "ip"):
            if not shutil.which(tool):
                _skip("needs the %s tool" % tool)
        env = dict(os.environ, **{_MARK: "1"})
        code = subprocess.call(["unshare", "--net", sys.executable] + sys.argv, env=env)
        sys.exit(code)
    cmds = [
        ["ip", "link", "set", "lo", "up"],
        ["ip", "link", "add", a, "type", "veth", "peer", "name", b],
        ["ip", "addr", "add", ip_a + "/24", "dev", a],
        ["ip", "addr", "add", ip_b + "/24", "dev", b],
    ]
    cmds += [["ip", "addr", "add", extra + "/24", "dev", b] for extra in extra_b]
    cmds += [
        ["ip", "link", "set", a, "up"],
        ["ip", "link", "set", b, "up"],
        ["ip", "route", "add", "224.0.0.0/4", "dev", a],
    ]
    for cmd in cmds:
        r = subprocess.run(cmd, capture_output=True, text=True)
        if r.returncode != 0:
            _skip("could not set up the test network (%s: %s)" % (" ".join(cmd), r.stderr.strip()))
