#include "driver/command_line.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/text_numbers.h"

namespace {

enum class Option {
    input,
    times,
    nconnect,
    connect,
    output,
    check,
    strict,
    wide,
    join,
    weights,
    threads,
    stats,
    quiet,
    none
};

struct OptionName {
    const char* text;
    Option option;
};

// The order matters only for reading: no argument can match two of these strings, since none
// of them begins with another.
constexpr OptionName option_names[] = {
    {"-in", Option::input},        {"-times", Option::times},     {"-nconnect", Option::nconnect},
    {"-connect", Option::connect}, {"-out", Option::output},      {"-check", Option::check},
    {"-strict", Option::strict},   {"-wide", Option::wide},       {"-join", Option::join},
    {"-weights", Option::weights}, {"-threads", Option::threads}, {"-stats", Option::stats},
    {"-quiet", Option::quiet},
};

// A switch stands alone: the argument after it is examined as an option in its turn.
bool is_switch(Option option) {
    return option == Option::check || option == Option::strict || option == Option::wide ||
           option == Option::weights || option == Option::stats || option == Option::quiet;
}

void set_switch(Option option, RunOptions& options) {
    if (option == Option::check) options.check_only = true;
    if (option == Option::strict) options.is_strict = true;
    if (option == Option::wide) options.is_wide = true;
    if (option == Option::weights) options.wants_weights = true;
    if (option == Option::stats) options.wants_stats = true;
    if (option == Option::quiet) options.is_quiet = true;
}

// The delimiters of a connection list; the other white-space characters stay inside a token
// and are skipped by its leading integer.
constexpr const char* connect_delimiters = " ,\t\n";

// An argument matches an option when it begins with the option string: -input is -in.
Option match_option(const char* argument) {
    for (const OptionName& name : option_names) {
        if (std::strncmp(argument, name.text, std::strlen(name.text)) == 0) return name.option;
    }
    return Option::none;
}

// Sets field to the whole of value without its leading and trailing white space: blanks
// inside a name belong to it. A value of white space only leaves the field as it was.
void take_name(const char* value, std::string& field) {
    while (is_white_space(*value))
        ++value;
    const char* end = value + std::strlen(value);
    while (end != value && is_white_space(end[-1]))
        --end;
    if (end != value) field.assign(value, end);
}

// The leading integer of text (white space, one optional sign, decimal digits; 0 without a
// digit) clamped to the 32-bit limits, and the value of its digits held at magnitude_limit.
int read_leading_integer(const char* text, std::int64_t& magnitude) {
    while (is_white_space(*text))
        ++text;
    int value = 0;
    magnitude = 0;
    (void)read_integer(text, value, magnitude);
    return value;
}

// Takes the next token of a list from rest: the characters up to the next delimiter, after
// any run of them. Gives false when only delimiters are left.
bool next_list_token(std::string_view& rest, std::string_view& token) {
    std::size_t start = rest.find_first_not_of(connect_delimiters);
    if (start == std::string_view::npos) return false;
    rest.remove_prefix(start);
    std::size_t length = std::min(rest.find_first_of(connect_delimiters), rest.size());
    token = rest.substr(0, length);
    rest.remove_prefix(length);
    return true;
}

void take_connection_list(const char* value, int nconnect, std::vector<int>& connect_list) {
    connect_list.clear();
    std::string_view rest(value);
    std::string_view token;
    while (static_cast<std::int64_t>(connect_list.size()) < nconnect &&
           next_list_token(rest, token)) {
        connect_list.push_back(leading_integer(std::string(token).c_str()));
    }
}

// Appends the items of a join list, split like a connection list; all of them are kept.
void take_join_items(const char* value, std::vector<std::string>& join_items) {
    std::string_view rest(value);
    std::string_view token;
    while (next_list_token(rest, token))
        join_items.emplace_back(token);
}

bool is_help_request(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

}  // namespace

int leading_integer(const char* text) {
    std::int64_t magnitude = 0;
    return read_leading_integer(text, magnitude);
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
        Option option = match_option(argument);
        if (option == Option::none) continue;
        if (is_switch(option)) {
            set_switch(option, options);
            continue;
        }
        if (i + 1 == argc) {
            options.option_without_value = argument;
            break;
        }
        const char* value = argv[++i];
        switch (option) {
            case Option::input:
                take_name(value, options.input_name);
                break;
            case Option::output:
                take_name(value, options.output_name);
                break;
            case Option::times: {
                // A count past the 32-bit limit is no count at all: it is refused, not
                // clamped, and the run names the value as written.
                std::int64_t magnitude = 0;
                options.times = read_leading_integer(value, magnitude);
                options.refused_times_value = magnitude == magnitude_limit ? value : "";
                break;
            }
            case Option::nconnect:
                options.nconnect = leading_integer(value);
                break;
            case Option::connect:
                // The list is read only under a positive count, the count in force when
                // -connect is met; otherwise the value is consumed unread.
                if (options.nconnect > 0) {
                    take_connection_list(value, options.nconnect, options.connect_list);
                }
                break;
            case Option::join:
                take_join_items(value, options.join_items);
                break;
            case Option::threads:
                options.threads = leading_integer(value);
                break;
            // The switches took no value above.
            case Option::check:
            case Option::strict:
            case Option::wide:
            case Option::weights:
            case Option::stats:
            case Option::quiet:
            case Option::none:
                break;
        }
    }
}
