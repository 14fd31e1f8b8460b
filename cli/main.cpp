#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "Command.h"
#include "GbkText.h"

namespace murmel::cli {
namespace {

void PrintEnvironment(std::FILE* out);

void PrintHelp(std::FILE* out) {
    std::fprintf(out, "usage: murmel-cli COMMAND [ARGUMENTS]\n\ncommands:\n");
    std::vector<Command> sorted = Commands();
    std::stable_sort(sorted.begin(), sorted.end(), [](const Command& a, const Command& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    for (const Command& command : sorted)
        std::fprintf(out, "  %s %s\n", command.name, command.usage);
    PrintEnvironment(out);
    std::fprintf(out, "\nExit status: 0 success, 1 failure, 2 usage error.\n");
}

// The devices every command that records or plays takes from the environment.
void PrintEnvironment(std::FILE* out) {
    std::fprintf(out,
                 "\nenvironment:\n"
                 "  MURMEL_CAPTURE  pulse (default), pulse:SOURCE, file:PATH, file-fast:PATH, "
                 "tone:HZ, null\n"
                 "  MURMEL_AUDIO    pulse (default), null, render:PATH\n"
                 "  MURMEL_SOUNDFONT  a General MIDI soundfont\n");
}

}  // namespace

std::vector<Command>& Commands() {
    static std::vector<Command> commands;
    return commands;
}

bool ParsedArguments::Has(const std::string& name) const {
    for (const auto& option : options)
        if (option.first == name) return true;
    return false;
}

std::string ParsedArguments::Value(const std::string& name, const std::string& fallback) const {
    for (const auto& option : options)
        if (option.first == name) return option.second;
    return fallback;
}

std::vector<std::string> ParsedArguments::Values(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& option : options)
        if (option.first == name) values.push_back(option.second);
    return values;
}

double ParseSpeed(const std::string& text) {
    char* end = nullptr;
    const double speed = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(speed) || speed < 0.5 || speed > 2.0)
        throw UsageError("--speed takes a number from 0.5 to 2");
    return speed;
}

int64_t ParseMilliseconds(const std::string& text, const std::string& option) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0)
        throw UsageError(option + " takes milliseconds, 0 or more");
    return value;
}

ParsedArguments ParseArguments(const Arguments& arguments, const std::vector<std::string>& valued,
                               const std::vector<std::string>& switches) {
    ParsedArguments parsed;
    auto listed = [](const std::vector<std::string>& list, const std::string& name) {
        for (const auto& entry : list)
            if (entry == name) return true;
        return false;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
            parsed.positional.push_back(argument);
        } else if (listed(switches, argument)) {
            parsed.options.emplace_back(argument, "");
        } else if (listed(valued, argument)) {
            if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
            parsed.options.emplace_back(argument, arguments[++i]);
        } else {
            throw UsageError("unknown option " + argument);
        }
    }
    return parsed;
}

}  // namespace murmel::cli

int main(int argc, char** argv) {
    using namespace murmel::cli;
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        PrintHelp(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const Command& command : Commands()) {
        if (std::strcmp(command.name, argv[1]) != 0) continue;
        if (argc > 2 && (!std::strcmp(argv[2], "--help") || !std::strcmp(argv[2], "-h"))) {
            std::printf("usage: murmel-cli %s %s\n", command.name, command.usage);
            PrintEnvironment(stdout);
            return 0;
        }
        try {
            return command.run(Arguments(argv + 2, argv + argc));
        } catch (const UsageError& error) {
            std::fprintf(stderr, "murmel-cli %s: %s\nusage: murmel-cli %s %s\n", command.name,
                         error.what(), command.name, command.usage);
            return 2;
        } catch (const std::exception& error) {
            // The system's messages are GBK; the terminal speaks UTF-8.
            std::fprintf(stderr, "%s\n", murmel::GbkToUtf8(error.what()).c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "murmel-cli: unknown command '%s'\n", argv[1]);
    PrintHelp(stderr);
    return 2;
}
