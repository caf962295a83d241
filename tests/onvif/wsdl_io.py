#!/usr/bin/env python3
"""Prints, for every row of onvif/onvif_ops.def, what the service's schema
says about the operation's messages:

    <svc> <Op> <in> <out>

in:  NO  the request element has no child elements (wildcards do not count)
     OPT every child of the request element is optional
     REQ at least one child is required
out: N   the response element has no child elements
     Y   it has some

usage: wsdl_io.py SCHEMA_DIR OPS_DEF
"""
import glob
import os
import re
import sys
import xml.etree.ElementTree as ET

XS = "{http://www.w3.org/2001/XMLSchema}"
WSNT = "http://docs.oasis-open.org/wsn/b-2"
NS = {
    "tds": "http://www.onvif.org/ver10/device/wsdl",
    "trt": "http://www.onvif.org/ver10/media/wsdl",
    "tr2": "http://www.onvif.org/ver20/media/wsdl",
    "ptz": "http://www.onvif.org/ver20/ptz/wsdl",
    "tev": "http://www.onvif.org/ver10/events/wsdl",
    "img": "http://www.onvif.org/ver20/imaging/wsdl",
    "tmd": "http://www.onvif.org/ver10/deviceIO/wsdl",
    "trc": "http://www.onvif.org/ver10/recording/wsdl",
    "trp": "http://www.onvif.org/ver10/replay/wsdl",
    "tse": "http://www.onvif.org/ver10/search/wsdl",
    "tan": "http://www.onvif.org/ver20/analytics/wsdl",
    "tac": "http://www.onvif.org/ver10/accesscontrol/wsdl",
    "tdc": "http://www.onvif.org/ver10/doorcontrol/wsdl",
    "tth": "http://www.onvif.org/ver10/thermal/wsdl",
    "tcr": "http://www.onvif.org/ver10/credential/wsdl",
    "tar": "http://www.onvif.org/ver10/accessrules/wsdl",
    "tsc": "http://www.onvif.org/ver10/schedule/wsdl",
    "trv": "http://www.onvif.org/ver10/receiver/wsdl",
    "tpv": "http://www.onvif.org/ver10/provisioning/wsdl",
}

types, elems, nsmaps = {}, {}, {}


def load(path):
    pend, cur, root = {}, [{}], None
    for ev, obj in ET.iterparse(path, events=("start-ns", "start", "end")):
        if ev == "start-ns":
            pend[obj[0]] = obj[1]
        elif ev == "start":
            m = dict(cur[-1])
            m.update(pend)
            pend = {}
            cur.append(m)
            nsmaps[obj] = m
            root = root if root is not None else obj
        else:
            cur.pop()
    tns = root.get("targetNamespace")
    for c in root:
        if c.tag == XS + "complexType":
            types[(tns, c.get("name"))] = c
        elif c.tag == XS + "element":
            elems[(tns, c.get("name"))] = c


def qname(node, text):
    p, _, l = text.rpartition(":")
    return (nsmaps[node].get(p), l)


def particles(node, acc, seen):
    """(name, optional) of the child elements of a type or element."""
    for c in node:
        if c.tag == XS + "complexType":
            particles(c, acc, seen)
        elif c.tag in (XS + "sequence", XS + "choice", XS + "all"):
            choice = c.tag == XS + "choice"
            for x in c:
                if x.tag == XS + "element":
                    opt = choice or x.get("minOccurs", "1") == "0"
                    acc.append((x.get("name") or x.get("ref"), opt))
                elif x.tag in (XS + "sequence", XS + "choice"):
                    wrap = ET.Element("wrap")
                    wrap.append(x)
                    nsmaps[wrap] = nsmaps.get(x, {})
                    particles(wrap, acc, seen)
        elif c.tag in (XS + "complexContent", XS + "simpleContent"):
            for x in c:
                base = x.get("base")
                if base:
                    q = qname(x, base)
                    if q in types and q not in seen:
                        seen.add(q)
                        particles(types[q], acc, seen)
                particles(x, acc, seen)


def content(e):
    acc = []
    ty = e.get("type")
    if ty:
        q = qname(e, ty)
        if q in types:
            particles(types[q], acc, set())
    else:
        particles(e, acc, set())
    return acc


def main():
    schema, ops = sys.argv[1], sys.argv[2]
    for f in glob.glob(os.path.join(schema, "**", "*.xsd"), recursive=True):
        load(f)
    rows = []
    for line in open(ops):
        m = re.match(r"OPA?\((\w+),\s*(\w+),\s*\w+\s*,\s*\w+\s*,\s*([\w|]+)", line)
        if m:
            rows.append(m.groups())
    for svc, op, flags in rows:
        ns = WSNT if "F_WSNT" in (flags or "") else NS["tds" if "F_TDS" in (flags or "") else svc]
        rq, rs = elems.get((ns, op)), elems.get((ns, op + "Response"))
        if rq is None or rs is None:
            print(svc, op, "?", "?")
            continue
        a, b = content(rq), content(rs)
        inn = "NO" if not a else ("OPT" if all(o for _, o in a) else "REQ")
        print(svc, op, inn, "Y" if b else "N")


if __name__ == "__main__":
    main()
