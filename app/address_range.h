// The addresses of "Add by address…": one IPv4 address, a list of them
// (separated by commas, semicolons, blanks or line breaks), a CIDR block
// ("10.1.2.0/24": its host addresses; /31 and /32 all of theirs) or a range
// ("10.1.2.10-10.1.2.50", or "10.1.2.10-50" with the last byte only; an en
// dash works too). Every piece may be mixed with the others; duplicates
// count once, the order of first mention is kept. At most kMaxAddresses.
#ifndef APP_ADDRESS_RANGE_H
#define APP_ADDRESS_RANGE_H

#include <QCoreApplication>
#include <QString>
#include <QVector>

class AddressRange
{
    Q_DECLARE_TR_FUNCTIONS(AddressRange)
  public:
    static const int kMaxAddresses = 1024;

    // The addresses (host byte order), or false with a sentence for the user.
    static bool parse(const QString &text, QVector<quint32> *out, QString *error);

    static QString toText(quint32 address);
};

#endif
