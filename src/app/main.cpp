// The recorder's process: the single-instance rule, the main window's start-up, the event loop, and an
// orderly close on SIGTERM and SIGINT.
#include "SignalBridge.h"
#include "SingleInstance.h"
#include "TMainForm.h"

#include <quimbrel_version.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage: quimbrel [--help | --version] [Qt options]\n"
    "\n"
    "The Quimbrel recorder's window. Settings, scheduled events, name templates and the recordings library\n"
    "live in $XDG_CONFIG_HOME/Tarvolt/quimbrel/. A second start shows the running window.\n"
    "On a machine without a desktop, quimbrel-cli records with the same settings (quimbrel-cli --help).\n";

bool isset(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Without a display server Qt aborts the process; a platform chosen explicitly (offscreen, vnc, ...) is
// left to Qt.
bool displayAvailable(int argc, char* argv[]) {
    if (isset("DISPLAY") || isset("WAYLAND_DISPLAY") || isset("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::puts(quimbrel::versionline("quimbrel").c_str());
            return 0;
        }
    }
    if (!displayAvailable(argc, argv)) {
        std::fputs(
            "quimbrel: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); on a machine without a "
            "desktop use quimbrel-cli, e.g. quimbrel-cli record --for 60\n",
            stderr);
        return 1;
    }
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
    // The end of the logon: saved when the session manager asks, closed when the session really ends.
    window.followSession();
    if (!window.FormCreate())
        return 0;
    // With minstartup.enabled the start-up sequence has already sent the window to the tray (or minimised
    // it).
    if (!window.cfg().minstartup.enabled)
        window.show();
    return QApplication::exec();
}
