// The recorder's process: the single-instance rule, the main window's start-up, the event loop, and an
// orderly close on SIGTERM and SIGINT.
#include "PlaceholderWindow.h"
#include "SignalBridge.h"
#include "SingleInstance.h"
#include "TMainForm.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quimbrel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quimbrel"));
    QApplication::setDesktopFileName(QStringLiteral("quimbrel"));
    QApplication::setQuitOnLastWindowClosed(false);

    quimbrel::SingleInstance instance(QStringLiteral("quimbrel"));
    if (!instance.acquire()) {
        instance.activateFirst();
        return 0;
    }

    quimbrel::TMainForm window;
    QObject::connect(&instance, &quimbrel::SingleInstance::activationRequested, &window,
                     &quimbrel::TMainForm::TrayIcon1Click);
    quimbrel::SignalBridge bridge;
    QObject::connect(&bridge, &quimbrel::SignalBridge::terminationRequested, &window,
                     &quimbrel::TMainForm::closeForSessionEnd);
    // The session manager's quit request at the end of the logon.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.closeForSessionEnd(); });
    if (!window.FormCreate())
        return 0;
    // With minstartup.enabled the start-up sequence has already sent the window to the tray (or minimised
    // it).
    if (!window.cfg().minstartup.enabled)
        window.show();
    return QApplication::exec();
}
