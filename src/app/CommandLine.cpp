#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>

namespace qelvo {
namespace {

StartOptions failure(const QString& line) {
    StartOptions options;
    options.action = StartOptions::Action::Fail;
    options.text = QStringLiteral("%1: %2 (see %1 --help)")
                       .arg(QString::fromLatin1(kProgramName), line)
                       .toStdString();
    options.exitStatus = 2;
    return options;
}

}  // namespace

const char* programVersion() {
    return QELVO_VERSION;
}

StartOptions parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Live view, snapshots, movie recording and picture review for USB cameras and "
        "inspection microscopes."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("Preselect the video device NAME in the launcher (when it is attached)."),
        QStringLiteral("NAME"));
    const QCommandLineOption storage(
        QStringLiteral("storage"),
        QStringLiteral("Keep pictures and movies under DIR (instead of $QELVO_STORAGE_ROOT or "
                       "~/QELVO-LAB)."),
        QStringLiteral("DIR"));
    const QCommandLineOption management(
        QStringLiteral("image-management"),
        QStringLiteral("Open the image management window for the preselected device at start."));
    const QCommandLineOption view(
        QStringLiteral("image-view"),
        QStringLiteral("Open the multi-view display window for the preselected device at start."));
    parser.addOptions({help, version, device, storage, management, view});

    if (!parser.parse(arguments)) {
        // Qt words it as a sentence ("Unknown option 'x'."); here it is the head of a line.
        QString error = parser.errorText();
        if (error.endsWith(QLatin1Char('.'))) error.chop(1);
        if (!error.isEmpty()) error[0] = error[0].toLower();
        return failure(error);
    }

    StartOptions options;
    if (parser.isSet(help)) {
        options.action = StartOptions::Action::PrintHelp;
        // Qt's help names the executable through the application object, which does not
        // exist yet when the command line is read; the usage line is written here instead.
        QString text = parser.helpText();
        const qsizetype firstLineEnd = text.indexOf(QLatin1Char('\n'));
        text = QStringLiteral("Usage: %1 [options]").arg(QString::fromLatin1(kProgramName)) +
               text.mid(firstLineEnd);
        options.text = text.toStdString();
        return options;
    }
    if (parser.isSet(version)) {
        options.action = StartOptions::Action::PrintVersion;
        options.text = std::string(kProgramName) + " " + programVersion();
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("unexpected argument '%1'")
                           .arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(management) && parser.isSet(view))
        return failure(QStringLiteral("--image-management and --image-view cannot be combined"));

    if (parser.isSet(device)) {
        const QString name = parser.values(device).constLast();
        if (name.isEmpty()) return failure(QStringLiteral("--device needs a device name"));
        options.device = name.toStdString();
    }
    if (parser.isSet(storage)) {
        const QString dir = parser.values(storage).constLast();
        if (dir.isEmpty()) return failure(QStringLiteral("--storage needs a folder"));
        options.storageRoot = QDir::cleanPath(QDir::current().absoluteFilePath(dir)).toStdString();
    }
    if (parser.isSet(management)) options.startWindow = StartWindow::ImageManagement;
    if (parser.isSet(view)) options.startWindow = StartWindow::ImageView;
    return options;
}

StartOptions parseCommandLine(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        const QString text = QString::fromLocal8Bit(bytes);
        if (text.toLocal8Bit() != bytes)
            return failure(QStringLiteral("argument %1 (%2) is not valid text in this system's "
                                          "encoding")
                               .arg(i)
                               .arg(text));
        arguments << text;
    }
    return parseCommandLine(arguments);
}

}  // namespace qelvo
