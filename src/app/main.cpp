#include "app/CommandLine.h"
#include "app/LauncherWindow.h"
#include "app/SingleInstance.h"
#include "app/StartUp.h"
#include "app/StorageFolderCheck.h"
#include "app/TerminationSignals.h"
#include "app/WindowingPlatform.h"
#include "app/WorkingWindows.h"
#include "desktop/Dialogs.h"
#include "media/GstInit.h"
#include "system/MemoryPolicy.h"
#include "system/Paths.h"

#include <QApplication>
#include <QFont>

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

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

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    qelvo::useSteadyMemoryPolicy();
    const qelvo::StartOptions options = qelvo::parseCommandLine(argc, argv);
    switch (options.action) {
        case qelvo::StartOptions::Action::PrintHelp:
        case qelvo::StartOptions::Action::PrintVersion:
            std::cout << options.text << (options.text.ends_with('\n') ? "" : "\n");
            return 0;
        case qelvo::StartOptions::Action::Fail:
            std::cerr << options.text << '\n';
            return options.exitStatus;
        case qelvo::StartOptions::Action::Run:
            break;
    }

    const qelvo::WindowingDecision windowing =
        qelvo::decideWindowing(environment, qelvo::localXDisplayRunning);
    if (!windowing.message.empty()) std::cerr << windowing.message << '\n';
    if (!windowing.canStart) return 1;
    if (!windowing.qpaPlatform.empty())
        ::setenv("QT_QPA_PLATFORM", windowing.qpaPlatform.c_str(), 1);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QELVO_TARNEL"));
    QApplication::setApplicationVersion(QString::fromLatin1(qelvo::programVersion()));
    QApplication::setDesktopFileName(QStringLiteral("org.qelvo.tarnel"));
    QFont::insertSubstitution(QStringLiteral("Arial Narrow"),
                              QStringLiteral("Liberation Sans Narrow"));

    const qelvo::StorageLocations storage{options.storageRoot.value_or(qelvo::defaultStorageRoot()),
                                          qelvo::storageFallback()};
    // The folder actually in use names the running program, so two roots that both fall
    // back to the home folder count as one.
    const std::string storageInUse = qelvo::checkStorageFolder(storage.root, storage.fallback);
    if (options.storageRoot && storageInUse != storage.root)
        std::cerr << "qelvo-tarnel: cannot create the storage folder " << storage.root << "; using "
                  << storageInUse << '\n';

    qelvo::SingleInstance instance(qelvo::runtimeDir(), storageInUse);
    switch (instance.claim()) {
        case qelvo::SingleInstance::Claim::AlreadyRunning:
            if (instance.askRunningToRaise()) {
                std::cerr << "qelvo-tarnel: already running for " << storageInUse
                          << "; its window was raised\n";
                return 0;
            }
            std::cerr << "qelvo-tarnel: already running for " << storageInUse
                      << ", but it does not answer\n";
            return 1;
        case qelvo::SingleInstance::Claim::Unguarded:
            std::cerr << instance.problem() << '\n';
            break;
        case qelvo::SingleInstance::Claim::First:
            if (!instance.problem().empty()) std::cerr << instance.problem() << '\n';
            break;
    }

    reportMissingMedia();

    qelvo::LauncherWindow launcher(qelvo::makeSystemDeviceCatalogue(),
                                   qelvo::programWorkingWindows(), storage);
    QObject::connect(&instance, &qelvo::SingleInstance::raiseRequested, &launcher,
                     &qelvo::LauncherWindow::bringToFront);
    const std::string startProblem = qelvo::applyStartOptions(launcher, options);
    if (!startProblem.empty()) std::cerr << startProblem << '\n';
    // SIGINT or SIGTERM close the windows as the user would: a time-lapse finishes its
    // picture in progress, recordings and writes complete, and the program ends normally.
    qelvo::TerminationSignals termination;
    QObject::connect(&termination, &qelvo::TerminationSignals::requested, &launcher,
                     [] { QApplication::closeAllWindows(); });
    launcher.exec();
    return 0;
}
