"""The record model: from the schema declarations of every operation's
request and response element to plain records with typed members.

Rules (the generated headers and the sample writer both rest on them):
  * named complex types are records ONVIF_<UPPER_SNAKE>; anonymous ones take
    the name of their element path; tt keeps a plain name when another
    namespace defines the same local name, the others get their prefix;
  * members follow the schema order, base type first; attributes follow
    the elements; simple content becomes a value member;
  * optional members (minOccurs 0, choice alternatives, optional
    attributes) get a presence bit; repeated records become linked lists,
    repeated simple values fixed arrays with a count;
  * xs:any and xs:anyAttribute are skipped; xs:anyType and complex types
    without element content other than xs:any are kept as raw XML text;
    `Extension` elements of such types are left out;
  * a record that would contain itself holds the recursive member as a list.
"""

import glob
import os
import re

import config
from xsdschema import XS

KEYWORDS = {
    # C
    "auto", "break", "case", "char", "const", "continue", "default", "do", "double", "else",
    "enum", "extern", "float", "for", "goto", "if", "inline", "int", "long", "register",
    "restrict", "return", "short", "signed", "sizeof", "static", "struct", "switch", "typedef",
    "union", "unsigned", "void", "volatile", "while", "bool", "true", "false",
    # C++
    "alignas", "alignof", "and", "asm", "catch", "class", "constexpr", "delete", "explicit",
    "export", "friend", "mutable", "namespace", "new", "noexcept", "not", "nullptr", "operator",
    "or", "private", "protected", "public", "template", "this", "throw", "try", "typeid",
    "typename", "using", "virtual", "xor",
    # names of the descriptor machinery
    "next",
}

TOKEN_BUILTINS = {"token", "NCName", "QName", "NMTOKEN", "NMTOKENS", "Name", "ID", "IDREF",
                  "language", "anyURI", "hexBinary", "date", "time", "gYear", "ENTITY"}
INT_BUILTINS = {"int", "integer", "short", "byte", "nonNegativeInteger", "positiveInteger",
                "negativeInteger", "nonPositiveInteger"}
UINT_BUILTINS = {"unsignedInt", "unsignedShort", "unsignedByte"}
INT64_BUILTINS = {"long", "unsignedLong"}

PREFIX_OF = config.NAMESPACES
URI_OF = {v: k for k, v in config.NAMESPACES.items()}


class GenError(Exception):
    pass


def qname(ns, local):
    return "%s:%s" % (PREFIX_OF.get(ns, "{%s}" % ns), local)


def split_words(name):
    s = name
    for a, b in (("Dot1X", "Dot1x"), ("OSDs", "Osds"), ("EFlip", "Eflip"), ("X.509", "X509")):
        s = s.replace(a, b)
    s = re.sub(r"(\d)D(?=[A-Z]|$)", r"\1d", s)  # Space2DDescription
    # IPv4, DHCPv6: the version belongs to the acronym
    s = re.sub(r"([A-Z]+)v(\d)", lambda m: m.group(1).capitalize() + "v" + m.group(2), s)
    s = re.sub(r"([A-Z]+)([A-Z][a-z])", r"\1_\2", s)
    s = re.sub(r"([a-z0-9])([A-Z])", r"\1_\2", s)
    s = re.sub(r"[^A-Za-z0-9]+", "_", s)
    return s.strip("_")


def upper_snake(name):
    return split_words(name).upper()


def lower_snake(name):
    if name in config.NAME_FIXES:
        return config.NAME_FIXES[name]
    return split_words(name).lower()


def occurs(value, default=1):
    if value is None:
        return default
    if value == "unbounded":
        return None
    return int(value)


def mul(a, b):
    if a is None or b is None:
        return None
    return a * b


# ---- simple types ----------------------------------------------------------


class Simple:
    """A simple type resolved down to its built-in base."""

    def __init__(self):
        self.name = None  # "pfx:Local" of the declared type, None when anonymous
        self.chain = []  # named types from the declared one to the built-in
        self.builtin = None  # XML Schema built-in local name, "list" or "union"
        self.enums = None  # enumeration values of the most derived restriction
        self.facets = {}  # minInclusive, maxInclusive, minLength, maxLength, length
        self.patterns = []
        self.item = None  # list item type
        self.members = []  # union member types


class Particle:
    """An element or a wildcard of a content model, flattened."""

    def __init__(self, kind, decl, name, ns, min_occ, max_occ, choices):
        self.kind = kind  # "element" or "any"
        self.decl = decl
        self.name = name
        self.ns = ns
        self.min = min_occ
        self.max = max_occ
        self.choices = choices  # ((choice id, alternative), ...) from the outside in


class Attr:
    def __init__(self, decl, name, required, simple):
        self.decl = decl
        self.name = name
        self.required = required
        self.simple = simple


class Content:
    def __init__(self):
        self.items = []  # Particles in document order
        self.attrs = []
        self.simple = None  # simple content
        self.mixed = False
        self.foreign_attrs = []  # qualified attributes of other vocabularies (left out)

    def elements(self):
        return [p for p in self.items if p.kind == "element"]


# ---- records ----------------------------------------------------------------


class Field:
    def __init__(self, xml, ns):
        self.xml = xml  # element or attribute local name ("" for a value)
        self.ns = ns  # namespace URI of the element; None for attributes and values
        self.attr = False
        self.value = False
        self.kind = None  # TEXT INT UINT INT64 BOOL FLOAT DOUBLE ENUM DURATION DATETIME RAW BINARY CHILD
        self.size = 0
        self.trim = False
        self.enum = None
        self.rec = None
        self.rep = None  # None, "list" or "array"
        self.cap = 0  # array capacity, list cap (0: default)
        self.optional = False
        self.min = 1
        self.max = 1
        self.simple = None
        self.choices = ()
        self.cname = None
        self.bit = None  # presence bit number over all flag words
        self.recursive = False
        self.ctype = None  # complexType declaration of a complex element
        self.decl = None  # the element or attribute declaration

    @property
    def prefix(self):
        return "NONE" if self.ns is None else PREFIX_OF[self.ns]


class Skipped:
    """A schema item the record does not hold (kept for the sample writer)."""

    def __init__(self, why, particle):
        self.why = why  # "any", "extension", "foreign"
        self.particle = particle
        self.choices = particle.choices if particle else ()


class Record:
    def __init__(self, key, ns, local):
        self.key = key  # "pfx:Local" or "pfx:Outer/Inner" or "op:svc:Op:REQ"
        self.ns = ns
        self.local = local  # for naming: Local or Outer_Inner
        self.cname = None
        self.node = None  # list node type name once a list uses it
        self.fields = []
        self.items = []  # Fields and Skipped entries, in schema order (elements only)
        self.override = None  # (record, node, header) for hand-written records
        self.op = None  # (svc, Op, "REQ"/"RES") for operation records
        self.done = False
        self.flag_words = 0
        self.empty = False
        self.services = set()

    def __repr__(self):
        return "Record(%s)" % self.key


class Op:
    def __init__(self, svc, name, inp, out, flags):
        self.svc = svc
        self.name = name
        self.inp = inp
        self.out = out
        self.flags = flags
        self.req = None  # Record, "void" or "hand"
        self.res = None
        self.res_shape = None  # "void", "struct", "list", "view", "hand"
        self.req_elem = None
        self.res_elem = None
        self.ns = None


def read_ops(path):
    rows = []
    pat = re.compile(r"^\s*OPA?\(\s*(\w+)\s*,\s*(\w+)\s*,\s*(NO|OPT|REQ)\s*,\s*([NCM])\s*,\s*([\w|]+)")
    with open(path, encoding="utf-8") as fh:
        for line in fh:
            m = pat.match(line)
            if m:
                flags = set(m.group(5).split("|")) - {"0"}
                rows.append(Op(m.group(1), m.group(2), m.group(3), m.group(4), flags))
    return rows


def reserved_names(repo):
    names = set()
    for pattern in config.RESERVED_NAME_HEADERS:
        for path in sorted(glob.glob(os.path.join(repo, pattern))):
            with open(path, encoding="utf-8") as fh:
                text = fh.read()
            names.update(re.findall(r"\}\s*(\w+)\s*;", text))
            names.update(re.findall(r"typedef\s+struct\s+(\w+)", text))
            names.update(re.findall(r"typedef\s+[^;{}]*?\b(\w+)\s*;", text))
            names.update(re.findall(r"#define\s+(\w+)", text))
            names.update(re.findall(r"\b(ONVIF_\w+)\s*[=,]", text))
    return names


class Model:
    def __init__(self, schema, repo, ops_path):
        self.schema = schema
        self.repo = repo
        self.ops = read_ops(ops_path)
        self.records = {}  # key -> Record
        self.simple_cache = {}
        self.notes = []  # constructs mapped in a special way, for the report
        self.enum_map = {}  # simple type name -> converter pair name
        self.choice_ids = 0
        self.choice_alts = {}  # choice id -> number of alternatives
        self.reserved = reserved_names(repo)
        self.overrides = {}
        for key, (rec, node, header) in config.OVERRIDES.items():
            r = Record(key, None, None)
            r.cname, r.node, r.override = rec, node, (rec, node, header)
            r.done = True
            self.overrides[key] = r

    def note(self, text):
        if text not in self.notes:
            self.notes.append(text)

    # ---- simple types ------------------------------------------------------

    def simple(self, key):
        """Simple for a global type key (ns, local)."""
        if key in self.simple_cache:
            return self.simple_cache[key]
        if key[0] == XS:
            s = Simple()
            s.name = qname(*key)
            s.chain = [s.name]
            s.builtin = key[1]
        else:
            decl = self.schema.type(key)
            s = self.simple_decl(decl)
            s.name = qname(*key)
            s.chain.insert(0, s.name)
        self.simple_cache[key] = s
        return s

    def simple_decl(self, decl):
        """Simple for a simpleType declaration (its name is not set)."""
        s = Simple()
        r = decl.child("restriction")
        if r is not None:
            if r.get("base"):
                base = self.simple(r.resolve(r.get("base")))
            else:
                base = self.simple_decl(r.child("simpleType"))
            s.chain = list(base.chain)
            s.builtin = base.builtin
            s.item = base.item
            s.members = base.members
            s.facets = dict(base.facets)
            s.patterns = list(base.patterns)
            s.enums = base.enums
            values = []
            for f in r.children():
                if f.tag == "enumeration":
                    values.append(f.get("value"))
                elif f.tag == "pattern":
                    s.patterns.append(f.get("value"))
                elif f.tag in ("minInclusive", "maxInclusive", "minExclusive", "maxExclusive",
                               "minLength", "maxLength", "length", "totalDigits"):
                    s.facets[f.tag] = f.get("value")
            if values:
                s.enums = values
            return s
        l = decl.child("list")
        if l is not None:
            s.builtin = "list"
            if l.get("itemType"):
                s.item = self.simple(l.resolve(l.get("itemType")))
            else:
                s.item = self.simple_decl(l.child("simpleType"))
            return s
        u = decl.child("union")
        if u is not None:
            s.builtin = "union"
            for m in (u.get("memberTypes") or "").split():
                s.members.append(self.simple(u.resolve(m)))
            for st in u.children("simpleType"):
                s.members.append(self.simple_decl(st))
            return s
        raise GenError("%s: simpleType without content" % decl.doc.path)

    def enum_pair(self, s):
        """Converter pair for an enumeration, or None."""
        if not s.enums or s.builtin in ("list", "union"):
            return None
        values = set(s.enums)
        named = [n.partition(":")[2] for n in s.chain if not n.startswith("xs:")]
        for n in named:
            if n in config.ENUMS and values <= set(config.ENUMS[n]):
                return n
        for e in sorted(config.ENUMS, key=lambda e: (e in config.ENUM_ALIASES, e)):
            if set(config.ENUMS[e]) == values:
                return e
        return None

    # ---- content models ----------------------------------------------------

    def element_type(self, decl):
        """("simple", Simple) / ("complex", Decl) / ("anytype", None) of an element decl."""
        t = decl.get("type")
        if t:
            key = decl.resolve(t)
            if key == (XS, "anyType"):
                return "anytype", None
            if key[0] == XS:
                return "simple", self.simple(key)
            d = self.schema.type(key)
            if d.tag == "simpleType":
                return "simple", self.simple(key)
            return "complex", d
        ct = decl.child("complexType")
        if ct is not None:
            return "complex", ct
        st = decl.child("simpleType")
        if st is not None:
            s = self.simple_decl(st)
            return "simple", s
        return "anytype", None

    def content(self, ctype):
        """Flattened Content of a complexType declaration."""
        c = Content()
        c.mixed = ctype.get("mixed") == "true"
        self._content_into(ctype, c)
        return c

    def _content_into(self, ctype, c):
        for part in ctype.children():
            tag = part.tag
            if tag in ("sequence", "choice", "all", "group"):
                self._particles(part, c, 1, 1, ())
            elif tag in ("attribute", "attributeGroup", "anyAttribute"):
                self._attribute(part, c)
            elif tag == "complexContent":
                if part.get("mixed") == "true":
                    c.mixed = True
                der = part.child("extension")
                if der is None:
                    der = part.child("restriction")
                base = der.resolve(der.get("base"))
                if der.tag == "extension" and base != (XS, "anyType"):
                    bd = self.schema.type(base)
                    if bd.get("mixed") == "true":
                        c.mixed = True
                    self._content_into(bd, c)
                self._content_into(der, c)
            elif tag == "simpleContent":
                der = part.child("extension")
                if der is None:
                    der = part.child("restriction")
                base = der.resolve(der.get("base"))
                if base[0] == XS:
                    c.simple = self.simple(base)
                else:
                    bd = self.schema.type(base)
                    if bd.tag == "simpleType":
                        c.simple = self.simple(base)
                    else:
                        self._content_into(bd, c)
                if der.tag == "restriction" and der.child("simpleType") is not None:
                    c.simple = self.simple_decl(der.child("simpleType"))
                self._content_into(der, c)
            elif tag in ("annotation",):
                pass

    def _particles(self, group, c, pmin, pmax, choices):
        gmin = mul(pmin, occurs(group.get("minOccurs")))
        gmax = mul(pmax, occurs(group.get("maxOccurs")))
        if group.tag == "group":
            ref = self.schema.groups[group.resolve(group.get("ref"))]
            for g in ref.children():
                if g.tag in ("sequence", "choice", "all"):
                    self._particles(g, c, gmin, gmax, choices)
            return
        kids = [k for k in group.children() if k.tag != "annotation"]
        cid = None
        if group.tag == "choice":
            self.choice_ids += 1
            cid = self.choice_ids
            self.choice_alts[cid] = len(kids)
        for alt, k in enumerate(kids):
            ch = choices + ((cid, alt),) if cid is not None else choices
            kmin = gmin if cid is None or len(kids) == 1 else 0
            if k.tag in ("sequence", "choice", "all", "group"):
                self._particles(k, c, kmin, gmax, ch)
            elif k.tag == "element":
                emin = mul(kmin, occurs(k.get("minOccurs")))
                emax = mul(gmax, occurs(k.get("maxOccurs")))
                if k.get("ref"):
                    key = k.resolve(k.get("ref"))
                    decl = self.schema.element(key)
                    c.items.append(Particle("element", decl, key[1], key[0], emin, emax, ch))
                else:
                    c.items.append(Particle("element", k, k.get("name"), k.doc.tns, emin, emax,
                                            ch))
            elif k.tag == "any":
                emin = mul(kmin, occurs(k.get("minOccurs")))
                emax = mul(gmax, occurs(k.get("maxOccurs")))
                c.items.append(Particle("any", k, None, k.get("namespace") or "##any", emin,
                                        emax, ch))

    def _attribute(self, a, c):
        if a.tag == "anyAttribute":
            return
        if a.tag == "attributeGroup":
            g = self.schema.attribute_groups[a.resolve(a.get("ref"))]
            for x in g.children():
                self._attribute(x, c)
            return
        if a.get("use") == "prohibited":
            return
        required = a.get("use") == "required"
        if a.get("ref"):
            key = a.resolve(a.get("ref"))
            c.foreign_attrs.append(qname(*key))
            return
        if a.get("type"):
            s = self.simple(a.resolve(a.get("type")))
        elif a.child("simpleType") is not None:
            s = self.simple_decl(a.child("simpleType"))
        else:
            s = self.simple((XS, "anySimpleType"))
        c.attrs.append(Attr(a, a.get("name"), required, s))

    # ---- complex types to records -------------------------------------------

    def anon_key(self, ctype):
        """Key and local name of an anonymous complexType from its element path."""
        names = []
        d = ctype
        while d is not None:
            if d.tag in ("element", "complexType") and d.get("name"):
                names.append(d.get("name"))
                if d.tag == "complexType" or d.parent().tag == "schema":
                    break
            d = d.parent()
        names.reverse()
        ns = ctype.doc.tns
        key = "%s:%s" % (PREFIX_OF.get(ns, ns), "/".join(names))
        return key, ns, config.LOCAL_NAMES.get(key, "_".join(names))

    def type_key(self, ctype):
        if ctype.get("name"):
            ns = ctype.doc.tns
            return qname(ns, ctype.get("name")), ns, ctype.get("name")
        return self.anon_key(ctype)

    def classify(self, ctype):
        """How a complex type is held: ("record", Record) / ("simple", Simple) /
        ("binary",) / ("raw",) / ("text", Content) / ("extension-only",)."""
        key, ns, local = self.type_key(ctype)
        if key in self.overrides:
            return "record", self.overrides[key]
        if key in config.BINARY_TYPES:
            return ("binary",)
        c = self.content(ctype)
        els = c.elements()
        if c.simple is not None and not els:
            if not c.attrs:
                return "simple", c.simple
            return "record", self.record(ctype)
        if not els:
            if c.mixed:
                if not c.attrs:
                    return "simple", self.simple((XS, "string"))
                return "record", self.record(ctype)
            if not c.attrs and any(p.kind == "any" for p in c.items):
                return ("raw",)
            return "record", self.record(ctype)
        return "record", self.record(ctype)

    def shadow(self, ctype):
        """A record of the schema content of a type held by a hand-written
        record (the sample writer walks it)."""
        key, ns, local = self.type_key(ctype)
        r = Record(key, ns, local)
        self.fill(r, self.content(ctype), ctype)
        return r

    def record(self, ctype, key=None, ns=None, local=None):
        if key is None:
            key, ns, local = self.type_key(ctype)
        if key in self.overrides:
            return self.overrides[key]
        r = self.records.get(key)
        if r is not None:
            return r
        r = Record(key, ns, local)
        self.records[key] = r
        self.fill(r, self.content(ctype), ctype)
        return r

    def fill(self, r, c, ctype):
        if c.foreign_attrs:
            self.note("attributes of other vocabularies left out: %s in %s"
                      % (", ".join(sorted(set(c.foreign_attrs))), r.key))
        for p in c.items:
            if p.kind == "any":
                r.items.append(Skipped("any", p))
                continue
            f = self.element_field(r, p)
            if f is None:
                r.items.append(Skipped("extension", p))
                continue
            r.fields.append(f)
            r.items.append(f)
        if c.simple is not None and not c.elements():
            f = Field("", None)
            f.value = True
            self.simple_field(f, c.simple)
            r.fields.insert(0, f)
        elif c.mixed and not c.elements():
            f = Field("", None)
            f.value = True
            self.simple_field(f, self.simple((XS, "string")))
            r.fields.insert(0, f)
            self.note("mixed content held as text: %s" % r.key)
        for a in c.attrs:
            f = Field(a.name, None)
            f.attr = True
            f.optional = not a.required
            f.min = 1 if a.required else 0
            self.simple_field(f, a.simple)
            if f.kind in ("RAW", "BINARY"):
                f.kind, f.size, f.trim = "TEXT", 256, False
            r.fields.append(f)
        r.done = True
        if not r.fields:
            r.empty = True

    def simple_field(self, f, s):
        f.simple = s
        b = s.builtin
        pair = self.enum_pair(s)
        if pair:
            f.kind, f.enum = "ENUM", pair
            if s.name:
                self.enum_map[s.name] = pair
            return
        if b == "list":
            f.kind, f.size, f.trim = "TEXT", config.LIST_TEXT_SIZE, True
            return
        if b == "union":
            f.kind, f.size, f.trim = "TEXT", config.UNION_TEXT_SIZE, True
            self.note("union types held as text: %s" % (s.name or "anonymous"))
            return
        if s.enums:
            f.kind, f.size, f.trim = "TEXT", config.ENUM_TEXT_SIZE, True
            return
        if b in INT_BUILTINS:
            f.kind = "INT"
        elif b in UINT_BUILTINS:
            f.kind = "UINT"
        elif b in INT64_BUILTINS:
            f.kind = "INT64"
        elif b == "boolean":
            f.kind = "BOOL"
        elif b == "float":
            f.kind = "FLOAT"
        elif b in ("double", "decimal"):
            f.kind = "DOUBLE"
        elif b == "duration":
            f.kind = "DURATION"
        elif b == "dateTime":
            f.kind = "DATETIME"
        elif b == "base64Binary" or any(n in config.BINARY_TYPES for n in s.chain[:-1]):
            f.kind = "BINARY"
        else:
            f.kind = "TEXT"
            f.trim = b in TOKEN_BUILTINS or any(n in config.TRIMMED_TYPES for n in s.chain)
            f.size = None
            for n in s.chain:
                if n in config.TEXT_SIZES:
                    f.size = config.TEXT_SIZES[n]
                    break
            if f.size is None:
                raise GenError("no text size for %s" % s.chain)

    def element_field(self, r, p):
        f = Field(p.name, p.ns)
        f.min, f.max, f.choices = p.min, p.max, p.choices
        f.optional = p.min == 0
        what, t = self.element_type(p.decl)
        f.decl = p.decl
        if what == "complex":
            f.ctype = t
        repeated = p.max is None or p.max > 1
        if what == "anytype":
            f.kind = "RAW"
        elif what == "simple":
            self.simple_field(f, t)
        else:
            cls = self.classify(t)
            if cls[0] == "record":
                f.kind, f.rec = "CHILD", cls[1]
            elif cls[0] == "simple":
                self.simple_field(f, cls[1])
            elif cls[0] == "binary":
                f.kind = "BINARY"
            elif cls[0] == "raw":
                if p.name == "Extension":
                    return None
                f.kind = "RAW"
            if f.kind == "CHILD" and p.name == "Extension" and f.rec.empty:
                return None
        if f.kind == "RAW" and what == "complex":
            self.note("element content of xs:any held as raw XML: %s/%s" % (r.key, p.name))
        if repeated:
            if f.kind == "CHILD":
                f.rep = "list"
                f.cap = 0 if p.max is None or p.max > 1000 else p.max
            elif f.kind in ("RAW", "BINARY"):
                self.note("repeated %s member keeps its first entry only: %s/%s"
                          % (f.kind.lower(), r.key, p.name))
            else:
                f.rep = "array"
                f.cap = config.ARRAY_CAP if p.max is None else min(p.max, config.ARRAY_CAP)
        return f

    # ---- operations ----------------------------------------------------------

    def op_namespace(self, op):
        if "F_WSNT" in op.flags:
            return config.WSNT[0]
        if "F_TDS" in op.flags:
            return config.SERVICES["tds"][0]
        return config.SERVICES[op.svc][0]

    def build(self):
        for svc, (ns, path) in sorted(config.SERVICES.items()):
            self.schema.load(path)
        self.schema.load(config.WSNT[1])
        for op in self.ops:
            if op.svc not in config.SERVICES:
                raise GenError("unknown service prefix %s" % op.svc)
            ns = self.op_namespace(op)
            op.ns = ns
            hand = config.HAND_MADE.get((op.svc, op.name))
            op.req_elem = self.schema.element((ns, op.name))
            op.res_elem = self.schema.element((ns, op.name + "Response"))
            for side, decl in (("REQ", op.req_elem), ("RES", op.res_elem)):
                if hand in ("both", side.lower()):
                    setattr(op, side.lower(), "hand")
                    continue
                what, t = self.element_type(decl)
                if what != "complex":
                    raise GenError("%s %s: element is not of a complex type" % (op.svc, op.name))
                r = Record("op:%s:%s:%s" % (op.svc, op.name, side), ns, decl.get("name"))
                r.op = (op.svc, op.name, side)
                r.cname = "%s_%s_%s" % (op.svc, op.name, side)
                self.fill(r, self.content(t), t)
                setattr(op, side.lower(), "void" if r.empty else r)
            if op.res == "hand":
                op.res_shape = "hand"
            elif op.res == "void":
                op.res_shape = "void"
            else:
                fs = op.res.fields
                if len(fs) == 1 and fs[0].kind == "CHILD" and not fs[0].attr:
                    op.res_shape = "list" if fs[0].rep == "list" else "view"
                else:
                    op.res_shape = "struct"
        self.check_rows()
        self.finish()

    def check_rows(self):
        """Disagreements between the table's in/out columns and the schema."""
        for op in self.ops:
            name = "%s %s" % (op.svc, op.name)
            if op.req == "void" and op.inp != "NO":
                self.note("table says %s takes input (%s) but its request element is empty"
                          % (name, op.inp))
            if op.req not in ("void", "hand") and op.inp == "NO":
                self.note("table says %s takes no input but its request element has children"
                          % name)
            if op.res == "void" and op.out != "N":
                self.note("table says %s has output but its response element is empty" % name)
            if op.res not in ("void", "hand") and op.out == "N":
                self.note("table says %s has no output but its response element has children"
                          % name)

    def op_records(self):
        out = []
        for op in self.ops:
            for r in (op.req, op.res):
                if isinstance(r, Record):
                    out.append(r)
        return out

    def finish(self):
        roots = self.op_records()
        # Recursion: an inline member that leads back to a record being laid
        # out becomes a list of at most one node.
        state = {}
        order = []

        def visit(r):
            state[r.key] = 1
            for f in r.fields:
                if f.kind != "CHILD" or f.rec.override:
                    continue
                if f.rep is None and state.get(f.rec.key) == 1:
                    f.rep, f.cap, f.recursive = "list", 1, True
                    self.note("recursive member held as a list: %s/%s" % (r.key, f.xml))
                    continue
                if f.rep is None and f.rec.key not in state:
                    visit(f.rec)
            state[r.key] = 2
            order.append(r)

        for r in roots:
            if r.key not in state:
                visit(r)
        # Every record reached through lists too, in an order where inline
        # members come first.
        seen = set(r.key for r in order)
        queue = list(order)
        while queue:
            r = queue.pop(0)
            for f in r.fields:
                if f.kind == "CHILD" and not f.rec.override and f.rec.key not in seen:
                    before = len(order)
                    visit(f.rec)
                    for x in order[before:]:
                        seen.add(x.key)
                        queue.append(x)
        self.order = order
        # Services that use each record.
        for op in self.ops:
            for r in (op.req, op.res):
                if isinstance(r, Record):
                    self._mark(r, op.svc, set())
        self.name_records()
        for r in order:
            self.name_members(r)
            for f in r.fields:
                f.size = config.MEMBER_SIZES.get((r.cname, f.cname), f.size)
                if f.rep == "array":
                    f.cap = config.MEMBER_ARRAY_CAPS.get((r.cname, f.cname), f.cap)

    def _mark(self, r, svc, seen):
        if r.key in seen:
            return
        seen.add(r.key)
        r.services.add(svc)
        for f in r.fields:
            if f.kind == "CHILD" and not f.rec.override:
                self._mark(f.rec, svc, seen)

    def name_records(self):
        plain = [r for r in self.order if r.op is None]
        groups = {}
        for r in plain:
            groups.setdefault(upper_snake(r.local), []).append(r)
        taken = set(self.reserved)
        for base in sorted(groups):
            rs = sorted(groups[base], key=lambda r: r.key)
            name = "ONVIF_" + base
            tt = [r for r in rs if r.ns == URI_OF["tt"]]
            if len(rs) == 1 and name not in taken:
                rs[0].cname = name
                taken.add(name)
                continue
            for r in rs:
                if len(tt) == 1 and r is tt[0] and name not in taken:
                    r.cname = name
                    continue
                r.cname = "ONVIF_%s_%s" % (PREFIX_OF[r.ns].upper(), base)
            for r in rs:
                n, i = r.cname, 2
                while n in taken:
                    n = "%s_%d" % (r.cname, i)
                    i += 1
                r.cname = n
                taken.add(n)
            if len(rs) > 1 or name in self.reserved:
                self.note("name collision %s: %s" % (name, ", ".join(
                    "%s -> %s" % (r.key, r.cname) for r in rs)))
        # List node types, for the records some list holds.
        used = set()
        for r in self.order:
            for f in r.fields:
                if f.kind == "CHILD" and f.rep == "list" and not f.rec.override:
                    used.add(f.rec.key)
        for r in plain:
            if r.key not in used:
                continue
            prefixed = r.cname != "ONVIF_" + upper_snake(r.local)
            node = ("%s_%sList" % (PREFIX_OF[r.ns], r.local)) if prefixed else r.local + "List"
            if node in taken:
                node = "%s_%sList" % (PREFIX_OF[r.ns], r.local)
                self.note("list node name taken, prefixed: %s" % node)
            r.node = node
            taken.add(node)

    def name_members(self, r):
        used = set()
        optional = [f for f in r.fields if f.optional and f.rep is None]
        words = (len(optional) + 31) // 32
        r.flag_words = words
        for i in range(words):
            used.add("flags" if i == 0 else "flags%d" % (i + 1))
        for f in r.fields:
            base = "value" if f.value else lower_snake(f.xml)
            if not re.match(r"^[a-z_]", base):
                base = "_" + base
            n = base
            while (n in KEYWORDS or n in used
                   or (f.rep == "array" and n + "_count" in used)):
                n += "_"
            if n != base and not f.value:
                self.note("member renamed: %s.%s -> %s" % (r.key, f.xml, n))
            f.cname = n
            used.add(n)
            if f.rep == "array":
                used.add(n + "_count")
        for i, f in enumerate(optional):
            f.bit = i
