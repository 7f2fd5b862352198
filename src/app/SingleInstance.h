#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>
#include <string>

namespace qelvo {

// One running program per storage root: two programs would fight over the same camera and
// the same settings file.  The first start holds a lock file in the runtime folder and
// listens on a local socket beside it; a later start finds the lock taken and asks the
// running program, through the socket, to raise its launcher.  A lock left by a program that
// crashed is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        First,           // this program holds the lock and listens for later starts
        AlreadyRunning,  // another program holds it
        Unguarded,       // the lock could not be had (see problem()); run without it
    };

    SingleInstance(std::string runtimeDir, const std::string& storageRoot,
                   QObject* parent = nullptr);
    ~SingleInstance() override;

    Claim claim();
    // From a later start: asks the running program to raise its launcher.  False when it
    // did not answer.
    bool askRunningToRaise();
    // One line saying why the lock could not be had (Unguarded).
    const std::string& problem() const { return problem_; }

    const QString& lockPath() const { return lockPath_; }
    const QString& socketPath() const { return socketPath_; }

signals:
    void raiseRequested();

private:
    void serve(QLocalSocket* socket);

    std::string runtimeDir_;
    QString lockPath_;
    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    std::string problem_;
};

}  // namespace qelvo
