#include "app/LauncherWindow.h"
#include "app/WorkingWindows.h"
#include "platform/Dialogs.h"
#include "platform/GstInit.h"
#include "platform/Paths.h"

#include <unistd.h>
#include <QApplication>
#include <QFont>

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

// A local X display (":N", ":N.S" or "unix:N") answers on its socket; Qt aborts the program
// when it cannot connect, so a display that is named but not running is caught here.
bool localXDisplayRunning(const std::string& display) {
    std::string rest = display;
    if (rest.rfind("unix:", 0) == 0)
        rest = rest.substr(4);
    else if (rest.empty() || rest[0] != ':')
        return true;  // a remote display: let the toolkit try
    const std::string number = rest.substr(
        1, rest.find('.') == std::string::npos ? std::string::npos : rest.find('.') - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
    return ::access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0;
}

bool displayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;  // the caller chose (offscreen, xcb, wayland...)
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return true;
    const char* x = std::getenv("DISPLAY");
    return x && *x && localXDisplayRunning(x);
}

void reportMissingMedia() {
    const std::vector<std::string> missing = qelvo::missingGstreamerElements();
    if (missing.empty()) return;
    QString names;
    for (const std::string& name : missing) names += QString::fromStdString(name) + ' ';
    const QString text =
        QStringLiteral(
            "Some GStreamer components are missing: %1\n\nLive view, recording and "
            "playback need the packages gstreamer1.0-plugins-base, "
            "gstreamer1.0-plugins-good and gstreamer1.0-libav.")
            .arg(names.trimmed());
    std::cerr << "qelvo-tarnel: " << text.toStdString() << '\n';
    qelvo::dialogs().message(nullptr, text, QStringLiteral("QELVO_TARNEL"),
                             qelvo::MessageButtons::Ok);
}

}  // namespace

int main(int argc, char** argv) {
    if (!displayAvailable()) {
        std::cerr << "qelvo-tarnel: no display found (DISPLAY and WAYLAND_DISPLAY name no running "
                     "display); "
                     "start it in a desktop session, or under Xvfb: "
                     "xvfb-run -s '-screen 0 1280x1024x24' qelvo-tarnel\n";
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QELVO_TARNEL"));
    QFont::insertSubstitution(QStringLiteral("Arial Narrow"),
                              QStringLiteral("Liberation Sans Narrow"));

    reportMissingMedia();

    qelvo::LauncherWindow launcher(qelvo::makeSystemDeviceCatalogue(),
                                   qelvo::programWorkingWindows(),
                                   {qelvo::defaultStorageRoot(), qelvo::storageFallback()});
    launcher.exec();
    return 0;
}
