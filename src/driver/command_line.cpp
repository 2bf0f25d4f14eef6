#include "driver/command_line.h"

#include <cstring>

#include "common/text_numbers.h"
#include "driver/option_table.h"

namespace {

bool is_help_request(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

}  // namespace

int leading_integer(const char* text) {
    std::int64_t magnitude = 0;
    return leading_integer(text, magnitude);
}

int leading_integer(const char* text, std::int64_t& magnitude) {
    while (is_white_space(*text))
        ++text;
    int value = 0;
    magnitude = 0;
    (void)read_integer(text, value, magnitude);
    return value;
}

void parse_command_line(int argc, const char* const* argv, RunOptions& options) {
    options = RunOptions{};
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (is_help_request(argument)) {
            options.wants_help = true;
            continue;
        }
        if (std::strcmp(argument, "--version") == 0) {
            options.wants_version = true;
            continue;
        }
        const OptionEntry* entry = match_option(argument);
        if (entry == nullptr) continue;
        // A switch stands alone: the argument after it is examined as an option in its turn.
        if (entry->value_name == nullptr) {
            options.*(entry->turns_on) = true;
            continue;
        }
        if (i + 1 == argc) {
            options.option_without_value = argument;
            break;
        }
        entry->set(argv[++i], options);
    }
}
