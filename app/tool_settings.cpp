#include "app/tool_settings.h"

#include "app/address_range.h"

namespace
{
const char kAddresses[] = "search/addresses";
}

std::unique_ptr<QSettings> toolSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("corvanta"),
                                       QStringLiteral("corvanta ipc tool"));
}

QStringList rememberedAddresses()
{
    return toolSettings()->value(kAddresses).toStringList();
}

void rememberAddresses(const QStringList &addresses)
{
    QStringList all = rememberedAddresses();
    for (const QString &a : addresses)
        if (!all.contains(a)) all << a;
    while (all.size() > AddressRange::kMaxAddresses)
        all.removeFirst();
    toolSettings()->setValue(kAddresses, all);
}

void forgetAddresses()
{
    toolSettings()->remove(kAddresses);
}
