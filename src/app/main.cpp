#include "app/LauncherWindow.h"
#include "app/WorkingWindows.h"
#include "platform/Dialogs.h"
#include "platform/GstInit.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QFont>
#include <cstdlib>
#include <iostream>

namespace {

bool displayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;  // the caller chose (offscreen, xcb, wayland...)
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
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
        std::cerr << "qelvo-tarnel: no display found (DISPLAY and WAYLAND_DISPLAY are unset); "
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
