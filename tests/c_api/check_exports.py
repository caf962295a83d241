#!/usr/bin/env python3
"""The shared library's interface is exactly what the public headers declare.

Lists the dynamic symbols libonvif-client.so defines (nm -D) and the
functions and variables the public headers declare (the C compiler's
-aux-info listing of every header, and the extern variables of the
preprocessed headers), and fails on
  - a public function or variable the library does not export (the
    ONVIF_CLIENT_API mark is missing, or nothing defines it), and
  - an exported symbol no public header declares (an internal one marked by
    mistake, or C++ code leaking out).

check_exports.py --lib LIB --headers ALL_HEADERS_H --source SOURCE_DIR --cc CC
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

# Names the header reading must find, so that a broken reading cannot pass
# by finding nothing on either side.
KNOWN = {"onvif_client_version", "onvif_tds_GetDeviceInformation", "onvif_add_NetworkInterface",
         "set_probe_cb", "log_print", "xml_node_soap_get", "hdrv_buf_fl"}


def inside(path, source):
    path = os.path.realpath(os.path.join(source, path))
    return path.startswith(os.path.realpath(source) + os.sep)


def public_functions(args):
    with tempfile.TemporaryDirectory() as tmp:
        aux = os.path.join(tmp, "aux.txt")
        subprocess.run([args.cc, "-std=c99", "-fsyntax-only", "-aux-info", aux, "-I", args.source,
                        "-x", "c", args.headers], check=True, cwd=args.source)
        with open(aux) as f:
            lines = f.read().splitlines()
    names = set()
    decl = re.compile(r"^/\* (\S+):\d+:\w+ \*/ (.*);$")
    for line in lines:
        m = decl.match(line)
        if not m or not inside(m.group(1), args.source):
            continue
        text = m.group(2)
        if re.match(r"^(static|inline)\b", text):
            continue
        name = re.search(r"(\w+) \(", text)
        if name:
            names.add(name.group(1))
    return names


def public_variables(args):
    pre = subprocess.run([args.cc, "-std=c99", "-E", "-I", args.source, "-x", "c", args.headers],
                         check=True, cwd=args.source, capture_output=True, text=True).stdout
    # The headers' own text (line markers tell whose), cut into statements.
    ours = []
    current = ""
    marker = re.compile(r'^# \d+ "([^"]+)"')
    for line in pre.splitlines():
        m = marker.match(line)
        if m:
            current = m.group(1)
        elif inside(current, args.source):
            ours.append(line)
    text = re.sub(r"__attribute__\s*\(\((?:[^()]|\([^()]*\))*\)\)", " ", " ".join(ours))
    names = set()
    for stmt in text.split(";"):
        v = re.match(r"^\s*extern\s+[^(){}=]*?\b(\w+)\s*(\[[^\]]*\]\s*)*$", stmt)
        if v:
            names.add(v.group(1))
    return names


def exported(lib):
    out = subprocess.run(["nm", "-D", "--defined-only", "--format=posix", lib], check=True,
                         capture_output=True, text=True).stdout
    names = set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[1] not in ("A",):  # A: version nodes
            names.add(parts[0].split("@")[0])
    return names


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lib", required=True)
    ap.add_argument("--headers", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--cc", default="cc")
    args = ap.parse_args()

    public = public_functions(args) | public_variables(args)
    have = exported(args.lib)
    problems = 0
    lost = KNOWN - public
    if lost:
        print("the headers were not read right: %s not found" % ", ".join(sorted(lost)))
        problems += 1
    # AddressSanitizer builds add an ODR indicator beside each exported variable.
    odr = {n for n in have if n.startswith("__odr_asan.") and n[len("__odr_asan."):] in public}
    missing = sorted(public - have)
    extra = sorted(have - public - odr)
    for name in missing:
        print("declared in a public header, not exported: %s" % name)
    for name in extra:
        print("exported, not declared in a public header: %s" % name)
    problems += len(missing) + len(extra)
    print("%d public functions and variables, %d exported symbols, %d problem(s)"
          % (len(public), len(have), problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
