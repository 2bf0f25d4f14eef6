#include "driver/command_line.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

enum class Option { input, times, nconnect, connect, output, join, weights, threads, none };

struct OptionName {
    const char* text;
    Option option;
};

// The order matters only for reading: no argument can match two of these strings.
constexpr OptionName option_names[] = {
    {"-in", Option::input},        {"-times", Option::times},     {"-nconnect", Option::nconnect},
    {"-connect", Option::connect}, {"-out", Option::output},      {"-join", Option::join},
    {"-weights", Option::weights}, {"-threads", Option::threads},
};

// The delimiters of a connection list; the other white-space characters stay inside a token
// and are skipped by its leading integer.
constexpr const char* connect_delimiters = " ,\t\n";

bool is_white_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// An argument matches an option when it begins with the option string: -input is -in.
Option match_option(const char* argument) {
    for (const OptionName& name : option_names) {
        if (std::strncmp(argument, name.text, std::strlen(name.text)) == 0) return name.option;
    }
    return Option::none;
}

// Sets field to the first word of value; a value without a word leaves it as it was.
void take_first_word(const char* value, std::string& field) {
    while (is_white_space(*value))
        ++value;
    const char* end = value;
    while (*end != '\0' && !is_white_space(*end))
        ++end;
    if (end != value) field.assign(value, end);
}

void take_connection_list(const char* value, int nconnect, std::vector<int>& connect_list) {
    connect_list.clear();
    std::string_view rest(value);
    while (static_cast<std::int64_t>(connect_list.size()) < nconnect) {
        std::size_t start = rest.find_first_not_of(connect_delimiters);
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        std::size_t length = std::min(rest.find_first_of(connect_delimiters), rest.size());
        connect_list.push_back(leading_integer(std::string(rest.substr(0, length)).c_str()));
        rest.remove_prefix(length);
    }
}

// Appends the items of a join list, split like a connection list; all of them are kept.
void take_join_items(const char* value, std::vector<std::string>& join_items) {
    std::string_view rest(value);
    for (;;) {
        std::size_t start = rest.find_first_not_of(connect_delimiters);
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        std::size_t length = std::min(rest.find_first_of(connect_delimiters), rest.size());
        join_items.emplace_back(rest.substr(0, length));
        rest.remove_prefix(length);
    }
}

bool is_help_request(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

}  // namespace

int leading_integer(const char* text) {
    while (is_white_space(*text))
        ++text;
    bool is_negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    // Accumulated as a negative number, whose range reaches INT_MIN, and clamped once it
    // leaves the 32-bit range; the remaining digits are still consumed.
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > std::int64_t{INT_MAX} + 1) magnitude = std::int64_t{INT_MAX} + 1;
    }
    if (is_negative) return static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
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
        // The only option without a value.
        if (option == Option::weights) {
            options.wants_weights = true;
            continue;
        }
        if (i + 1 == argc) {
            options.option_without_value = argument;
            break;
        }
        const char* value = argv[++i];
        switch (option) {
            case Option::input:
                take_first_word(value, options.input_name);
                break;
            case Option::output:
                take_first_word(value, options.output_name);
                break;
            case Option::times:
                options.times = leading_integer(value);
                break;
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
            case Option::weights:
            case Option::none:
                break;
        }
    }
}
