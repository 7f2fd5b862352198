// The program stopped by SIGINT or SIGTERM with a working window open: it closes its windows
// as the user would (a time-lapse finishes its picture) and ends normally.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "support/TempFolder.h"

namespace qelvo {
namespace {

using test::TempFolder;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Termination, SignalsCloseTheWindowsAndTheProgramEndsNormally) {
    for (const char* signal : {"TERM", "INT"}) {
        TempFolder dir;
        ASSERT_EQ(::mkdir((dir / "runtime").c_str(), 0700), 0);
        std::ostringstream command;
        command << "cd '" << dir.path() << "' && HOME='" << dir.path() << "' XDG_RUNTIME_DIR='"
                << (dir / "runtime") << "' QT_QPA_PLATFORM=offscreen "
                << "QELVO_VIRTUAL_DEVICES='Signal Cam{size=160x120,fps=15}' '" << QELVO_APP
                << "' --storage '" << (dir / "pictures")
                << "' --device 'Signal Cam' --image-management >out 2>err & pid=$!; sleep 3; "
                << "kill -" << signal << " $pid; wait $pid";
        const int raw = std::system(command.str().c_str());
        EXPECT_TRUE(WIFEXITED(raw)) << signal;
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0)
            << signal << ": " << slurp(dir / "err");
    }
}

}  // namespace
}  // namespace qelvo
