#pragma once

// Runs the press tool (QELVO_PRESS_TOOL, set by the test's build file) on a device name, as an
// operator would from another shell.  Returns its exit status, or -1 when it did not run.
#include <spawn.h>
#include <sys/wait.h>

#include <string>

extern char** environ;

namespace qelvo::test {

inline int runPressTool(const std::string& device) {
    std::string tool = QELVO_PRESS_TOOL;
    std::string name = device;
    char* argv[] = {tool.data(), name.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace qelvo::test
