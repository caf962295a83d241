// The tool's entry point: the language, one main window and the Qt event loop.
#include <QApplication>
#include <QLocale>
#include <QTextCodec>

#include <cstdio>
#include <memory>

#include "app/translation.h"
#include "app/upgrade_device_widget.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTextCodec *codec = QTextCodec::codecForName("utf-8");
    if (codec) QTextCodec::setCodecForLocale(codec);

    // Chinese unless the locale or "--lang en" asks for English.
    QString unknown;
    const QString language = toolLanguage(app.arguments(), QLocale::system(), &unknown);
    if (!unknown.isEmpty())
        fprintf(stderr, "corvanta ipc tool: no translation for \"%s\" (en, zh)\n",
                unknown.toLocal8Bit().constData());
    if (!installToolTranslation(&app, language))
        fprintf(stderr, "corvanta ipc tool: the %s translation could not be loaded\n",
                language.toLocal8Bit().constData());

    // The window is destroyed after the event loop, before the application:
    // that stops the scheduler, the device manager's worker and discovery
    // instead of leaving them running while the process tears down.
    auto window = std::make_unique<UpgradeDeviceWidget>();
    window->setWindowTitle("corvanta ipc tool");
    window->show();
    int code = app.exec();
    window.reset();
    return code;
}
