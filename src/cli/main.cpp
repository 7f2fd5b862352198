// The qelvo command-line tool.
#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    qelvo::cli::Io io{std::cout, std::cerr};
    const int status = qelvo::cli::runCli(arguments, io);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "qelvo: the output could not be written\n";
        return qelvo::cli::kFailed;
    }
    return status;
}
