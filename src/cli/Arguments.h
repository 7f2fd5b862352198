#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qelvo::cli {

// An option a command accepts: "--spacing" with a value, or a switch without one.  A
// one-letter alias ("-o") may stand for it.
struct OptionSyntax {
    std::string name;   // "--spacing"
    std::string alias;  // "-o", or ""
    bool takesValue = true;
    std::string valueName;  // "LENGTH", for the usage line
    bool required = false;
};

// What a command accepts: its operands (at least `minOperands`, at most `maxOperands`, -1
// for no limit) and its options.
struct CommandSyntax {
    std::string name;
    std::string operandsUsage;  // "IN", "FILE..."
    int minOperands = 0;
    int maxOperands = -1;
    std::vector<OptionSyntax> options;
};

// A command line taken apart.  Options are keyed by their long name; one given twice keeps
// its last value.
struct Arguments {
    std::vector<std::string> operands;
    std::map<std::string, std::string> options;
    bool help = false;  // --help or -h: print the command's usage

    bool has(const std::string& name) const { return options.count(name) > 0; }
    std::optional<std::string> value(const std::string& name) const;
};

// Reads the arguments after the command name against `syntax`.  Everything is untrusted: an
// unknown option, a missing or empty value, text that is not valid UTF-8, too few or too
// many operands, a required option left out give nothing and `error` says which, in one line.
// "--name=value" is the same as "--name value"; "--" ends the options.
std::optional<Arguments> parseArguments(const CommandSyntax& syntax,
                                        const std::vector<std::string>& arguments,
                                        std::string& error);

// The command's usage line: "qelvo NAME OPERANDS [OPTIONS]".
std::string usageLine(const CommandSyntax& syntax);

// `text` for a one-line message: control characters written as \n, \t or \xNN.
std::string printable(const std::string& text);

// Whether `text` is valid UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(const std::string& text);

}  // namespace qelvo::cli
