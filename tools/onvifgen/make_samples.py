#!/usr/bin/python3
"""Writes schema-valid sample bodies of ONVIF operations together with the
values a reader must find in them, for the reader and writer sweeps.

usage: make_samples.py [--schema DIR] [--request] [--variant K] [--out DIR]
                       [--validate] (--all | SVC OP [SVC OP ...])

For each operation (svc and Op as in onvif/onvif_ops.def) the response
element (the request element with --request) is written with every optional
element and attribute present, repeated elements twice, and a distinct value
per leaf. It covers what the generated records hold, by the same rules
(tools/onvifgen/recmodel.py): xs:any content and Extension elements that
only hold xs:any are left out. Of a choice, the first alternative that
holds a record member is written (--variant K takes the K-th one instead).

Without --out, the sample and its listing go to standard output. With --out,
DIR/<svc>_<Op>.res.xml (or .req.xml) and DIR/<svc>_<Op>.res.txt are
written; --validate then checks every sample with the schema set's
tools/validate-body and reports the ones that do not validate.

The listing ("expected values"): one line per leaf value, in document order,
  path=value       the member must hold exactly this value
  path~=text       raw XML member (xs:anyType and xs:any-only content): its
                   XML text must contain text
  !attachment ID=text   an MTOM/XOP part the reply comes with: content id ID
                   (without "<>"), bytes = the ASCII text
  # ...            comment
path is the element path below the operation's element: element local
names joined by "/", "[i]" after a repeated element (from 0), "@name" for
an attribute, the element's own path for simple content. Values:
  texts, tokens, URIs, unmapped enumerations, lists: the text as written
      (ASCII, except one xs:string per record type that ends in "\u00fc",
      two bytes of UTF-8); always shorter than the member
  integers: decimal; xs:long and xs:unsignedLong above 2^32
  booleans: "true" / "false" (alternating)
  xs:float, xs:double, xs:decimal: n + 0.5 written shortest ("7.5"), exact
      in a C float
  enumerations through a converter pair: the schema text (which is the
      converter's text)
  xs:duration: "PT<n>S" (whole seconds); xs:dateTime: "2026-01-02T03:04:<ss>Z"
  base64 data and attachments: the decoded bytes as ASCII text ("Bin-7")
"""

import base64
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True

from recmodel import Field, GenError, Model, PREFIX_OF, Record  # noqa: E402
from xsdschema import Schema, SchemaError  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))
SAMPLE_NS = "urn:onvifgen:sample"
XOP_NS = "http://www.w3.org/2004/08/xop/include"
WSA_NS = "http://www.w3.org/2005/08/addressing"

# Values for types restricted by a pattern, by type name.
PATTERN_SAMPLES = {
    "tt:Dot11PSKPassphrase": "Passphrase 8-63",
}


def esc(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def fmt_real(v):
    r = repr(float(v))
    return r[:-2] if r.endswith(".0") else r


class Sampler:
    def __init__(self, model, variant=0):
        self.model = model
        self.variant = variant
        self.n = 0
        self.flip = False
        self.lines = []
        self.prefixes = {}
        self.multibyte = set()
        self.shadows = {}
        self.hand = set()  # hand-written records met on the way

    # ---- helpers -------------------------------------------------------------

    def count(self):
        self.n += 1
        return self.n

    def qname(self, ns, local):
        p = PREFIX_OF.get(ns)
        if p is None:
            raise GenError("no prefix for namespace %s" % ns)
        self.prefixes[p] = ns
        return "%s:%s" % (p, local)

    def chosen(self, rec, choices):
        for cid, alt in choices:
            if alt != self.pick(rec, cid):
                return False
        return True

    def pick(self, rec, cid):
        """The alternative of choice cid that is written."""
        alts = self.model.choice_alts[cid]
        useful = sorted(set(a for it in rec.items if not hasattr(it, "why")
                            for c, a in it.choices if c == cid))
        if not useful:
            return self.variant % alts
        return useful[self.variant % len(useful)]

    def record_of(self, f):
        if f.rec.override:
            self.hand.add(f.rec.cname)
            key = id(f.ctype.elem)
            if key not in self.shadows:
                self.shadows[key] = self.model.shadow(f.ctype)
            return self.shadows[key]
        return f.rec

    # ---- simple values ----------------------------------------------------------

    def text_value(self, f, s, owner):
        name = f.xml or "Value"
        n = self.count()
        b = s.builtin
        for t in s.chain:
            if t in PATTERN_SAMPLES:
                return PATTERN_SAMPLES[t]
        if s.patterns:
            raise GenError("no sample for the pattern of %s (%s)" % (s.name, s.patterns))
        if s.enums:
            return s.enums[n % len(s.enums)]
        if b == "list":
            items = self.list_items(s, n)
            return " ".join(items)
        if b == "union":
            g = Field(f.xml, f.ns)
            self.model.simple_field(g, s.members[0])
            if g.kind == "TEXT":
                g.size = min(g.size, f.size)
            return self.simple_value(g, owner)[0]
        if b == "anyURI":
            return "http://192.0.2.%d/%s-%d" % (n % 250 + 1, name, n)
        if b == "hexBinary":
            length = int(s.facets.get("length", 2))
            return ("%02X" % (n % 256)) * length
        if b == "date":
            return "2026-01-%02d" % (n % 28 + 1)
        if b == "time":
            return "03:04:%02d" % (n % 60)
        if b == "gYear":
            return "2026"
        if b in ("QName", "NCName", "Name", "ID", "IDREF"):
            return "%s%d" % (name.replace(".", ""), n)
        if b == "language":
            return "en"
        text = "%s-%d" % (name, n)
        limit = f.size - 1 if f.size else 255
        if "maxLength" in s.facets:
            limit = min(limit, int(s.facets["maxLength"]))
        if b in ("string", "normalizedString", "anySimpleType") and owner not in self.multibyte \
                and not s.facets.get("length") and limit >= len(text.encode()) + 2:
            self.multibyte.add(owner)
            text += "\u00fc"
        minlen = int(s.facets.get("length", s.facets.get("minLength", 0)))
        while len(text) < minlen:
            text += "x"
        if "length" in s.facets:
            text = text[:int(s.facets["length"])]
        while len(text.encode()) > limit:
            text = text[:-1]
        return text

    def list_items(self, s, n):
        it = s.item
        count = int(s.facets.get("length", s.facets.get("minLength", 2)))
        count = max(count, 1)
        out = []
        for i in range(count):
            b = it.builtin
            if it.enums:
                out.append(it.enums[(n + i) % len(it.enums)])
            elif b in ("int", "integer", "unsignedInt", "short", "nonNegativeInteger",
                       "positiveInteger", "long", "unsignedShort", "unsignedByte", "byte"):
                out.append(str(n + i + 1))
            elif b in ("float", "double", "decimal"):
                out.append(fmt_real(n + i + 0.5))
            elif b == "boolean":
                out.append("true" if i % 2 == 0 else "false")
            elif b == "anyURI":
                out.append("http://192.0.2.%d/item-%d" % ((n + i) % 250 + 1, n + i))
            else:
                out.append("Item%d" % (n + i))
        return out

    def int_range(self, s, lo, hi):
        f = s.facets
        if "minInclusive" in f:
            lo = max(lo, int(float(f["minInclusive"])))
        if "minExclusive" in f:
            lo = max(lo, int(float(f["minExclusive"])) + 1)
        if "maxInclusive" in f:
            hi = min(hi, int(float(f["maxInclusive"])))
        if "maxExclusive" in f:
            hi = min(hi, int(float(f["maxExclusive"])) - 1)
        return lo, hi

    def simple_value(self, f, owner):
        """(XML text, expected text) of a simple member."""
        s = f.simple
        k = f.kind
        if k == "ENUM":
            v = s.enums[self.count() % len(s.enums)]
            return v, v
        if k in ("INT", "UINT", "INT64"):
            n = self.count()
            b = s.builtin
            lo, hi = {"byte": (-128, 127), "short": (-32768, 32767),
                      "unsignedByte": (0, 255), "unsignedShort": (0, 65535),
                      "nonNegativeInteger": (0, 1 << 31), "positiveInteger": (1, 1 << 31),
                      "unsignedInt": (0, 1 << 32), "unsignedLong": (0, 1 << 63)}.get(
                          b, (-(1 << 31), (1 << 31) - 1))
            lo, hi = self.int_range(s, lo, hi)
            if k == "INT64" and lo <= (1 << 32) + n <= hi:
                v = (1 << 32) + n
            elif lo <= n <= hi:
                v = n
            else:
                v = lo + n % (hi - lo + 1)
            return str(v), str(v)
        if k == "BOOL":
            self.count()
            self.flip = not self.flip
            v = "true" if self.flip else "false"
            return v, v
        if k in ("FLOAT", "DOUBLE"):
            n = self.count()
            fa = s.facets
            lo = float(fa.get("minInclusive", fa.get("minExclusive", -1e9)))
            hi = float(fa.get("maxInclusive", fa.get("maxExclusive", 1e9)))
            v = n + 0.5
            if not lo < v < hi:
                v = lo + ((n % max(1, int(hi - lo))) + 0.5 if hi - lo >= 1 else (hi - lo) / 2)
            t = fmt_real(v)
            return t, t
        if k == "DURATION":
            n = self.count()
            return "PT%dS" % n, "PT%dS" % n
        if k == "DATETIME":
            n = self.count()
            t = "2026-01-02T03:04:%02dZ" % (n % 60)
            return t, t
        if k == "BINARY":
            n = self.count()
            data = "Bin-%d" % n
            return base64.b64encode(data.encode()).decode(), data
        v = self.text_value(f, s, owner)
        if f.size and len(v.encode()) >= f.size:
            raise GenError("sample text %r does not fit %s (%d bytes)" % (v, f.xml, f.size))
        return v, v

    # ---- elements -----------------------------------------------------------------

    def attrs_and_value(self, rec, path, owner):
        attrs = []
        text = ""
        for f in rec.fields:
            if f.attr:
                x, e = self.simple_value(f, owner)
                attrs.append(' %s="%s"' % (f.xml, esc(x)))
                self.lines.append("%s@%s=%s" % (path + "/" if path else "", f.xml, e))
            elif f.value:
                x, e = self.simple_value(f, owner)
                text = esc(x)
                self.lines.append("%s=%s" % (path, e))
        return "".join(attrs), text

    def content(self, rec, path, stack):
        """Attributes and inner XML of an element holding record rec."""
        owner = rec.key
        attrs, text = self.attrs_and_value(rec, path, owner)
        parts = [text]
        for it in rec.items:
            if not self.chosen(rec, it.choices):
                continue
            if hasattr(it, "why"):
                parts.append(self.filler(it))
                continue
            parts.append(self.field(rec, it, path, stack))
        return attrs, "".join(parts)

    def filler(self, skipped):
        """Schema items the records do not hold: written only when required."""
        p = skipped.particle
        if p.min == 0:
            return ""
        if p.kind == "any":
            return self.any_element(p, self.count())
        # A required Extension element of xs:any content: empty.
        return "<%s/>" % self.qname(p.ns, p.name)

    def any_element(self, wildcard, n):
        """An element a wildcard accepts, holding the text Raw-n."""
        constraint = wildcard.ns
        strict = wildcard.decl.get("processContents", "strict") == "strict"
        tns = wildcard.decl.doc.tns
        if constraint in ("##any", "##other"):
            if strict:
                # a declared element of simple content: WS-Addressing Action
                return "<%s>Raw-%d</%s>" % ((self.qname(WSA_NS, "Action"), n,
                                              self.qname(WSA_NS, "Action")))
            self.prefixes["smp"] = SAMPLE_NS
            return "<smp:Raw>Raw-%d</smp:Raw>" % n
        if constraint == "##targetNamespace" and not strict:
            tag = self.qname(tns, "SampleRaw")
            return "<%s>Raw-%d</%s>" % (tag, n, tag)
        raise GenError("no sample element for the wildcard %s (%s)" % (
            constraint, wildcard.decl.get("processContents", "strict")))

    def field(self, rec, f, path, stack):
        times = 1
        if f.rep:
            times = max(2, f.min)
            if f.max is not None:
                times = min(times, f.max)
        if f.kind == "CHILD" and f.rec.key in stack:
            if f.min == 0:
                return ""
            if stack.count(f.rec.key) > 2:
                raise GenError("required recursion through %s" % f.rec.key)
        out = []
        tag = self.qname(f.ns, f.xml)
        for i in range(times):
            p = "%s%s" % (path + "/" if path else "", f.xml)
            if f.rep:
                p += "[%d]" % i
            out.append(self.element(tag, f, p, stack, rec.key))
        return "".join(out)

    def element(self, tag, f, path, stack, owner):
        k = f.kind
        if k == "CHILD":
            rec = self.record_of(f)
            attrs, inner = self.content(rec, path, stack + [f.rec.key])
            return "<%s%s>%s</%s>" % (tag, attrs, inner, tag) if inner else \
                "<%s%s/>" % (tag, attrs)
        if k == "RAW":
            n = self.count()
            self.lines.append("%s~=Raw-%d" % (path, n))
            if f.ctype is None:
                return "<%s>Raw-%d</%s>" % (tag, n, tag)
            c = self.model.content(f.ctype)
            wild = [p for p in c.items if p.kind == "any"]
            inner = self.any_element(wild[0], n) if wild else ""
            return "<%s>%s</%s>" % (tag, inner, tag)
        if k == "BINARY" and f.ctype is not None and \
                self.model.type_key(f.ctype)[0] == "tt:AttachmentData":
            n = self.count()
            cid = "bin-%d@sample" % n
            self.lines.append("%s=Bin-%d" % (path, n))
            self.lines.append("!attachment %s=Bin-%d" % (cid, n))
            self.prefixes["xop"] = XOP_NS
            return '<%s><xop:Include href="cid:%s"/></%s>' % (tag, cid, tag)
        if k == "BINARY" and f.simple is None:
            n = self.count()
            data = "Bin-%d" % n
            self.lines.append("%s=%s" % (path, data))
            return "<%s>%s</%s>" % (tag, base64.b64encode(data.encode()).decode(), tag)
        x, e = self.simple_value(f, owner)
        self.lines.append("%s=%s" % (path, e))
        return "<%s>%s</%s>" % (tag, esc(x), tag)

    # ---- whole bodies ---------------------------------------------------------------

    def body(self, decl, rec):
        ns = decl.doc.tns
        tag = self.qname(ns, decl.get("name"))
        attrs, inner = self.content(rec, "", [rec.key])
        decls = "".join(' xmlns:%s="%s"' % (p, u) for p, u in sorted(self.prefixes.items()))
        if inner:
            return "<%s%s%s>%s</%s>" % (tag, decls, attrs, inner, tag)
        return "<%s%s%s/>" % (tag, decls, attrs)


def op_sample(model, op, request, variant=0):
    """(xml, expected lines) of one operation's response (or request)."""
    decl = op.req_elem if request else op.res_elem
    side = "REQ" if request else "RES"
    held = op.req if request else op.res
    if isinstance(held, Record):
        rec = held
        what = "record %s_%s_%s" % (op.svc, op.name, side)
        if not request and op.res_shape in ("view", "list"):
            what += " (%s of %s)" % (op.res_shape, rec.fields[0].rec.cname)
    else:
        _, t = model.element_type(decl)
        rec = model.shadow(t)
        what = {"void": "no record (empty element)",
                "hand": "hand-written record"}[held]
    s = Sampler(model, variant)
    xml = s.body(decl, rec)
    head = ["# %s %s %s; %s" % (op.svc, op.name, "request" if request else "response", what)]
    if s.hand:
        head.append("# lines below hand-written records (%s) follow the schema"
                    % ", ".join(sorted(s.hand)))
    return xml, head + s.lines


def listing_problems(xml, lines):
    """Listing lines whose path or value the sample does not have (a check of
    this script: every expected value must be readable from its sample)."""
    root = ET.fromstring(xml)
    bad = []
    for line in lines:
        if line.startswith(("#", "!")):
            continue
        path, op, value = re.match(r"^(.*?)(~?=)(.*)$", line).groups()
        node, attr = root, None
        for step in path.split("/") if path else []:
            if step.startswith("@"):
                attr = step[1:]
                break
            name, _, idx = step.partition("[")
            kids = [c for c in node if c.tag.rpartition("}")[2] == name]
            i = int(idx[:-1]) if idx else 0
            if i >= len(kids):
                node = None
                break
            node = kids[i]
        if node is None:
            bad.append("no element for " + line)
            continue
        if op == "~=":
            if value not in ET.tostring(node, encoding="unicode"):
                bad.append("raw text not found: " + line)
            continue
        got = node.get(attr) if attr is not None else (node.text or "")
        if len(node) and attr is None and node[0].tag == "{%s}Include" % XOP_NS:
            continue
        if got != value:
            try:
                if base64.b64decode(got).decode() == value:
                    continue
            except (ValueError, UnicodeDecodeError):
                pass
            bad.append("sample holds %r: %s" % (got, line))
    return bad


def main(argv):
    schema_dir = os.path.join(os.path.dirname(REPO), "shared", "onvif-schema")
    request = validate = want_all = False
    variant = 0
    out_dir = None
    names = []
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == "--schema":
            schema_dir = args.pop(0)
        elif a == "--request":
            request = True
        elif a == "--variant":
            variant = int(args.pop(0))
        elif a == "--out":
            out_dir = args.pop(0)
        elif a == "--validate":
            validate = True
        elif a == "--all":
            want_all = True
        elif a in ("-h", "--help"):
            print(__doc__.strip())
            return 0
        elif a.startswith("-"):
            print("make_samples.py: unknown option %s" % a, file=sys.stderr)
            return 2
        else:
            names.append(a)
    if len(names) % 2 or (not names and not want_all):
        print("usage: make_samples.py [options] (--all | SVC OP ...)", file=sys.stderr)
        return 2
    if validate and out_dir is None:
        print("make_samples.py: --validate needs --out", file=sys.stderr)
        return 2
    try:
        model = Model(Schema(schema_dir), REPO, os.path.join(REPO, "onvif", "onvif_ops.def"))
        model.build()
        by_name = {(op.svc, op.name): op for op in model.ops}
        if want_all:
            ops = model.ops
        else:
            ops = []
            for i in range(0, len(names), 2):
                key = (names[i], names[i + 1])
                if key not in by_name:
                    print("make_samples.py: no operation %s %s" % key, file=sys.stderr)
                    return 2
                ops.append(by_name[key])
        written = []
        listing_bad = 0
        for op in ops:
            xml, lines = op_sample(model, op, request, variant)
            if validate:
                for p in listing_problems(xml, lines):
                    print("LISTING %s %s: %s" % (op.svc, op.name, p))
                    listing_bad += 1
            if out_dir is None:
                print(xml)
                print()
                print("\n".join(lines))
                continue
            os.makedirs(out_dir, exist_ok=True)
            base = os.path.join(out_dir, "%s_%s.%s" % (op.svc, op.name,
                                                       "req" if request else "res"))
            with open(base + ".xml", "w", encoding="utf-8") as fh:
                fh.write(xml + "\n")
            with open(base + ".txt", "w", encoding="utf-8") as fh:
                fh.write("\n".join(lines) + "\n")
            written.append(base + ".xml")
    except (GenError, SchemaError) as e:
        print("make_samples.py: %s" % e, file=sys.stderr)
        return 2
    if validate:
        tool = os.path.join(schema_dir, "tools", "validate-body")
        bad = []
        for path in written:
            r = subprocess.run([tool, "-q", path], stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, universal_newlines=True)
            if r.returncode != 0:
                bad.append((path, r.stdout.strip()))
        for path, msg in bad:
            print("INVALID %s\n%s" % (path, msg))
        print("%d samples, %d invalid, %d listing problems" % (len(written), len(bad),
                                                               listing_bad))
        return 1 if bad or listing_bad else 0
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
