#include "app/SingleInstance.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QSysInfo>
#include <QThread>

#include <unistd.h>

#include <thread>

namespace qelvo {
namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    std::string runtime() const { return dir_ / "run"; }
    test::TempFolder dir_;
};

TEST_F(SingleInstanceTest, ASecondStartForTheSameRootRaisesTheFirst) {
    SingleInstance first(runtime(), "/data/lab");
    ASSERT_EQ(first.claim(), SingleInstance::Claim::First) << first.problem();
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);

    SingleInstance second(runtime(), "/data/lab/");
    ASSERT_EQ(second.claim(), SingleInstance::Claim::AlreadyRunning);
    ASSERT_TRUE(second.askRunningToRaise());
    EXPECT_TRUE(raised.wait(10000));
    EXPECT_EQ(raised.count(), 1);

    SingleInstance otherRoot(runtime(), "/data/other");
    EXPECT_EQ(otherRoot.claim(), SingleInstance::Claim::First);
}

TEST_F(SingleInstanceTest, TheLockOfAProgramThatEndedIsTakenOver) {
    {
        SingleInstance ended(runtime(), "/data/lab");
        ASSERT_EQ(ended.claim(), SingleInstance::Claim::First);
    }
    SingleInstance again(runtime(), "/data/lab");
    ASSERT_EQ(again.claim(), SingleInstance::Claim::First);

    // A crash leaves the lock file and the socket file behind, naming a process now gone.
    SingleInstance probe(runtime(), "/data/crashed");
    QFile stale(probe.lockPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("2147480000\nqelvo-tarnel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    QFile(probe.socketPath()).open(QIODevice::WriteOnly);
    ASSERT_EQ(probe.claim(), SingleInstance::Claim::First) << probe.problem();
    EXPECT_TRUE(probe.problem().empty()) << probe.problem();

    // A lock file whose contents name no process at all.
    SingleInstance garbled(runtime(), "/data/garbled");
    QFile garbage(garbled.lockPath());
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("\x01\x02 not a lock\n");
    garbage.close();
    EXPECT_EQ(garbled.claim(), SingleInstance::Claim::First) << garbled.problem();

    QSignalSpy raised(&probe, &SingleInstance::raiseRequested);
    SingleInstance later(runtime(), "/data/crashed");
    ASSERT_EQ(later.claim(), SingleInstance::Claim::AlreadyRunning);
    ASSERT_TRUE(later.askRunningToRaise());
    EXPECT_TRUE(raised.wait(10000));
}

TEST_F(SingleInstanceTest, ASecondStartReachesAFirstThatHeldTheLockBeforeListening) {
    SingleInstance second(runtime(), "/data/lab");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(runtime())));
    QByteArray received;
    std::thread first([&] {
        QThread::msleep(300);  // between taking the lock and listening
        QLocalServer server;
        ASSERT_TRUE(server.listen(second.socketPath()));
        if (!server.waitForNewConnection(30000)) return;
        // Held open until the request is read: a first start closing at once would make the
        // second one's write fail, which is not what this test is about.
        QLocalSocket* peer = server.nextPendingConnection();
        while (!peer->canReadLine() && peer->waitForReadyRead(30000)) {
        }
        received = peer->readLine();
    });
    EXPECT_TRUE(second.askRunningToRaise());
    first.join();
    EXPECT_EQ(received, "raise\n");
}

TEST_F(SingleInstanceTest, ARuntimeFolderOthersCouldReachIsNotUsed) {
    // Another user's folder behind a symbolic link, holding a lock that names a live
    // process: every start would take itself for a second one and never open.  It is not
    // used; the program runs unguarded and says so in one line.
    const QString theirs = QString::fromStdString(dir_ / "theirs");
    ASSERT_TRUE(QDir().mkpath(theirs));
    ASSERT_TRUE(QFile::link(theirs, QString::fromStdString(runtime())));
    SingleInstance probe(runtime(), "/data/lab");
    QFile planted(probe.lockPath());
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.write(QByteArray::number(QCoreApplication::applicationPid()) + "\n" +
                  QCoreApplication::applicationName().toUtf8() + "\n" +
                  QSysInfo::machineHostName().toUtf8() + "\n");
    planted.close();
    EXPECT_EQ(probe.claim(), SingleInstance::Claim::Unguarded);
    EXPECT_NE(probe.problem().find("symbolic link"), std::string::npos) << probe.problem();
    EXPECT_EQ(probe.problem().find('\n'), std::string::npos);
    EXPECT_FALSE(QFile::exists(QDir(theirs).filePath(QFileInfo(probe.socketPath()).fileName())));

    if (::geteuid() == 0) {  // only root can give a folder to another user
        ASSERT_TRUE(QFile::remove(QString::fromStdString(runtime())));
        ASSERT_TRUE(QFile::rename(theirs, QString::fromStdString(runtime())));
        ASSERT_EQ(::chown(runtime().c_str(), 65534, 65534), 0);
        SingleInstance other(runtime(), "/data/lab");
        EXPECT_EQ(other.claim(), SingleInstance::Claim::Unguarded);
        EXPECT_NE(other.problem().find("another user"), std::string::npos) << other.problem();
    }

    // A file where the folder should be.
    QFile blocker(QString::fromStdString(dir_ / "file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SingleInstance blocked(blocker.fileName().toStdString(), "/data/lab");
    EXPECT_EQ(blocked.claim(), SingleInstance::Claim::Unguarded);
    EXPECT_NE(blocked.problem().find("not a folder"), std::string::npos) << blocked.problem();
}

}  // namespace
}  // namespace qelvo
