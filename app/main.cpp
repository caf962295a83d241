// The tool's entry point: one main window and the Qt event loop.
#include <QApplication>
#include <QTextCodec>

#include <memory>

#include "app/upgrade_device_widget.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTextCodec *codec = QTextCodec::codecForName("utf-8");
    if (codec) QTextCodec::setCodecForLocale(codec);

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
