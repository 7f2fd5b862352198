#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

#include "system/Paths.h"

namespace qelvo {
namespace {

constexpr char kRaise[] = "raise\n";

// Names the storage root by a hash of its resolved path, so "dir" and "dir/" or a symbolic
// link to it are one root, and any path fits a socket name.
QString rootKey(const std::string& storageRoot) {
    const QString path = QString::fromStdString(storageRoot);
    QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty()) resolved = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    return QString::fromLatin1(
        QCryptographicHash::hash(resolved.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

}  // namespace

SingleInstance::SingleInstance(std::string runtimeDir, const std::string& storageRoot,
                               QObject* parent)
    : QObject(parent), runtimeDir_(std::move(runtimeDir)) {
    const QDir dir(QString::fromStdString(runtimeDir_));
    const QString key = rootKey(storageRoot);
    lockPath_ = dir.filePath(QStringLiteral("instance-%1.lock").arg(key));
    socketPath_ = dir.filePath(QStringLiteral("instance-%1.socket").arg(key));
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) serve(socket);
    });
}

SingleInstance::~SingleInstance() {
    server_.close();
}

SingleInstance::Claim SingleInstance::claim() {
    // A lock file or socket planted by another user would keep this program from ever
    // opening, or talk to it; a folder that cannot be made private is not used at all.
    const std::string unfit = preparePrivateFolder(runtimeDir_);
    if (!unfit.empty()) {
        problem_ = "qelvo-tarnel: the runtime folder " + runtimeDir_ + " " + unfit +
                   "; not using it, so every start opens its own window";
        return Claim::Unguarded;
    }
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // Only a dead owner makes the lock stale, never its age: the program runs for hours.
    lock_->setStaleLockTime(0);
    bool locked = lock_->tryLock(0);
    if (!locked && lock_->error() == QLockFile::LockFailedError) {
        // A lock file that names no process (cut short by a crash, or written over) would
        // keep every later start out; Qt only takes over one that names a process now gone.
        qint64 pid = 0;
        QString host, application;
        if (!lock_->getLockInfo(&pid, &host, &application) || pid <= 0) {
            lock_->removeStaleLockFile();
            locked = lock_->tryLock(0);
        }
    }
    if (locked) {
        // A socket file left by a crashed run would stop the listening.
        QLocalServer::removeServer(socketPath_);
        if (!server_.listen(socketPath_))
            problem_ = "qelvo-tarnel: a second start cannot reach this one (" +
                       server_.errorString().toStdString() + ")";
        return Claim::First;
    }
    if (lock_->error() == QLockFile::LockFailedError) return Claim::AlreadyRunning;
    problem_ = "qelvo-tarnel: cannot write the lock file " + lockPath_.toStdString() +
               "; a second start will not be prevented";
    lock_.reset();
    return Claim::Unguarded;
}

bool SingleInstance::askRunningToRaise() {
    // A program started at the same moment holds the lock a little before it listens, so a
    // socket that is not there yet is tried again for a while.
    QLocalSocket socket;
    for (int attempt = 1;; ++attempt) {
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(3000)) break;
        const bool notListeningYet = socket.error() == QLocalSocket::ServerNotFoundError ||
                                     socket.error() == QLocalSocket::ConnectionRefusedError;
        if (!notListeningYet || attempt == 30) return false;
        QThread::msleep(100);
    }
    socket.write(kRaise);
    if (!socket.waitForBytesWritten(3000)) return false;
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::serve(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        while (socket->canReadLine())
            if (socket->readLine() == kRaise) emit raiseRequested();
        // Anything else is not ours; a sender that never ends its line is cut off.
        if (socket->bytesAvailable() > 64) socket->abort();
    });
}

}  // namespace qelvo
