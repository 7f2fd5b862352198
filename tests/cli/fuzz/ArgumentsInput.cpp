#include "cli/fuzz/ArgumentsInput.h"

#include <vector>

#include "cli/Cli.h"
#include "support/FuzzSupport.h"

namespace qelvo::fuzz {

namespace {

std::vector<std::string> split(std::string_view input) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= input.size(); ++i)
        if (i == input.size() || input[i] == '\0') {
            parts.emplace_back(input.substr(start, i - start));
            start = i + 1;
        }
    return parts;
}

}  // namespace

std::string checkArgumentsInput(std::string_view input) {
    const std::vector<std::string> arguments = split(input);
    for (const cli::Command& command : cli::commands()) {
        const cli::CommandSyntax& syntax = command.syntax;
        std::string error;
        const std::optional<cli::Arguments> parsed = cli::parseArguments(syntax, arguments, error);
        if (!parsed) {
            if (error.empty() || error.find('\n') != std::string::npos)
                return "a refusal is not one line";
            continue;
        }
        for (const std::string& operand : parsed->operands)
            if (!cli::isValidUtf8(operand)) return "an operand is not UTF-8";
        if (parsed->help) continue;
        const int count = static_cast<int>(parsed->operands.size());
        if (count < syntax.minOperands || (syntax.maxOperands >= 0 && count > syntax.maxOperands))
            return "operand count outside the command's limits";
        for (const auto& [name, value] : parsed->options) {
            const cli::OptionSyntax* option = nullptr;
            for (const cli::OptionSyntax& o : syntax.options)
                if (o.name == name) option = &o;
            if (!option) return "an option the command does not have: " + name;
            if (option->takesValue && value.empty()) return "an empty value for " + name;
            if (!cli::isValidUtf8(value)) return "a value is not UTF-8";
        }
        for (const cli::OptionSyntax& o : syntax.options)
            if (o.required && !parsed->has(o.name)) return "a required option is missing";
    }
    return {};
}

int writeArgumentSeeds(const std::string& folder) {
    const std::vector<std::vector<std::string>> lines = {
        {"in.png", "-o", "out.tif", "--pixel-size", "0.25um"},
        {"ruling.jpg", "--spacing=10\xC2\xB5m", "--objective", "40x", "--device", "USB Cam"},
        {"a.png", "b.tif", "c.jpg"},
        {"--", "-odd.png", "-o", "x.png"},
        {"--help"},
    };
    int written = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string joined;
        for (const std::string& argument : lines[i]) {
            if (!joined.empty()) joined.push_back('\0');
            joined += argument;
        }
        written += writeFile(folder + "/args-" + std::to_string(i), joined);
    }
    return written;
}

}  // namespace qelvo::fuzz
