#pragma once

#include <QStringList>

#include <optional>
#include <string>

namespace qelvo {

// The working window the program opens at start, for the preselected device.
enum class StartWindow { None, ImageManagement, ImageView };

// What the command line asks for.  `action` says whether to start the program or to print
// `text` (help, version or the one-line error) and end with `exitStatus`.
struct StartOptions {
    enum class Action { Run, PrintHelp, PrintVersion, Fail };
    Action action = Action::Run;
    std::string text;
    int exitStatus = 0;
    std::optional<std::string> device;       // --device NAME
    std::optional<std::string> storageRoot;  // --storage DIR, made absolute
    StartWindow startWindow = StartWindow::None;
};

// The program's name as the command line shows it, and its version.
inline constexpr const char* kProgramName = "qelvo-tarnel";
const char* programVersion();

// Reads `arguments` (the program's own name first).  A value option given more than once
// keeps its last value, as most command-line programs do; unknown options, stray arguments,
// empty values and asking for both working windows fail with exit status 2.
StartOptions parseCommandLine(const QStringList& arguments);
// The same from main's own arguments.  One that is not valid text in the system's encoding
// fails: decoded, it would name another folder or device than the one the user typed.
StartOptions parseCommandLine(int argc, const char* const* argv);

}  // namespace qelvo
