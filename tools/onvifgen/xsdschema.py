"""Loading the ONVIF XSD files: declarations indexed by qualified name, with
the namespace scope of every schema element kept for QName resolution.

Only what the record generator needs is modelled: global complex and
simple types, elements and attributes; local declarations are reached
through their parents. Imports and includes are followed from the service
schemas, absolute locations through the set's XML catalog.
"""

import os
import xml.etree.ElementTree as ET

XS = "http://www.w3.org/2001/XMLSchema"
CATALOG_NS = "urn:oasis:names:tc:entity:xmlns:xml:catalog"


def xs(tag):
    return "{%s}%s" % (XS, tag)


class SchemaError(Exception):
    pass


class Doc:
    """One schema document."""

    def __init__(self, path, root, scopes, parents):
        self.path = path
        self.root = root
        self.tns = root.get("targetNamespace")
        self.scopes = scopes  # element -> {prefix: uri}
        self.parents = parents  # element -> parent element

    def resolve(self, elem, qname):
        """(namespace, local) of a QName written in the attribute of elem."""
        prefix, _, local = qname.rpartition(":")
        scope = self.scopes.get(elem, {})
        if prefix:
            if prefix not in scope:
                raise SchemaError("%s: unknown prefix in %s" % (self.path, qname))
            return scope[prefix], local
        return scope.get("", None), local


class Decl:
    """A declaration together with the document it lives in."""

    __slots__ = ("doc", "elem")

    def __init__(self, doc, elem):
        self.doc = doc
        self.elem = elem

    def __eq__(self, other):
        return isinstance(other, Decl) and self.elem is other.elem

    def __hash__(self):
        return id(self.elem)

    def get(self, name, default=None):
        return self.elem.get(name, default)

    def children(self, tag=None):
        for c in self.elem:
            if not isinstance(c.tag, str):
                continue
            if tag is None or c.tag == xs(tag):
                yield Decl(self.doc, c)

    def child(self, tag):
        for c in self.children(tag):
            return c
        return None

    @property
    def tag(self):
        return self.elem.tag.rpartition("}")[2]

    def parent(self):
        p = self.doc.parents.get(self.elem)
        return Decl(self.doc, p) if p is not None else None

    def resolve(self, qname):
        return self.doc.resolve(self.elem, qname)


def _parse(path):
    scopes, parents = {}, {}
    stack = []
    pending = {}
    root = None
    for event, item in ET.iterparse(path, events=("start-ns", "start", "end")):
        if event == "start-ns":
            prefix, uri = item
            pending[prefix or ""] = uri
        elif event == "start":
            scope = dict(scopes[stack[-1]]) if stack else {}
            scope.update(pending)
            pending = {}
            scopes[item] = scope
            if stack:
                parents[item] = stack[-1]
            else:
                root = item
            stack.append(item)
        else:
            stack.pop()
    return Doc(path, root, scopes, parents)


class Schema:
    """Every schema document reachable from the entry documents."""

    def __init__(self, root_dir):
        self.root_dir = root_dir
        self.catalog = self._load_catalog()
        self.docs = {}
        self.types = {}
        self.elements = {}
        self.attributes = {}
        self.groups = {}
        self.attribute_groups = {}

    def _load_catalog(self):
        path = os.path.join(self.root_dir, "catalog.xml")
        cat = {}
        if not os.path.exists(path):
            return cat
        for e in ET.parse(path).getroot():
            if e.tag == "{%s}uri" % CATALOG_NS:
                cat[e.get("name")] = os.path.join(self.root_dir, e.get("uri"))
            elif e.tag == "{%s}system" % CATALOG_NS:
                cat.setdefault(e.get("systemId"), os.path.join(self.root_dir, e.get("uri")))
        return cat

    def load(self, rel_path):
        self._load(os.path.normpath(os.path.join(self.root_dir, rel_path)))

    def _locate(self, base, location):
        if "://" in location:
            if location not in self.catalog:
                raise SchemaError("%s: no local copy of %s" % (base, location))
            return os.path.normpath(self.catalog[location])
        return os.path.normpath(os.path.join(os.path.dirname(base), location))

    def _load(self, path):
        if path in self.docs:
            return
        doc = _parse(path)
        self.docs[path] = doc
        tns = doc.tns
        for top in doc.root:
            if not isinstance(top.tag, str):
                continue
            tag = top.tag
            name = top.get("name")
            if tag in (xs("import"), xs("include")):
                loc = top.get("schemaLocation")
                if loc:
                    self._load(self._locate(path, loc))
                continue
            table = {
                xs("complexType"): self.types,
                xs("simpleType"): self.types,
                xs("element"): self.elements,
                xs("attribute"): self.attributes,
                xs("group"): self.groups,
                xs("attributeGroup"): self.attribute_groups,
            }.get(tag)
            if table is not None and name:
                table.setdefault((tns, name), Decl(doc, top))

    # ---- lookups ---------------------------------------------------------

    def type(self, key):
        d = self.types.get(key)
        if d is None and key[0] != XS:
            raise SchemaError("type {%s}%s not found" % key)
        return d

    def element(self, key):
        d = self.elements.get(key)
        if d is None:
            raise SchemaError("element {%s}%s not found" % key)
        return d

    def attribute(self, key):
        d = self.attributes.get(key)
        if d is None:
            raise SchemaError("attribute {%s}%s not found" % key)
        return d
