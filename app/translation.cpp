#include "app/translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

// The translations compiled into the library (a resource of its own, which a
// static library must register by name).
static void registerTranslations()
{
    Q_INIT_RESOURCE(corvanta_translations);
}

QString toolLanguage(const QStringList &arguments, const QLocale &locale, QString *unknown)
{
    QString asked;
    for (int i = 1; i < arguments.size(); i++) {
        const QString &a = arguments[i];
        if (a == QLatin1String("--lang") && i + 1 < arguments.size())
            asked = arguments[++i];
        else if (a.startsWith(QLatin1String("--lang=")))
            asked = a.mid(7);
    }
    asked = asked.trimmed().toLower();
    if (asked.startsWith(QLatin1String("en"))) return QStringLiteral("en");
    if (asked.startsWith(QLatin1String("zh"))) return QStringLiteral("zh");
    if (!asked.isEmpty() && unknown) *unknown = asked;
    return locale.language() == QLocale::English ? QStringLiteral("en") : QStringLiteral("zh");
}

bool installToolTranslation(QCoreApplication *app, const QString &language)
{
    if (language != QLatin1String("en")) {
        // Qt's own dialogs (file dialog, message box buttons) in Chinese too,
        // when the system has Qt's translations.
        auto *qt = new QTranslator(app);
        if (qt->load(QStringLiteral("qtbase_zh_CN"),
                     QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
            app->installTranslator(qt);
        else
            delete qt;
        return true;
    }
    registerTranslations();
    auto *tool = new QTranslator(app);
    if (!tool->load(QStringLiteral(":/translations/corvanta_en.qm"))) {
        delete tool;
        return false;
    }
    app->installTranslator(tool);
    return true;
}
