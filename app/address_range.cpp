#include "app/address_range.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

namespace
{

// A dotted IPv4 address with four decimal bytes (no other spelling).
bool parseIp(const QString &text, quint32 *value)
{
    const QStringList parts = text.split('.');
    if (parts.size() != 4) return false;
    quint32 v = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3) return false;
        bool ok = false;
        const uint byte = part.toUInt(&ok, 10);
        if (!ok || byte > 255) return false;
        v = (v << 8) | byte;
    }
    *value = v;
    return true;
}

} // namespace

QString AddressRange::toText(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 255)
        .arg((a >> 8) & 255)
        .arg(a & 255);
}

bool AddressRange::parse(const QString &text, QVector<quint32> *out, QString *error)
{
    out->clear();
    QSet<quint32> seen;
    const QString tooMany = tr("不能超过 %1 个地址。").arg(kMaxAddresses);
    // Appends first..last; false once the limit would be passed.
    auto add = [&](quint64 first, quint64 last) {
        for (quint64 a = first; a <= last; a++) {
            if (seen.contains((quint32)a)) continue;
            if (out->size() >= kMaxAddresses) return false;
            seen.insert((quint32)a);
            out->append((quint32)a);
        }
        return true;
    };

    QString normalized = text;
    normalized.replace(QChar(0x2013), '-'); // en dash
    normalized.replace(QRegularExpression(QStringLiteral("\\s*-\\s*")), QStringLiteral("-"));
    const QStringList pieces =
        normalized.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts);
    if (pieces.isEmpty()) {
        *error = tr("请输入IP地址、地址列表或地址范围。");
        return false;
    }
    for (const QString &piece : pieces) {
        const QString bad = tr("无法识别的地址:%1").arg(piece);
        quint32 a = 0, b = 0;
        const int slash = piece.indexOf('/');
        const int dash = piece.indexOf('-');
        if (slash >= 0) {
            bool ok = false;
            const int bits = piece.mid(slash + 1).toInt(&ok);
            if (!parseIp(piece.left(slash), &a) || !ok || bits < 0 || bits > 32) {
                *error = bad;
                return false;
            }
            const quint64 size = quint64(1) << (32 - bits);
            if (size > quint64(kMaxAddresses) + 2) {
                *error = tooMany;
                return false;
            }
            const quint64 net = a & ~quint32(size - 1);
            // The network and broadcast addresses are no hosts (except in /31 and /32).
            const bool hosts = size > 2;
            if (!add(net + (hosts ? 1 : 0), net + size - 1 - (hosts ? 1 : 0))) {
                *error = tooMany;
                return false;
            }
        } else if (dash >= 0) {
            const QString left = piece.left(dash), right = piece.mid(dash + 1);
            if (!parseIp(left, &a)) {
                *error = bad;
                return false;
            }
            bool ok = false;
            const uint last = right.toUInt(&ok, 10);
            if (!right.contains('.') && ok && right.size() <= 3 && last <= 255)
                b = (a & 0xffffff00u) | last;
            else if (!parseIp(right, &b)) {
                *error = bad;
                return false;
            }
            if (b < a) {
                *error = tr("地址范围的结束地址小于起始地址:%1").arg(piece);
                return false;
            }
            if (quint64(b) - a >= quint64(kMaxAddresses) || !add(a, b)) {
                *error = tooMany;
                return false;
            }
        } else {
            if (!parseIp(piece, &a)) {
                *error = bad;
                return false;
            }
            if (!add(a, a)) {
                *error = tooMany;
                return false;
            }
        }
    }
    return true;
}
