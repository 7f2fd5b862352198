#include "cli/Cli.h"

#include <cmath>
#include <cstdio>

namespace qelvo::cli {

const std::vector<Command>& commands() {
    // One line per command.
    static const std::vector<Command> table = {
        infoCommand(),      calibrateCommand(), convertCommand(), snapCommand(),
        timelapseCommand(), flatfieldCommand(), stackCommand(),   stitchCommand(),
    };
    return table;
}

namespace {

constexpr char kVersion[] = "qelvo " QELVO_VERSION;

void printHelp(std::ostream& out) {
    out << "usage: qelvo COMMAND [ARGUMENTS]\n"
           "Calibrated pictures from USB cameras and microscopes, for scripts and batch work.\n"
           "\n";
    for (const Command& command : commands())
        out << "  " << usageLine(command.syntax) << "\n      " << command.summary << "\n";
    out << "\nA LENGTH is a number with a unit: nm, um (or \xC2\xB5m), mm; e.g. 10um, 0.01mm.\n"
           "Output formats follow the extension: .jpg/.jpeg, .png, .tif/.tiff.\n"
           "Exit status: 0 done, 1 failed, 2 usage.\n";
}

}  // namespace

int failed(Io& io, const std::string& command, const std::string& why) {
    // One line whatever a file name or a library's reason holds.
    io.err << "qelvo " << command << ": " << printable(why) << "\n";
    return kFailed;
}

int usageError(Io& io, const CommandSyntax& syntax, const std::string& why) {
    io.err << "qelvo " << syntax.name << ": " << printable(why) << " (usage: " << usageLine(syntax)
           << ")\n";
    return kUsage;
}

std::string formatMicrometres(double micrometres) {
    if (!std::isfinite(micrometres)) return "nan";
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", micrometres);
    std::string s = text;
    if (s.find_first_of("eE") != std::string::npos) return s;
    // Pad to at least four significant digits, so "1" reads "1.000".
    int significant = 0;
    bool started = false;
    for (char c : s) {
        if (c >= '1' && c <= '9') started = true;
        if (started && c >= '0' && c <= '9') ++significant;
    }
    if (significant < 4) {
        if (s.find('.') == std::string::npos) s += '.';
        s.append(static_cast<std::size_t>(4 - significant), '0');
    }
    return s;
}

int runCli(const std::vector<std::string>& arguments, Io& io) {
    if (arguments.empty()) {
        io.err << "qelvo: a command is needed (try 'qelvo --help')\n";
        return kUsage;
    }
    const std::string& name = arguments[0];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(io.out);
        return kDone;
    }
    if (name == "--version") {
        io.out << kVersion << "\n";
        return kDone;
    }
    for (const Command& command : commands()) {
        if (command.syntax.name != name) continue;
        std::string error;
        const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
        const std::optional<Arguments> parsed = parseArguments(command.syntax, rest, error);
        if (!parsed) return usageError(io, command.syntax, error);
        if (parsed->help) {
            io.out << "usage: " << usageLine(command.syntax) << "\n  " << command.summary << "\n";
            return kDone;
        }
        return command.run(*parsed, io);
    }
    if (!isValidUtf8(name)) {
        io.err << "qelvo: an argument is not valid UTF-8 text\n";
        return kUsage;
    }
    io.err << "qelvo: unknown command \"" << printable(name) << "\" (try 'qelvo --help')\n";
    return kUsage;
}

}  // namespace qelvo::cli
