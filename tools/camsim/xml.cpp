#include "xml.h"

#include <QXmlStreamReader>
#include <map>
#include <set>

namespace camsim
{

namespace
{
struct NsInfo {
    const char *uri;
    const char *prefix;
};
const NsInfo kNs[NS_COUNT] = {
    {"", ""},
    {"http://www.w3.org/2003/05/soap-envelope", "s"},
    {"http://www.onvif.org/ver10/device/wsdl", "tds"},
    {"http://www.onvif.org/ver10/schema", "tt"},
    {"http://www.onvif.org/ver10/error", "ter"},
    {"http://www.onvif.org/ver10/events/wsdl", "tev"},
    {"http://www.onvif.org/ver10/media/wsdl", "trt"},
    {"http://www.onvif.org/ver20/imaging/wsdl", "timg"},
    {"http://www.onvif.org/ver20/ptz/wsdl", "tptz"},
    {"http://www.onvif.org/ver10/deviceIO/wsdl", "tmd"},
    {"http://schemas.xmlsoap.org/ws/2004/08/addressing", "wsa"},
    {"http://schemas.xmlsoap.org/ws/2005/04/discovery", "d"},
    {"http://www.onvif.org/ver10/network/wsdl", "dn"},
    {"http://docs.oasis-open.org/wsn/b-2", "wsnt"},
    {"http://www.w3.org/2005/08/addressing", "wsa"},
    {"http://camsim.invalid/subscription", "csim"},
    {"http://camsim.invalid/state", "cst"},
    {"http://www.w3.org/2004/08/xop/include", "xop"},
    {"http://www.w3.org/2005/05/xmlmime", "xmime"},
    {"http://www.onvif.org/ver10/recording/wsdl", "trc"},
    {"http://www.onvif.org/ver10/replay/wsdl", "trp"},
    {"http://www.onvif.org/ver10/search/wsdl", "tse"},
    {"http://www.onvif.org/ver20/analytics/wsdl", "tan"},
    {"http://www.onvif.org/ver10/thermal/wsdl", "tth"},
    {"http://www.onvif.org/ver10/receiver/wsdl", "trv"},
    {"http://www.onvif.org/ver10/provisioning/wsdl", "tpv"},
    {"http://www.onvif.org/ver20/media/wsdl", "tr2"},
    {"http://www.onvif.org/ver10/accesscontrol/wsdl", "tac"},
    {"http://www.onvif.org/ver10/doorcontrol/wsdl", "tdc"},
    {"http://www.onvif.org/ver10/credential/wsdl", "tcr"},
    {"http://www.onvif.org/ver10/accessrules/wsdl", "tar"},
    {"http://www.onvif.org/ver10/schedule/wsdl", "tsc"},
    {"http://www.onvif.org/ver10/pacs", "pt"},
};
} // namespace

const char *nsUri(int ns)
{
    return (ns >= 0 && ns < NS_COUNT) ? kNs[ns].uri : "";
}
const char *nsStdPrefix(int ns)
{
    return (ns >= 0 && ns < NS_COUNT) ? kNs[ns].prefix : "";
}

// ---- reading -------------------------------------------------------------

const XNode *XNode::child(const QString &local) const
{
    for (const XNode &k : kids)
        if (k.name == local) return &k;
    return nullptr;
}

std::vector<const XNode *> XNode::childrenNamed(const QString &local) const
{
    std::vector<const XNode *> out;
    for (const XNode &k : kids)
        if (k.name == local) out.push_back(&k);
    return out;
}

QString XNode::childText(const QString &local) const
{
    const XNode *c = child(local);
    return c ? c->text : QString();
}

QString XNode::attr(const QString &local) const
{
    for (const auto &a : attrs)
        if (a.first == local) return a.second;
    return QString();
}

bool parseXml(const QByteArray &data, XNode &root, QString &err, int maxDepth, int maxNodes)
{
    QXmlStreamReader r(data);
    std::vector<XNode *> stack;
    int nodes = 0;
    bool haveRoot = false;
    root = XNode();
    while (!r.atEnd()) {
        QXmlStreamReader::TokenType t = r.readNext();
        switch (t) {
        case QXmlStreamReader::DTD:
            err = QStringLiteral("DTD not allowed");
            return false;
        case QXmlStreamReader::StartElement: {
            if (++nodes > maxNodes) {
                err = QStringLiteral("too many elements");
                return false;
            }
            if (int(stack.size()) >= maxDepth) {
                err = QStringLiteral("nested too deeply");
                return false;
            }
            XNode *n;
            if (stack.empty()) {
                if (haveRoot) {
                    err = QStringLiteral("more than one root");
                    return false;
                }
                haveRoot = true;
                n = &root;
            } else {
                stack.back()->kids.emplace_back();
                n = &stack.back()->kids.back();
            }
            n->ns = r.namespaceUri().toString();
            n->name = r.name().toString();
            for (const QXmlStreamAttribute &a : r.attributes())
                n->attrs.emplace_back(a.name().toString(), a.value().toString());
            stack.push_back(n);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!stack.empty()) {
                stack.back()->text = stack.back()->text.trimmed();
                stack.pop_back();
            }
            break;
        case QXmlStreamReader::Characters:
            if (!stack.empty()) stack.back()->text += r.text();
            break;
        default:
            break;
        }
    }
    if (r.hasError()) {
        err = r.errorString();
        return false;
    }
    if (!haveRoot) {
        err = QStringLiteral("no root element");
        return false;
    }
    return true;
}

// ---- writing -------------------------------------------------------------

QString xmlEscape(const QString &s)
{
    QString o;
    o.reserve(s.size());
    for (QChar c : s) {
        switch (c.unicode()) {
        case '&':
            o += QLatin1String("&amp;");
            break;
        case '<':
            o += QLatin1String("&lt;");
            break;
        case '>':
            o += QLatin1String("&gt;");
            break;
        case '"':
            o += QLatin1String("&quot;");
            break;
        case '\'':
            o += QLatin1String("&apos;");
            break;
        default:
            // control characters other than tab/newline are not allowed in XML 1.0
            if (c.unicode() < 0x20 && c != '\t' && c != '\n' && c != '\r')
                o += QLatin1Char('?');
            else
                o += c;
        }
    }
    return o;
}

namespace
{

struct Writer {
    const WriteOpts &o;
    std::map<int, QString> elPfx; // prefix of element names ("" = default namespace)
    std::map<int, QString> qPfx;  // prefix of QName texts
    std::vector<int> order;       // namespaces in order of first use
    QString out;

    explicit Writer(const WriteOpts &opts) : o(opts) {}

    void collect(const El &e)
    {
        if (e.ns != NS_NONE && !elPfx.count(e.ns)) {
            elPfx[e.ns] = QString();
            order.push_back(e.ns);
        }
        if (e.textQNameNs != NS_NONE && !qPfx.count(e.textQNameNs)) qPfx[e.textQNameNs] = QString();
        for (const El &k : e.kids)
            collect(k);
    }

    void assign()
    {
        int n = 1;
        for (int ns : order) {
            if (ns == NS_SOAP)
                elPfx[ns] = o.envPrefix;
            else if (o.style == PREFIX_STANDARD)
                elPfx[ns] = QString::fromLatin1(nsStdPrefix(ns));
            else if (o.style == PREFIX_NUMBERED)
                elPfx[ns] = QStringLiteral("ns%1").arg(n++);
            else
                elPfx[ns] = QString();
        }
        for (auto &q : qPfx) {
            auto it = elPfx.find(q.first);
            if (it != elPfx.end() && !it->second.isEmpty())
                q.second = it->second;
            else if (q.first == NS_SOAP)
                q.second = o.envPrefix;
            else
                q.second = QString::fromLatin1(nsStdPrefix(q.first));
        }
    }

    void indent(int depth)
    {
        if (!o.pretty) return;
        if (!out.isEmpty()) out += QLatin1Char('\n');
        out += QString(depth * 2, QLatin1Char(' '));
    }

    QString qname(int ns, const QString &name) const
    {
        auto it = elPfx.find(ns);
        if (it == elPfx.end() || it->second.isEmpty()) return name;
        return it->second + QLatin1Char(':') + name;
    }

    void write(const El &e, int depth, int curDefault)
    {
        indent(depth);
        QString tag = qname(e.ns, e.name);
        out += QLatin1Char('<') + tag;
        int childDefault = curDefault;
        auto it = elPfx.find(e.ns);
        bool isDefault = e.ns != NS_NONE && (it == elPfx.end() || it->second.isEmpty());
        if (isDefault && e.ns != curDefault) {
            out += QStringLiteral(" xmlns=\"%1\"").arg(QLatin1String(nsUri(e.ns)));
            childDefault = e.ns;
        }
        if (depth == 0) {
            std::set<QString> declared;
            auto decl = [&](const QString &p, const QString &uri) {
                if (p.isEmpty() || declared.count(p)) return;
                declared.insert(p);
                out += QStringLiteral(" xmlns:%1=\"%2\"").arg(p, xmlEscape(uri));
            };
            for (int ns : order)
                decl(elPfx[ns], QLatin1String(nsUri(ns)));
            for (const auto &q : qPfx)
                decl(q.second, QLatin1String(nsUri(q.first)));
            for (const auto &x : o.extraDecls)
                decl(x.first, x.second);
        }
        for (const auto &a : e.attrs)
            out += QStringLiteral(" %1=\"%2\"").arg(a.first, xmlEscape(a.second));
        QString text = e.text;
        if (e.textQNameNs != NS_NONE) {
            QString p = qPfx[e.textQNameNs];
            if (!p.isEmpty()) text = p + QLatin1Char(':') + e.text;
        }
        if (e.kids.empty() && text.isEmpty()) {
            out += QLatin1String("/>");
            return;
        }
        out += QLatin1Char('>');
        out += xmlEscape(text);
        for (const El &k : e.kids)
            write(k, depth + 1, childDefault);
        if (!e.kids.empty()) indent(depth);
        out += QLatin1String("</") + tag + QLatin1Char('>');
    }
};

} // namespace

QByteArray writeXml(const El &root, const WriteOpts &o)
{
    Writer w(o);
    w.collect(root);
    w.assign();
    w.out = QString();
    QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    w.write(root, 0, NS_NONE);
    QString all = head + (o.pretty ? QStringLiteral("\n") : QString()) + w.out;
    if (o.pretty) all += QLatin1Char('\n');
    return all.toUtf8();
}

} // namespace camsim
