#include "cli/fuzz/ArgumentsInput.h"

#include <vector>

#include "cli/CameraWork.h"
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
            // The value readers of the camera commands keep to their ranges.
            if (const auto size = cli::parseResolution(value))
                if (size->first < 1 || size->second < 1 || size->first > 65535 ||
                    size->second > 65535)
                    return "a resolution out of range";
            if (const auto n = cli::parseWhole(value, 1, 256))
                if (*n < 1 || *n > 256) return "a whole number out of range";
            if (const auto seconds = cli::parseSeconds(value))
                if (!(*seconds > 0.0) || *seconds > 366.0 * 86400.0) return "seconds out of range";
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
        {"--device", "Tool Cam", "--average", "16", "--resolution", "1920x1080", "-o", "a.png"},
        {"--device=Scope", "--interval", "0.1", "--count", "600", "--format", "tif", "-o", "d"},
        {"--device", "Scope", "--interval", "2.5", "--duration", "3600", "--average", "4", "-o",
         "lapse"},
        {"a.tif", "b.tif", "--flat", "flat.tif", "--dark", "dark.tif", "-o", "out"},
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
