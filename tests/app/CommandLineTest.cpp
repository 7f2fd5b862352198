#include "app/CommandLine.h"
#include "app/WindowingPlatform.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <QDir>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>

namespace qelvo {
namespace {

StartOptions parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("qelvo-tarnel"));
    return parseCommandLine(arguments);
}

TEST(CommandLineTest, HelpAndVersionAreTextToPrint) {
    const StartOptions help = parse({QStringLiteral("--help")});
    EXPECT_EQ(help.action, StartOptions::Action::PrintHelp);
    EXPECT_EQ(help.text.rfind("Usage: qelvo-tarnel [options]\n", 0), 0u) << help.text;
    for (const char* option :
         {"--device <NAME>", "--storage <DIR>", "--image-management", "--image-view", "--version"})
        EXPECT_NE(help.text.find(option), std::string::npos) << option;

    const StartOptions version =
        parse({QStringLiteral("--device"), QStringLiteral("x"), QStringLiteral("--version")});
    EXPECT_EQ(version.action, StartOptions::Action::PrintVersion);
    EXPECT_EQ(version.text, std::string("qelvo-tarnel ") + programVersion());
}

TEST(CommandLineTest, OptionsCarryTheirValuesAndTheLastRepeatWins) {
    const StartOptions options =
        parse({QStringLiteral("--device=First Camera"), QStringLiteral("--device"),
               QStringLiteral("USB 2860 Device"), QStringLiteral("--storage"),
               QStringLiteral("/data/lab/"), QStringLiteral("--image-view"),
               QStringLiteral("--image-view")});
    EXPECT_EQ(options.action, StartOptions::Action::Run);
    EXPECT_EQ(options.device, "USB 2860 Device");
    EXPECT_EQ(options.storageRoot, "/data/lab");
    EXPECT_EQ(options.startWindow, StartWindow::ImageView);

    const StartOptions relative =
        parse({QStringLiteral("--storage=pics"), QStringLiteral("--image-management")});
    EXPECT_EQ(relative.storageRoot, QDir::current().absoluteFilePath("pics").toStdString());
    EXPECT_EQ(relative.startWindow, StartWindow::ImageManagement);
    EXPECT_FALSE(relative.device);

    const StartOptions none = parse({});
    EXPECT_EQ(none.action, StartOptions::Action::Run);
    EXPECT_FALSE(none.storageRoot);
    EXPECT_EQ(none.startWindow, StartWindow::None);
}

TEST(CommandLineTest, BadCommandLinesFailWithOneLineAndStatusTwo) {
    const QStringList bad[] = {
        {QStringLiteral("--frobnicate")},
        {QStringLiteral("-x")},
        {QStringLiteral("--device")},
        {QStringLiteral("--device=")},
        {QStringLiteral("--storage=")},
        {QStringLiteral("stray")},
        {QStringLiteral("--image-view"), QStringLiteral("--image-management")},
    };
    for (const QStringList& arguments : bad) {
        const StartOptions options = parse(arguments);
        EXPECT_EQ(options.action, StartOptions::Action::Fail) << arguments.join(' ').toStdString();
        EXPECT_EQ(options.exitStatus, 2);
        EXPECT_EQ(options.text.rfind("qelvo-tarnel: ", 0), 0u) << options.text;
        EXPECT_EQ(options.text.find('\n'), std::string::npos) << options.text;
    }
    EXPECT_NE(parse({QStringLiteral("--frobnicate")}).text.find("frobnicate"), std::string::npos);
}

TEST(CommandLineTest, AnArgumentThatIsNotValidTextFailsInsteadOfNamingAnotherFolder) {
    const char* const latin1[] = {"qelvo-tarnel", "--storage=/tmp/Bilder-gro\xdf"};
    const StartOptions bad = parseCommandLine(2, latin1);
    EXPECT_EQ(bad.action, StartOptions::Action::Fail);
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_NE(bad.text.find("argument 1"), std::string::npos) << bad.text;

    const char* const utf8[] = {"qelvo-tarnel", "--storage=/tmp/Bilder-gro\xc3\x9f"};
    const StartOptions good = parseCommandLine(2, utf8);
    ASSERT_EQ(good.action, StartOptions::Action::Run) << good.text;
    EXPECT_EQ(good.storageRoot, "/tmp/Bilder-gro\xc3\x9f");
}

WindowingDecision decide(std::map<std::string, std::string> env, bool xRunning = true) {
    return decideWindowing(
        [&env](const char* name) { return env.count(name) ? env.at(name) : std::string(); },
        [xRunning](const std::string&) { return xRunning; });
}

TEST(WindowingPlatformTest, WaylandRunsThroughXWaylandUnlessTheUserChose) {
    const WindowingDecision xwayland =
        decide({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}});
    EXPECT_TRUE(xwayland.canStart);
    EXPECT_EQ(xwayland.qpaPlatform, "xcb");

    const WindowingDecision chosen = decide(
        {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}});
    EXPECT_TRUE(chosen.canStart);
    EXPECT_EQ(chosen.qpaPlatform, "");
    EXPECT_TRUE(decide({{"QT_QPA_PLATFORM", "offscreen"}}, false).canStart);

    const WindowingDecision x11 = decide({{"DISPLAY", ":1"}});
    EXPECT_TRUE(x11.canStart);
    EXPECT_EQ(x11.qpaPlatform, "");
    EXPECT_TRUE(x11.message.empty());
}

TEST(WindowingPlatformTest, WithoutXWaylandOrAnyDisplayItSaysSoInOneLine) {
    for (const WindowingDecision& decision :
         {decide({{"WAYLAND_DISPLAY", "wayland-0"}}),
          decide({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}}, false), decide({}),
          decide({{"DISPLAY", ":7"}}, false)}) {
        EXPECT_FALSE(decision.canStart);
        EXPECT_FALSE(decision.message.empty());
        EXPECT_EQ(decision.message.find('\n'), std::string::npos);
    }
    EXPECT_NE(decide({{"WAYLAND_DISPLAY", "wayland-0"}}).message.find("XWayland"),
              std::string::npos);
    EXPECT_TRUE(localXDisplayRunning("remote.example:0"));
    EXPECT_FALSE(localXDisplayRunning(":987654"));
}

// A socket bound at `path`, listening or (as an X server that died leaves it) closed.
int bindSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(fd, 1), 0);
    return fd;
}

TEST(WindowingPlatformTest, AnXDisplayRunsOnlyWhileItsServerAnswers) {
    const test::TempFolder dir;
    const std::string socketDir = dir.path();
    EXPECT_FALSE(localXDisplayRunningIn(":5", socketDir));
    ::close(bindSocket(socketDir + "/X5"));  // the file stays behind
    EXPECT_FALSE(localXDisplayRunningIn(":5", socketDir));

    const int live = bindSocket(socketDir + "/X6");
    EXPECT_TRUE(localXDisplayRunningIn(":6", socketDir));
    EXPECT_TRUE(localXDisplayRunningIn(":6.0", socketDir));
    EXPECT_TRUE(localXDisplayRunningIn("unix:6", socketDir));
    ::close(live);
}

}  // namespace
}  // namespace qelvo
