#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "cli/Arguments.h"

namespace qelvo::cli {

// Where a command writes: results to `out`, the one line saying why it failed to `err`.
struct Io {
    std::ostream& out;
    std::ostream& err;
};

// Exit statuses of every command.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

struct Command {
    CommandSyntax syntax;
    const char* summary;
    int (*run)(const Arguments& arguments, Io& io);
};

// Every command of the tool, in the order the help lists them.
const std::vector<Command>& commands();

// Runs the command line after the program's name; returns the exit status.
int runCli(const std::vector<std::string>& arguments, Io& io);

// One line "qelvo COMMAND: WHY" on the error stream; returns kFailed.
int failed(Io& io, const std::string& command, const std::string& why);
// One line "qelvo COMMAND: WHY (usage: ...)" on the error stream; returns kUsage.
int usageError(Io& io, const CommandSyntax& syntax, const std::string& why);

// A pixel size for the output: 6 significant digits, trailing zeros dropped down to 4
// ("0.3456", "1.000", "12.3457").
std::string formatMicrometres(double micrometres);

// The commands (one file each).
Command infoCommand();
Command convertCommand();
Command calibrateCommand();
Command flatfieldCommand();
Command snapCommand();
Command timelapseCommand();
Command stackCommand();
Command stitchCommand();

}  // namespace qelvo::cli
