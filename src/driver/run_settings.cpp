#include "driver/run_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/processors.h"

namespace {

// True when the graph goes to standard output: -out -, or -in - without -out. A check
// writes no graph.
bool writes_standard_output(const RunOptions& options) {
    if (options.check_only) return false;
    if (options.output_name == standard_stream_name) return true;
    return options.output_name.empty() && options.input_name == standard_stream_name;
}

std::string output_name_of(const RunOptions& options) {
    if (options.check_only) return "";
    if (writes_standard_output(options)) return standard_stream_name;
    if (!options.output_name.empty()) return options.output_name;
    return std::to_string(options.times) + "_" + options.input_name;
}

// Whether status is that of /dev/null.
bool is_null_device(const struct stat& status) {
    struct stat null_status;
    return S_ISCHR(status.st_mode) && stat("/dev/null", &null_status) == 0 &&
           status.st_rdev == null_status.st_rdev;
}

// The progress line is drawn on standard error and taken back with a carriage return, which
// works only while nothing else reaches that terminal unseen. The messages hide the line when
// they go to it directly; through a pipe (| less, | tee) they would reach it by a way the
// line cannot see, glued to it or wiped by its erasing. So standard output must be a terminal
// that does not take the graph, a regular file or /dev/null; and a graph written to a device
// by name (/dev/tty, /dev/stderr) may be written to the terminal too.
bool progress_line_is_safe(const RunSettings& settings) {
    struct stat status;
    if (fstat(STDOUT_FILENO, &status) != 0) return false;
    const bool is_terminal = isatty(STDOUT_FILENO) == 1;
    if (!S_ISREG(status.st_mode) && !is_terminal && !is_null_device(status)) return false;
    if (settings.graph_to_standard_output) return !is_terminal;
    if (settings.output_name.empty() || stat(settings.output_name.c_str(), &status) != 0) {
        return true;
    }
    return !S_ISCHR(status.st_mode) || is_null_device(status);
}

}  // namespace

void resolve_settings(const RunOptions& options, RunSettings& settings) {
    settings = RunSettings{};
    settings.input_name = options.input_name;
    settings.output_name = output_name_of(options);
    settings.graph_to_standard_output = writes_standard_output(options);
    // Standard output is to hold the graph alone, so the messages take standard error.
    settings.message_stream = settings.graph_to_standard_output ? stderr : stdout;
    settings.times = options.times;
    settings.nconnect = options.nconnect;
    const int processors = available_processors();
    settings.threads = options.threads > 0 ? options.threads : processors;
    settings.reading_threads = std::min(settings.threads, processors);
    settings.check_only = options.check_only;
    settings.is_strict = options.is_strict;
    settings.is_wide = options.is_wide;
    settings.repairs = options.repairs;
    settings.carries_weights = options.wants_weights;
    settings.wants_stats = options.wants_stats;
    settings.shows_progress = !options.is_quiet && progress_line_is_safe(settings);
    settings.join_items = options.join_items;
}

int choose_input(const RunOptions& options, RunSettings& settings, MessageSink& messages) {
    settings.input_format = find_input_format(options.from_name);
    if (settings.input_format != nullptr) return 0;
    messages.error("Error. Invalid input format %s.\n", options.from_name.c_str());
    return 1;
}
