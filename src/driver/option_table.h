// Option table: every option of the command line, each in one entry.
//
// An entry holds the option string, the name of its value (none for a switch, which takes
// no value), its place in the synopsis, its lines of the usage text, and how it sets the
// run's options. The parser, the switch test and the usage text all read this table, and a
// test holds the manual page and the README to the usage text, so an option added here
// reaches all of them. Since options are recognised by their leading characters, no option
// string may begin with another one.
#pragma once

#include <span>
#include <string>

#include "driver/command_line.h"

// Where an option shows in a line of the synopsis.
enum class SynopsisPlace {
    required,  // as it is: -in FILE
    optional,  // in brackets: [-out FILE]
    apart,     // not at all
};

struct OptionEntry {
    const char* name;              // as the user writes it: "-in"
    const char* value_name;        // as the usage text names the value: "FILE"; null for a switch
    SynopsisPlace synopsis_place;  // in the line of a replicating run
    // In the line of a check, which begins with -check itself.
    SynopsisPlace check_synopsis_place;
    const char* usage;  // the option's description in the usage text, '\n' between lines
    // An option with a value sets options from it; a later value replaces an earlier one.
    void (*set)(const char* value, RunOptions& options);
    // A switch turns this field on; null for an option with a value.
    bool RunOptions::*turns_on = nullptr;
    // Forms the description instead of usage, from a table it speaks of; null for none.
    std::string (*form_usage)() = nullptr;
};

// Every option, in the order of the usage text.
std::span<const OptionEntry> option_table();

// The entry whose name argument begins with (-input is -in), or null when there is none.
const OptionEntry* match_option(const char* argument);

// The text --help prints: the synopsis, one paragraph per option of the table, and the
// run's own messages.
std::string usage_text();
