#include "cli/Arguments.h"

namespace qelvo::cli {

std::optional<std::string> Arguments::value(const std::string& name) const {
    const auto found = options.find(name);
    if (found == options.end()) return std::nullopt;
    return found->second;
}

bool isValidUtf8(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (n - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            code = code << 6 | (t & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string printable(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            const char digits[] = "0123456789abcdef";
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

namespace {

const OptionSyntax* findOption(const CommandSyntax& syntax, const std::string& name) {
    for (const OptionSyntax& option : syntax.options)
        if (option.name == name || (!option.alias.empty() && option.alias == name)) return &option;
    return nullptr;
}

}  // namespace

std::optional<Arguments> parseArguments(const CommandSyntax& syntax,
                                        const std::vector<std::string>& arguments,
                                        std::string& error) {
    Arguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!isValidUtf8(argument)) {
            error = "an argument is not valid UTF-8 text";
            return std::nullopt;
        }
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            parsed.operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            parsed.help = true;
            continue;
        }
        std::string name = argument;
        std::optional<std::string> inlineValue;
        if (argument.rfind("--", 0) == 0) {
            const std::size_t eq = argument.find('=');
            if (eq != std::string::npos) {
                name = argument.substr(0, eq);
                inlineValue = argument.substr(eq + 1);
            }
        }
        const OptionSyntax* option = findOption(syntax, name);
        if (!option) {
            error = "unknown option " + printable(name);
            return std::nullopt;
        }
        if (!option->takesValue) {
            if (inlineValue) {
                error = option->name + " takes no value";
                return std::nullopt;
            }
            parsed.options[option->name] = "";
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else {
            if (i + 1 >= arguments.size()) {
                error = option->name + " needs a value (" + option->valueName + ")";
                return std::nullopt;
            }
            value = arguments[++i];
            if (!isValidUtf8(value)) {
                error = "an argument is not valid UTF-8 text";
                return std::nullopt;
            }
        }
        if (value.empty()) {
            error = option->name + " needs a value (" + option->valueName + ")";
            return std::nullopt;
        }
        parsed.options[option->name] = value;
    }
    if (parsed.help) return parsed;
    const int count = static_cast<int>(parsed.operands.size());
    if (count < syntax.minOperands) {
        error = "missing " + syntax.operandsUsage;
        return std::nullopt;
    }
    for (const OptionSyntax& option : syntax.options)
        if (option.required && !parsed.has(option.name)) {
            error = (option.alias.empty() ? option.name : option.alias) + " " + option.valueName +
                    " is required";
            return std::nullopt;
        }
    if (syntax.maxOperands >= 0 && count > syntax.maxOperands) {
        error = "unexpected argument \"" +
                printable(parsed.operands[static_cast<std::size_t>(syntax.maxOperands)]) + "\"";
        return std::nullopt;
    }
    return parsed;
}

std::string usageLine(const CommandSyntax& syntax) {
    std::string line = "qelvo " + syntax.name;
    if (!syntax.operandsUsage.empty()) line += " " + syntax.operandsUsage;
    for (const OptionSyntax& option : syntax.options) {
        line += option.required ? " " : " [";
        line += option.alias.empty() ? option.name : option.alias;
        if (option.takesValue) line += " " + option.valueName;
        if (!option.required) line += "]";
    }
    return line;
}

}  // namespace qelvo::cli
