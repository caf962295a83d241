// Small XML helpers of the simulator: a bounded reader that turns a request
// into a tree of elements (namespace URI + local name), and a writer that
// serialises reply trees with a choice of namespace prefixes and layout.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace camsim
{

// Namespace URIs used by the replies.
enum Ns {
    NS_NONE = 0,
    NS_SOAP,  // SOAP 1.2 envelope
    NS_TDS,   // device service
    NS_TT,    // ONVIF schema
    NS_TER,   // ONVIF error codes
    NS_TEV,   // events
    NS_TRT,   // media
    NS_TIMG,  // imaging
    NS_TPTZ,  // PTZ
    NS_TMD,   // device IO
    NS_WSA04, // WS-Addressing 2004/08 (discovery)
    NS_WSD,   // WS-Discovery 2005/04
    NS_DN,    // ONVIF network WSDL (discovery types)
    NS_WSNT,  // WS-BaseNotification
    NS_WSA,   // WS-Addressing 2005/08 (events)
    NS_CSIM,  // the simulator's own reference parameters
    NS_CST,   // the simulator's own state elements (e.g. a relay's logical state)
    NS_XOP,   // XOP include (MTOM attachments)
    NS_XMIME, // xmime:contentType
    NS_TRC,   // recording
    NS_TRP,   // replay
    NS_TSE,   // search
    NS_TAN,   // analytics
    NS_TTH,   // thermal
    NS_TRV,   // receiver
    NS_TPV,   // provisioning
    NS_TR2,   // media 2
    NS_TAC,   // access control
    NS_TDC,   // door control
    NS_TCR,   // credential
    NS_TAR,   // access rules
    NS_TSC,   // schedule
    NS_PT,    // types shared by the access-control services
    NS_COUNT
};

const char *nsUri(int ns);
const char *nsStdPrefix(int ns);

// ---- reading -------------------------------------------------------------

struct XNode {
    QString ns;
    QString name;                                   // local name
    std::vector<std::pair<QString, QString>> attrs; // local name -> value
    QString text;                                   // concatenated direct character data, trimmed
    std::vector<XNode> kids;

    const XNode *child(const QString &local) const;
    std::vector<const XNode *> childrenNamed(const QString &local) const;
    QString childText(const QString &local) const; // "" when absent
    QString attr(const QString &local) const;
    bool has(const QString &local) const { return child(local) != nullptr; }
};

// Parses one document. Refuses DTDs, more than maxDepth levels or maxNodes
// elements. Returns false with a reason in err.
bool parseXml(const QByteArray &data, XNode &root, QString &err, int maxDepth = 64,
              int maxNodes = 20000);

// ---- writing -------------------------------------------------------------

struct El {
    int ns = NS_NONE;
    QString name;
    std::vector<std::pair<QString, QString>> attrs;
    QString text;
    int textQNameNs = NS_NONE; // when set, text is a local name in that namespace
    std::vector<El> kids;

    El() = default;
    El(int n, const QString &nm) : ns(n), name(nm) {}
    El(int n, const QString &nm, const QString &t) : ns(n), name(nm), text(t) {}
    El &add(const El &e)
    {
        kids.push_back(e);
        return kids.back();
    }
    El &add(int n, const QString &nm) { return add(El(n, nm)); }
    El &add(int n, const QString &nm, const QString &t) { return add(El(n, nm, t)); }
    El &attr(const QString &n, const QString &v)
    {
        attrs.emplace_back(n, v);
        return *this;
    }
};

enum PrefixStyle { PREFIX_STANDARD, PREFIX_NUMBERED, PREFIX_NONE };

struct WriteOpts {
    QString envPrefix = QStringLiteral("s"); // "" = default namespace
    PrefixStyle style = PREFIX_STANDARD;
    bool pretty = false;
    // extra declarations on the root (prefix, uri), e.g. for QNames in text
    std::vector<std::pair<QString, QString>> extraDecls;
};

QByteArray writeXml(const El &root, const WriteOpts &o);
QString xmlEscape(const QString &s);

} // namespace camsim
