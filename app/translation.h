// The tool's language. Its texts are written in Chinese; an English
// translation is built in. The language follows the system locale (English
// for an English locale, Chinese otherwise) unless the command line names
// one: "--lang en", "--lang=en", "--lang zh".
#ifndef APP_TRANSLATION_H
#define APP_TRANSLATION_H

#include <QLocale>
#include <QString>
#include <QStringList>

class QCoreApplication;

// "en" or "zh" for the arguments (program name first) and the locale; an
// unknown --lang value gives the locale's choice and *unknown (when given)
// the value.
QString toolLanguage(const QStringList &arguments, const QLocale &locale,
                     QString *unknown = nullptr);

// Installs the translator of `language` on the application ("zh" needs
// none). False when the translation could not be loaded.
bool installToolTranslation(QCoreApplication *app, const QString &language);

#endif
