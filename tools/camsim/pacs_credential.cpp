// Credentials: their state (enabled, antipassback), their identifiers (one
// per identifier type) and the access profiles they grant. Every change is
// checked on a copy of the record and taken over only when it is valid, so a
// refused request changes nothing.
#include <algorithm>

#include "device_service.h"
#include "pacs_service.h"

namespace camsim
{

namespace
{

using P = PacsService;

struct FormatType {
    const char *identifierType, *format, *description;
};

const FormatType kFormatTypes[] = {
    {"pt:Card", "WIEGAND26", "Standard 26 bit Wiegand card number with facility code"},
    {"pt:Card", "WIEGAND37", "37 bit Wiegand card number"},
    {"pt:Card", "GUID", "16-byte card identifier"},
    {"pt:PIN", "SIMPLE_NUMBER16", "PIN of up to 16 digits, ASCII"},
};

// The credential a request names in `element`; null with the fault set.
PacsItem *credentialOf(Camera &cam, SoapCall &call, const char *element)
{
    QString token = call.in.childText(QLatin1String(element));
    PacsItem *c = P::find(cam, PK_CREDENTIAL, token);
    if (!c) P::notFound(cam, call, token);
    return c;
}

// The children of a record with that name whose `field` child (in
// `sub`, when given) has the text `key`, removed; how many were.
int removeKeyed(El &rec, const QString &name, const QString &sub, const QString &field,
                const QString &key)
{
    int before = int(rec.kids.size());
    rec.kids.erase(std::remove_if(rec.kids.begin(), rec.kids.end(),
                                  [&](const El &c) {
                                      if (c.name != name) return false;
                                      const El *holder = sub.isEmpty() ? &c : P::childEl(c, sub);
                                      return holder && P::childText(*holder, field) == key;
                                  }),
                   rec.kids.end());
    return before - int(rec.kids.size());
}

// Takes a changed credential record over when it is valid.
bool commit(Camera &cam, SoapCall &call, PacsItem *c, El &rec)
{
    P::sortChildren(rec, PK_CREDENTIAL);
    if (!P::checkRefs(cam, call, PK_CREDENTIAL, rec)) return false;
    c->rec = rec;
    return P::done(call);
}

// Copies the children of one name into the reply.
bool listChildren(SoapCall &call, const PacsItem *c, const QString &name)
{
    El &out = P::reply(call);
    for (const El &k : c->rec.kids)
        if (k.name == name) out.add(k);
    return true;
}

} // namespace

bool PacsService::credentialState(Camera &cam, SoapCall &call)
{
    const PacsItem *c = credentialOf(cam, call, "Token");
    if (!c) return false;
    El st(NS_TCR, QStringLiteral("State"));
    st.add(NS_TCR, QStringLiteral("Enabled"), boolText(c->enabled));
    if (!c->reason.isEmpty()) st.add(NS_TCR, QStringLiteral("Reason"), c->reason);
    st.add(NS_TCR, QStringLiteral("AntipassbackState"))
        .add(NS_TCR, QStringLiteral("AntipassbackViolated"), boolText(c->antipassback));
    reply(call).add(st);
    return true;
}

// EnableCredential and DisableCredential, with an optional reason.
bool PacsService::enableCredential(Camera &cam, SoapCall &call)
{
    PacsItem *c = credentialOf(cam, call, "Token");
    if (!c) return false;
    c->enabled = call.in.name == QLatin1String("EnableCredential");
    c->reason = call.in.childText(QStringLiteral("Reason"));
    return done(call);
}

bool PacsService::resetAntipassback(Camera &cam, SoapCall &call)
{
    PacsItem *c = credentialOf(cam, call, "CredentialToken");
    if (!c) return false;
    c->antipassback = false;
    return done(call);
}

bool PacsService::supportedFormatTypes(Camera &cam, SoapCall &call)
{
    QString type = call.in.childText(QStringLiteral("CredentialIdentifierTypeName"));
    std::vector<El> found;
    for (const FormatType &f : kFormatTypes) {
        if (type != QLatin1String(f.identifierType)) continue;
        El info(NS_TCR, QStringLiteral("FormatTypeInfo"));
        info.add(NS_TCR, QStringLiteral("FormatType"), QLatin1String(f.format));
        info.add(NS_TCR, QStringLiteral("Description"), QLatin1String(f.description));
        found.push_back(info);
    }
    if (found.empty())
        return badArg(cam, call, QStringLiteral("ter:NotSupported"),
                      QStringLiteral("unknown identifier type: ") + type);
    El &out = reply(call);
    for (const El &e : found)
        out.add(e);
    return true;
}

bool PacsService::credentialIdentifiers(Camera &cam, SoapCall &call)
{
    const PacsItem *c = credentialOf(cam, call, "CredentialToken");
    return c && listChildren(call, c, QStringLiteral("CredentialIdentifier"));
}

// Replaces the identifier of the same type, or adds one.
bool PacsService::setCredentialIdentifier(Camera &cam, SoapCall &call)
{
    PacsItem *c = credentialOf(cam, call, "CredentialToken");
    if (!c) return false;
    const XNode *in = call.in.child(QStringLiteral("CredentialIdentifier"));
    if (!in) return badArg(cam, call, QString(), QStringLiteral("no CredentialIdentifier"));
    El id = toEl(*in);
    const El *type = childEl(id, QStringLiteral("Type"));
    if (!type || childText(id, QStringLiteral("Value")).isEmpty())
        return badArg(cam, call, QString(), QStringLiteral("an identifier needs Type and Value"));
    El rec = c->rec;
    removeKeyed(rec, id.name, QStringLiteral("Type"), QStringLiteral("Name"),
                childText(*type, QStringLiteral("Name")));
    rec.kids.push_back(id);
    return commit(cam, call, c, rec);
}

// A credential keeps at least one identifier.
bool PacsService::deleteCredentialIdentifier(Camera &cam, SoapCall &call)
{
    PacsItem *c = credentialOf(cam, call, "CredentialToken");
    if (!c) return false;
    QString type = call.in.childText(QStringLiteral("CredentialIdentifierTypeName"));
    El rec = c->rec;
    if (!removeKeyed(rec, QStringLiteral("CredentialIdentifier"), QStringLiteral("Type"),
                     QStringLiteral("Name"), type))
        return badArg(cam, call, QStringLiteral("ter:NotFound"),
                      QStringLiteral("no identifier of type ") + type);
    if (!childEl(rec, QStringLiteral("CredentialIdentifier")))
        return sender(cam, call,
                      {QStringLiteral("ter:ConstraintViolated"),
                       QStringLiteral("ter:MinIdentifiersPerCredential")},
                      QStringLiteral("a credential keeps at least one identifier"));
    return commit(cam, call, c, rec);
}

bool PacsService::credentialAccessProfiles(Camera &cam, SoapCall &call)
{
    const PacsItem *c = credentialOf(cam, call, "CredentialToken");
    return c && listChildren(call, c, QStringLiteral("CredentialAccessProfile"));
}

// Each access profile replaces the entry of the same profile, or is added.
bool PacsService::setCredentialAccessProfiles(Camera &cam, SoapCall &call)
{
    PacsItem *c = credentialOf(cam, call, "CredentialToken");
    if (!c) return false;
    std::vector<const XNode *> in =
        call.in.childrenNamed(QStringLiteral("CredentialAccessProfile"));
    if (in.empty())
        return badArg(cam, call, QString(), QStringLiteral("no CredentialAccessProfile"));
    El rec = c->rec;
    for (const XNode *n : in) {
        El cap = toEl(*n);
        removeKeyed(rec, cap.name, QString(), QStringLiteral("AccessProfileToken"),
                    childText(cap, QStringLiteral("AccessProfileToken")));
        rec.kids.push_back(cap);
    }
    return commit(cam, call, c, rec);
}

bool PacsService::deleteCredentialAccessProfiles(Camera &cam, SoapCall &call)
{
    PacsItem *c = credentialOf(cam, call, "CredentialToken");
    if (!c) return false;
    El rec = c->rec;
    for (const XNode *t : call.in.childrenNamed(QStringLiteral("AccessProfileToken")))
        removeKeyed(rec, QStringLiteral("CredentialAccessProfile"), QString(),
                    QStringLiteral("AccessProfileToken"), t->text);
    return commit(cam, call, c, rec);
}

} // namespace camsim
