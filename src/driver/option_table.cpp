#include "driver/option_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/run_messages.h"
#include "common/text_numbers.h"
#include "input/input_formats.h"
#include "output/output_format.h"

namespace {

// The delimiters of a connection or join list; the other white-space characters stay inside
// a token and are skipped by its leading integer.
constexpr const char* list_delimiters = " ,\t\n";

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

// Takes the next token of a list from rest: the characters up to the next delimiter, after
// any run of them. Gives false when only delimiters are left.
bool next_list_token(std::string_view& rest, std::string_view& token) {
    std::size_t start = rest.find_first_not_of(list_delimiters);
    if (start == std::string_view::npos) return false;
    rest.remove_prefix(start);
    std::size_t length = std::min(rest.find_first_of(list_delimiters), rest.size());
    token = rest.substr(0, length);
    rest.remove_prefix(length);
    return true;
}

void set_input(const char* value, RunOptions& options) {
    take_name(value, options.input_name);
}

void set_output(const char* value, RunOptions& options) {
    take_name(value, options.output_name);
}

// A count past the 32-bit limit is no count at all: it is refused, not clamped, and the run
// names the value as written.
void set_times(const char* value, RunOptions& options) {
    std::int64_t magnitude = 0;
    options.times = leading_integer(value, magnitude);
    options.refused_times_value = magnitude == magnitude_limit ? value : "";
}

void set_nconnect(const char* value, RunOptions& options) {
    options.nconnect = leading_integer(value);
}

// The list is read only under a positive count, the count in force when -connect is met;
// otherwise the value is consumed unread.
void set_connect(const char* value, RunOptions& options) {
    if (options.nconnect <= 0) return;
    options.connect_list.clear();
    std::string_view rest(value);
    std::string_view token;
    while (static_cast<std::int64_t>(options.connect_list.size()) < options.nconnect &&
           next_list_token(rest, token)) {
        options.connect_list.push_back(leading_integer(std::string(token).c_str()));
    }
}

// Appends the items of a join list, split like a connection list; all of them are kept, as
// written, since only the graph's vertex count tells which name vertices.
void set_join(const char* value, RunOptions& options) {
    std::string_view rest(value);
    std::string_view token;
    while (next_list_token(rest, token))
        options.join_items.emplace_back(token);
}

void set_threads(const char* value, RunOptions& options) {
    options.threads = leading_integer(value);
}

void set_format(const char* value, RunOptions& options) {
    options.format_name = value;
}

// The usage text's lines stay within this width, and the descriptions start at this column.
constexpr std::size_t line_width = 80;
constexpr std::size_t option_column = 18;
constexpr std::size_t reason_column = 43;

// text broken into lines of the description column's width, at blanks, '\n' between them.
std::string wrapped(std::string_view text) {
    constexpr std::size_t width = line_width - option_column;
    std::string lines;
    std::size_t line_start = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(' '), text.size());
        if (lines.size() > line_start && lines.size() - line_start + 1 + end > width) {
            lines += '\n';
            line_start = lines.size();
        } else if (lines.size() > line_start) {
            lines += ' ';
        }
        lines.append(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

// Each format in its own words: a format added to the table reaches the usage text.
std::string format_usage() {
    return wrapped(output_format_list(&OutputFormat::usage));
}

std::string format_refusal_reason() {
    return "not " + output_format_list(&OutputFormat::name);
}

void set_from(const char* value, RunOptions& options) {
    options.from_name = value;
}

// Each input format in its own words, as -format's are formed.
std::string from_usage() {
    return wrapped("the input's format: " + input_format_list(&InputFormat::usage) +
                   "; a compressed input is decompressed in every format");
}

std::string from_refusal_reason() {
    return "-from not " + input_format_list(&InputFormat::name);
}

void set_part(const char* value, RunOptions& options) {
    options.has_part = true;
    options.part_value = value;
}

constexpr OptionEntry options_in_usage_order[] = {
    {"-in", "FILE", SynopsisPlace::required, SynopsisPlace::required,
     "the graph file to read; - reads standard input; a gzip, zstd,\n"
     "xz or bzip2 stream is decompressed as it is read",
     set_input},
    {"-times", "K", SynopsisPlace::required, SynopsisPlace::apart,
     "the number of copies, at least 1", set_times},
    {"-from", "NAME", SynopsisPlace::optional, SynopsisPlace::optional, nullptr, set_from, nullptr,
     from_usage},
    {"-out", "FILE", SynopsisPlace::optional, SynopsisPlace::apart,
     "the file to write; - writes standard output (default: K_FILE,\n"
     "the count and an underscore before the input name, or\n"
     "standard output when the input is -)",
     set_output},
    {"-nconnect", "N", SynopsisPlace::optional, SynopsisPlace::apart,
     "connection edges to declare: the output header counts\n"
     "2*N edges more than the copies hold",
     set_nconnect},
    {"-connect", "LIST", SynopsisPlace::optional, SynopsisPlace::apart,
     "connection vertex numbers, separated by blanks or commas", set_connect},
    {"-join", "LIST", SynopsisPlace::optional, SynopsisPlace::apart,
     "join the copies in a ring: each item U:V (or V, short for\n"
     "V:V) adds an edge from vertex U of copy j to vertex V of\n"
     "copy j+1, and of the last copy to copy 0 (two copies have\n"
     "one link); items separated by blanks or commas, and\n"
     "several -join options add up",
     set_join},
    {"-weights", nullptr, SynopsisPlace::optional, SynopsisPlace::apart,
     "carry the input's vertex and edge weights into every copy\n"
     "(a join edge weighs 1)",
     nullptr, &RunOptions::wants_weights},
    {"-threads", "N", SynopsisPlace::optional, SynopsisPlace::apart,
     "read and check the file, and format the copies, on N\n"
     "threads (default and 0: one per processor; reading on at\n"
     "most one per processor); the output is the same for any N",
     set_threads},
    {"-format", "NAME", SynopsisPlace::optional, SynopsisPlace::apart, nullptr, set_format, nullptr,
     format_usage},
    {"-part", "I/P", SynopsisPlace::optional, SynopsisPlace::apart,
     "write only part I of P (0 <= I < P) of the output file, at\n"
     "its own byte positions: P runs, at the same time or not, on\n"
     "one machine or many, write the bytes of one run; the file is\n"
     "whole when all P have ended with status 0",
     set_part},
    {"-check", nullptr, SynopsisPlace::apart, SynopsisPlace::apart,
     "read and check only: no file is written, -times and -out\n"
     "are not needed",
     nullptr, &RunOptions::check_only},
    {"-strict", nullptr, SynopsisPlace::optional, SynopsisPlace::optional,
     "a warning fails the run as an error does", nullptr, &RunOptions::is_strict},
    {"-repair", nullptr, SynopsisPlace::optional, SynopsisPlace::optional,
     "mend what has one sound repair instead of refusing it: an\n"
     "edge listed at one end only gets its other entry, self\n"
     "edges and repeated neighbours are dropped, an edge whose\n"
     "ends weigh differently takes the weight listed first, the\n"
     "header's edge count becomes the count written, entries past\n"
     "it are all read; lines after the last vertex are counted,\n"
     "not read. A line \"Repaired: ...\" per kind follows the\n"
     "file's messages. Not repaired, since no one repair is sure:\n"
     "a bad number, a neighbour outside 1..nvtxs, a bad or\n"
     "missing vertex weight, a missing edge weight, a file that\n"
     "ends early, an unreadable file. With -strict, a bad edge\n"
     "weight (its entry is dropped) or lines after the last\n"
     "vertex still fail the run",
     nullptr, &RunOptions::repairs},
    {"-wide", nullptr, SynopsisPlace::optional, SynopsisPlace::apart,
     "allow counts and vertex numbers past 2147483647 (for readers\n"
     "with 64-bit vertex numbers), and read a graph file of up to\n"
     "2^62 edges, as -wide writes them",
     nullptr, &RunOptions::is_wide},
    {"-stats", nullptr, SynopsisPlace::optional, SynopsisPlace::optional,
     "after the file's messages, when it has no error, print a\n"
     "summary of the input graph: vertices, edges, degrees,\n"
     "isolated vertices, components, weights and a histogram of\n"
     "the degrees, one figure per line",
     nullptr, &RunOptions::wants_stats},
    {"-quiet", nullptr, SynopsisPlace::optional, SynopsisPlace::optional,
     "no progress line; without it, a run longer than a second\n"
     "shows the phase, bytes, rate and time left on standard\n"
     "error when that is a terminal, and standard output is a\n"
     "terminal without the graph, a file or /dev/null",
     nullptr, &RunOptions::is_quiet},
};

// The run's own messages, each ending the run with status 1, and when each is printed.
// A message that one stage alone prints is written here whole; one that several stages
// print is their shared entry.
struct RunMessage {
    RunMessageText text;
    const char* reason;                      // empty when the message speaks for itself
    std::string (*form_reason)() = nullptr;  // forms the reason instead, from a table
};

constexpr RunMessage run_messages[] = {
    {{"at least two times.", nullptr}, "no copy count, or below 1"},
    {{"Error. Invalid number of copies (K).", nullptr}, "K past 2147483647"},
    {{"Error. Option OPTION needs a value.", nullptr}, "an option is the last argument"},
    {{"Error. Invalid number of connections (N).", nullptr}, "-nconnect below 0"},
    {{"Error. Invalid number of threads (N).", nullptr}, "-threads below 0"},
    {cannot_open_graph_file, "input or output cannot be opened"},
    {cannot_read_graph_file, "reading the input failed"},
    {{"Error. The CODEC stream of graph file FILE is damaged.", nullptr},
     "gzip, zstd, xz or bzip2"},
    {{"Error. The CODEC stream of graph file FILE is cut short.", nullptr}, ""},
    {{"Error. Not enough memory to decode the CODEC stream of graph file FILE.", nullptr}, ""},
    {{"Error. Not enough memory to read graph file FILE.", nullptr}, ""},
    {{"Error. Graph file FILE is a tar archive: extract the graph file first.", nullptr}, ""},
    {{"Error. Warnings are not accepted with -strict.", nullptr}, ""},
    {{"Error. Unrepaired warnings are not accepted with -strict.", nullptr}, "(with -repair)"},
    {{"Error. Not enough memory to start.", nullptr}, "not even the options can be read"},
    {{"Error. Not enough memory to repair the graph.", nullptr}, "(with -repair)"},
    {{"Error. Repaired graph too large: more than 1073741823 edges.", nullptr}, "(with -repair)"},
    {{"Error. Repaired graph too large: more than 4611686018427387903 edges.", nullptr},
     "(with -repair -wide)"},
    {{"Error. Invalid join ITEM: vertices run from 1 to NVTXS.", nullptr}, ""},
    {{"Error. Join U:V is given twice.", nullptr}, ""},
    {{"Error. Not enough memory to build the graph.", nullptr}, ""},
    {no_memory_to_write, ""},
    {{"Error. Not enough memory for the summary.", nullptr}, "(with -stats)"},
    {{"Error. Replicated graph too large: V vertices, E edges.", nullptr}, "(and how -wide helps)"},
    {{"Error. Replicated graph too large: more than 4611686018427387904 edges.", nullptr},
     "(with -wide)"},
    {cannot_write_graph_file, "a write failed (disk full, size limit)"},
    {{"Error. Cannot write messages.", nullptr}, "(on standard error) a message was lost"},
    {{"Error. Invalid format NAME.", nullptr}, "", format_refusal_reason},
    {{"Error. Invalid input format NAME.", nullptr}, "", from_refusal_reason},
    {{"Error. Invalid part VALUE.", nullptr}, "-part not I/P with 0 <= I < P"},
    {{"Error. -part cannot overwrite its input: OUT is IN.", nullptr}, ""},
    {part_needs_regular_file, ""},
    {{"Error. Declared connections cannot be written in the parhip format.", nullptr}, ""},
    {{"Error. Edge weight X cannot be written in the parhip format.", nullptr}, ""},
};

// The option as the user writes it, with the name of its value: "-in FILE".
std::string option_with_value(const OptionEntry& entry) {
    std::string text = entry.name;
    if (entry.value_name != nullptr) text += std::string(" ") + entry.value_name;
    return text;
}

// Appends text after line, padded to column, with at least two blanks in between.
void append_in_column(std::string& line, std::size_t column, std::string_view text) {
    line.append(std::max(column, line.size() + 2) - line.size(), ' ');
    line.append(text);
}

// One line of the synopsis, wrapped under its own start: lead, then the options that place
// gives a place in that line.
void append_synopsis_line(std::string& text, const std::string& lead,
                          SynopsisPlace OptionEntry::*place) {
    std::string line = lead;
    for (const OptionEntry& entry : options_in_usage_order) {
        if (entry.*place == SynopsisPlace::apart) continue;
        std::string item = option_with_value(entry);
        if (entry.*place == SynopsisPlace::optional) item = "[" + item + "]";
        if (line.size() + 1 + item.size() > line_width) {
            text += line + "\n";
            line = std::string(lead.size(), ' ');
        }
        line += " " + item;
    }
    text += line + "\n";
}

// The synopsis of a replicating run, then that of a check.
void append_synopsis(std::string& text) {
    append_synopsis_line(text, "Usage: graphrep", &OptionEntry::synopsis_place);
    const OptionEntry* check = nullptr;
    for (const OptionEntry& entry : options_in_usage_order) {
        if (entry.turns_on == &RunOptions::check_only) check = &entry;
    }
    append_synopsis_line(text, std::string("       graphrep ") + check->name,
                         &OptionEntry::check_synopsis_place);
}

void append_option(std::string& text, const std::string& name, std::string_view usage) {
    std::string line = "  " + name;
    for (bool is_first = true; is_first || !usage.empty(); is_first = false) {
        std::size_t end = std::min(usage.find('\n'), usage.size());
        append_in_column(line, option_column, usage.substr(0, end));
        text += line + "\n";
        line.clear();
        usage.remove_prefix(std::min(end + 1, usage.size()));
    }
}

}  // namespace

std::span<const OptionEntry> option_table() {
    return options_in_usage_order;
}

const OptionEntry* match_option(const char* argument) {
    for (const OptionEntry& entry : options_in_usage_order) {
        if (std::strncmp(argument, entry.name, std::strlen(entry.name)) == 0) return &entry;
    }
    return nullptr;
}

std::string usage_text() {
    std::string text;
    append_synopsis(text);
    text +=
        "\n"
        "Reads the graph file FILE, checks it, reports every problem on standard output,\n"
        "and writes a graph file holding K disjoint copies of the graph: vertex v of\n"
        "copy j (counted from 0) becomes vertex j*nvtxs + v.\n"
        "\n";
    for (const OptionEntry& entry : options_in_usage_order) {
        append_option(text, option_with_value(entry),
                      entry.form_usage != nullptr ? entry.form_usage() : entry.usage);
    }
    append_option(text, "-h, --help", "print this text");
    append_option(text, "--version", "print the version");
    text +=
        "\n"
        "Options are recognised by their leading characters (-input counts as -in).\n"
        "Example: graphrep -check -stats -in examples/mesh.graph\n"
        "\n"
        "Messages go to standard output; when the graph goes there, to standard error.\n"
        "Errors in the file read \"ERROR in graph file `FILE': DETAIL\", warnings begin\n"
        "\"WARNING:\". The run's own messages, each ending it with status 1:\n";
    for (const RunMessage& message : run_messages) {
        std::string line = std::string("  ") + message.text.before;
        if (message.text.value_name != nullptr) line += message.text.value_name;
        const std::string reason =
            message.form_reason != nullptr ? message.form_reason() : message.reason;
        if (!reason.empty()) append_in_column(line, reason_column, reason);
        text += line + "\n";
    }
    text +=
        "Every message is listed in the manual page, graphrep(1).\n"
        "\n"
        "Exit status: 0 after a completed run (with -check: the file has no error),\n"
        "1 after any error.\n";
    return text;
}
