#include "driver/run_sequence.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/allocation.h"
#include "common/message_sink.h"
#include "common/printable_name.h"
#include "common/processors.h"
#include "common/progress_line.h"
#include "common/run_messages.h"
#include "driver/command_line.h"
#include "driver/join_list.h"
#include "driver/option_table.h"
#include "driver/output_choice.h"
#include "driver/repair_step.h"
#include "driver/run_settings.h"
#include "graph/graph_stats.h"
#include "graph/vertex_graph.h"
#include "input/byte_source.h"
#include "input/graph_reader.h"
#include "output/graph_writer.h"
#include "output/output_file.h"
#include "output/output_format.h"
#include "output/output_signals.h"
#include "output/part_plan.h"

namespace {

// The input stream reads through a buffer of this size: a few large reads instead of one
// per 4 KiB page.
constexpr std::size_t input_buffer_size = std::size_t{1} << 20;

// What the run holds from the reader's return until it ends.
struct ReaderArrays {
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency;
    Block<int> vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
};

// A standard descriptor that is closed when the run starts would be taken by the first file
// the run opens: the output's directory would pass for standard error, or the graph would
// take the place of the messages' stream. Each closed one is opened on /dev/null instead, so
// the run behaves as with that stream open to /dev/null.
void keep_standard_streams_open() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        // The lower standard descriptors are open by now, so the lowest free number, which
        // open takes, is this one.
        const int null_device = open("/dev/null", O_RDWR);
        (void)null_device;
    }
}

// The room a run needs before it can read its options. Below it an allocation may fail where
// not even its failure can be reported (the process would abort): the run ends with its own
// message instead.
constexpr std::size_t starting_room = std::size_t{64} << 10;

bool has_starting_room() {
    // Kept in a volatile pointer: a block freed unused could be left out, probe and all.
    void* volatile room = std::malloc(starting_room);
    if (room == nullptr) return false;
    std::free(room);
    return true;
}

// Refusals that need no file: a dangling option, the copy count, the connection count.
[[nodiscard]] int check_options(const RunOptions& options, MessageSink& messages) {
    if (!options.option_without_value.empty()) {
        messages.error("Error. Option %s needs a value.\n", options.option_without_value.c_str());
        return 1;
    }
    // A check writes no graph: the copy and connection counts are not needed.
    if (options.check_only) return 0;
    // Before the sign is looked at: a count of that many digits is no count, whatever its sign.
    if (!options.refused_times_value.empty()) {
        messages.error("Error. Invalid number of copies (%s).\n",
                       options.refused_times_value.c_str());
        return 1;
    }
    // A negative count would write a graph file with a negative vertex count.
    if (options.times < 1) {
        messages.error("at least two times.\n");
        return 1;
    }
    // A negative count would declare fewer edges than the copies hold.
    if (options.nconnect < 0) {
        messages.error("Error. Invalid number of connections (%d).\n", options.nconnect);
        return 1;
    }
    if (options.threads < 0) {
        messages.error("Error. Invalid number of threads (%d).\n", options.threads);
        return 1;
    }
    return 0;
}

// Opens the input for reading with a large buffer that lives in input_buffer. A directory
// opens on this system but reads as nothing, so it is refused here as unopenable.
[[nodiscard]] int open_input_file(const std::string& input_name, std::vector<char>& input_buffer,
                                  std::FILE*& input, MessageSink& messages) {
    if (input_name == standard_stream_name) {
        input = stdin;
    } else {
        input = input_name.empty() ? nullptr : std::fopen(input_name.c_str(), "r");
    }
    struct stat status;
    if (input != nullptr && fstat(fileno(input), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fclose(input);
        input = nullptr;
    }
    if (input == nullptr) {
        report_cannot_open(messages, input_name.c_str());
        return 1;
    }
    // Without the memory the stream keeps its default buffer: slower, not wrong.
    if (allocates_or_fails([&] { input_buffer.resize(input_buffer_size); }) == 0) {
        std::setvbuf(input, input_buffer.data(), _IOFBF, input_buffer.size());
    }
    return 0;
}

// The replicated counts, join edges included, must fit the 32-bit numbers most readers of the
// format hold, unless -wide asks for 64-bit ones. Those cannot overflow: at most 2147483647
// copies of 2147483646 vertices.
[[nodiscard]] int check_replicated_size(const RunSettings& settings, int nvtxs, std::int64_t nedges,
                                        const ReplicaExtras& extras, MessageSink& messages) {
    if (settings.is_wide) return 0;
    std::int64_t total_vertices = std::int64_t{settings.times} * nvtxs;
    std::int64_t total_edges = replicated_edge_count(
        settings.times, nedges, static_cast<std::int64_t>(extras.join_pairs.size()),
        settings.nconnect);
    if (total_vertices > INT_MAX || total_edges > INT_MAX) {
        messages.error("Error. Replicated graph too large: %lld vertices, %lld edges.\n",
                       static_cast<long long>(total_vertices), static_cast<long long>(total_edges));
        messages.print("Use -wide to write it for readers with 64-bit vertex numbers.\n");
        return 1;
    }
    return 0;
}

// A wide input's edge count may reach 2^62, and its copies' count would pass what 64 bits
// hold: past 2^62 edges the header would be wrong and twice it (the arcs of the binary
// layout) would overflow, so such a run is refused before anything is written.
[[nodiscard]] int check_wide_edge_total(const RunSettings& settings, std::int64_t nedges,
                                        const ReplicaExtras& extras, MessageSink& messages) {
    const __int128 total = static_cast<__int128>(settings.times) * nedges +
                           static_cast<__int128>(join_link_count(settings.times)) *
                               static_cast<__int128>(extras.join_pairs.size()) +
                           2 * static_cast<__int128>(settings.nconnect);
    if (total <= (__int128{1} << 62)) return 0;
    messages.error("Error. Replicated graph too large: more than 4611686018427387904 edges.\n");
    return 1;
}

// Under -strict a warning fails the run: a file that draws one is not taken as good. With
// -repair only the faults the repair left as they were do: the repaired graph is valid, but
// a dropped entry or unread lines may not be what the file meant.
[[nodiscard]] int check_strictness(const RunSettings& settings, const ReadFindings& findings,
                                   MessageSink& messages) {
    if (!settings.is_strict) return 0;
    if (settings.repairs && findings.is_filled) {
        if (!has_unrepaired_fault(findings)) return 0;
        messages.error("Error. Unrepaired warnings are not accepted with -strict.\n");
        return 1;
    }
    if (messages.warning_count() == 0) return 0;
    messages.error("Error. Warnings are not accepted with -strict.\n");
    return 1;
}

// A part writes into its file while it is read, by this run or by the parts still to run:
// parts whose output is their input would replicate a half-written graph, and say nothing.
// The file is compared, not the name, so that a link or another path to it is caught too; a
// whole run is safe, since it replaces the file only after reading it.
[[nodiscard]] int check_part_input(const RunSettings& settings, std::FILE* input,
                                   MessageSink& messages) {
    if (settings.output.part_count == 0) return 0;
    struct stat input_status;
    struct stat output_status;
    if (fstat(fileno(input), &input_status) != 0 || !S_ISREG(input_status.st_mode)) return 0;
    if (stat(settings.output_name.c_str(), &output_status) != 0) return 0;
    if (input_status.st_dev != output_status.st_dev ||
        input_status.st_ino != output_status.st_ino) {
        return 0;
    }
    messages.error("Error. -part cannot overwrite its input: %s is %s.\n",
                   printable_name(settings.output_name).c_str(),
                   printable_name(settings.input_name).c_str());
    return 1;
}

// The bytes of a regular file, for the progress line; 0 for anything else (a pipe).
std::int64_t regular_file_bytes(std::FILE* file) {
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return static_cast<std::int64_t>(status.st_size);
}

// The summary of -stats, from the reader's arrays: a check has no other graph.
[[nodiscard]] int print_summary(const ReaderArrays& arrays, MessageSink& messages) {
    GraphStats stats;
    if (compute_graph_stats(
            arrays.edge_offsets.empty() ? nullptr : arrays.edge_offsets.data(),
            arrays.adjacency.empty() ? nullptr : arrays.adjacency.data(), arrays.nvtxs,
            arrays.vertex_weights.empty() ? nullptr : arrays.vertex_weights.data(),
            arrays.edge_weights.empty() ? nullptr : arrays.edge_weights.data(), stats) != 0) {
        messages.error("Error. Not enough memory for the summary.\n");
        return 1;
    }
    print_graph_stats(stats, messages);
    return 0;
}

// Opens the named output file, or a stream of its own on standard output.
[[nodiscard]] int open_output(const RunSettings& settings, MessageSink& messages,
                              OutputFile& output) {
    if (!settings.graph_to_standard_output) return output.open(settings.output_name, messages);
    return output.open_descriptor(STDOUT_FILENO, standard_stream_name, messages);
}

// Opens the output, writes the copies into it and commits it. Each way this can fail gets its
// one message, here or from the output file; an output not committed is abandoned as it goes
// out of scope. The commit comes after the last flush of the messages: a run whose messages
// were lost ends with status 1, and status 1 promises that no file was created or changed.
[[nodiscard]] int write_output(const RunSettings& settings, const OutputJob& job,
                               ReplicaExtras& extras, ProgressLine& progress,
                               MessageSink& messages) {
    const OutputChoice& choice = settings.output;
    if (choice.part_count > 0) {
        // Messages still in the buffer go out before the file is touched, as for a whole
        // output.
        messages.flush();
        const PartPlan plan = plan_part(choice.part_index, choice.part_count, settings.times);
        // A part's file is a regular file, never the terminal; its writing is the run's long
        // phase.
        progress.begin_phase(ProgressPhase::writing, -1, 0);
        extras.progress = progress.counters();
        const int status =
            write_output_part(*choice.format, settings.output_name, plan, job, messages);
        progress.end_phase();
        return status;
    }
    OutputFile output;
    if (open_output(settings, messages, output) != 0) return 1;
    // A graph written to the terminal leaves no line there to draw on.
    if (isatty(fileno(output.stream())) != 1) {
        progress.begin_phase(ProgressPhase::writing, -1, 0);
        extras.progress = progress.counters();
    }
    const WriteResult result =
        choice.format->write_whole(output.stream(), output.is_replacing(), job);
    progress.end_phase();
    switch (result) {
        case WriteResult::written:
            break;
        case WriteResult::write_failed:
            output.fail(messages);
            return 1;
        case WriteResult::out_of_memory:
            report_no_memory_to_write(messages);
            return 1;
    }
    messages.flush();
    if (messages.has_failed()) return 1;
    return output.finish(messages);
}

// Builds the copies of a graph read without error and writes them.
[[nodiscard]] int replicate(const RunSettings& settings, const ReaderArrays& arrays,
                            ProgressLine& progress, MessageSink& messages) {
    ReplicaExtras extras;
    if (take_join_pairs(settings.join_items, arrays.nvtxs, extras.join_pairs, messages) != 0) {
        return 1;
    }
    const std::int64_t* edge_offsets =
        arrays.edge_offsets.empty() ? nullptr : arrays.edge_offsets.data();
    const int* adjacency = arrays.adjacency.empty() ? nullptr : arrays.adjacency.data();
    // The weights reach the builder, and so the copies, only when they are carried.
    const int* vertex_weights = settings.carries_weights && !arrays.vertex_weights.empty()
                                    ? arrays.vertex_weights.data()
                                    : nullptr;
    const float* edge_weights = settings.carries_weights && !arrays.edge_weights.empty()
                                    ? arrays.edge_weights.data()
                                    : nullptr;
    extras.writes_vertex_weights = vertex_weights != nullptr;
    extras.writes_edge_weights = edge_weights != nullptr;
    extras.threads = settings.threads;
    VertexGraph graph;
    std::int64_t nedges = 0;
    if (build_vertex_graph(edge_offsets, adjacency, arrays.nvtxs, nedges, vertex_weights,
                           edge_weights, graph, messages) != 0) {
        return 1;
    }
    const OutputFormat& format = *settings.output.format;
    if (check_wide_edge_total(settings, nedges, extras, messages) != 0) return 1;
    if (format.counts_fit_32_bits &&
        check_replicated_size(settings, arrays.nvtxs, nedges, extras, messages) != 0) {
        return 1;
    }
    const OutputJob job{settings.times, &settings.input_name, arrays.nvtxs,
                        nedges,         settings.nconnect,    &graph,
                        &extras};
    if (format.check_graph != nullptr && format.check_graph(job, messages) != 0) return 1;
    // The messages go out before the graph, so that they come first when both reach the same
    // file; messages already lost end the run before anything is written.
    messages.flush();
    if (messages.has_failed()) return 1;
    return write_output(settings, job, extras, progress, messages);
}

// The progress line of a run, hooked into its messages while they go to a terminal: each
// message hides it while it is written. The line is erased and unhooked on every path out.
class RunProgress {
   public:
    RunProgress(const RunSettings& settings, MessageSink& messages) : messages_(messages) {
        line_.start(STDERR_FILENO, settings.shows_progress);
        if (isatty(fileno(messages.stream())) == 1) messages.set_progress_line(&line_);
    }
    RunProgress(const RunProgress&) = delete;
    RunProgress& operator=(const RunProgress&) = delete;
    ~RunProgress() {
        line_.stop();
        messages_.set_progress_line(nullptr);
    }
    ProgressLine& line() {
        return line_;
    }

   private:
    MessageSink& messages_;
    ProgressLine line_;
};

// Reads and checks the input and, unless the run only checks, writes the copies.
[[nodiscard]] int run_stages(const RunSettings& settings, MessageSink& messages) {
    std::vector<char> input_buffer;
    std::FILE* input = nullptr;
    if (open_input_file(settings.input_name, input_buffer, input, messages) != 0) return 1;
    if (check_part_input(settings, input, messages) != 0) {
        std::fclose(input);
        return 1;
    }
    ReaderArrays arrays;
    RunProgress progress(settings, messages);
    // The phase begins before the first bytes are looked at: a slow pipe may take a while.
    progress.line().begin_phase(ProgressPhase::reading, fileno(input), regular_file_bytes(input));
    ByteSource source;
    if (open_byte_source(input, settings.input_name.c_str(), messages, source) != 0) return 1;
    // Any error of the graph file ends the run: its arrays are incomplete or describe a
    // graph the file did not mean, and a graph written from them would pass for a good one.
    ReaderSettings reader_settings;
    reader_settings.threads = settings.reading_threads;
    // A check reads only: no later stage looks at the lists that no line reached, unless
    // they are repaired.
    reader_settings.fills_unreached_lists = !settings.check_only || settings.repairs;
    reader_settings.repairs = settings.repairs;
    reader_settings.takes_values_as_weights = settings.carries_weights;
    ReadFindings findings;
    reader_settings.findings = &findings;
    // A file that -wide wrote is read with -wide: its edge count may pass the narrow arrays.
    reader_settings.is_wide = settings.is_wide;
    int read_result = settings.input_format->read(
        source.stream, settings.input_name.c_str(), messages, arrays.edge_offsets, arrays.adjacency,
        arrays.nvtxs, arrays.vertex_weights, arrays.edge_weights, reader_settings);
    read_result = finish_byte_source(source, settings.input_name.c_str(), messages, read_result);
    progress.line().end_phase();
    if (read_result != 0) return 1;
    // A format whose reader knows no repair has refused what the repair would mend. The lines
    // of an edge list are a graph only once repaired.
    if ((settings.repairs || findings.holds_edge_lines) && findings.is_filled &&
        repair_read_graph(arrays.nvtxs, findings, reader_settings, arrays.edge_offsets,
                          arrays.adjacency, arrays.edge_weights, messages) != 0) {
        return 1;
    }
    if (check_strictness(settings, findings, messages) != 0) return 1;
    if (settings.wants_stats && print_summary(arrays, messages) != 0) return 1;
    // A check ends with the reader: the checks are all made, and no copy is wanted.
    if (settings.check_only) return 0;
    return replicate(settings, arrays, progress.line(), messages);
}

// The last flush of the messages. For a check the messages are the whole answer, so a run
// that could not write one of them fails, and says so on standard error, the one stream left
// to say it on.
[[nodiscard]] int end_run(int status, MessageSink& messages) {
    messages.flush();
    if (!messages.has_failed()) return status;
    std::fputs("Error. Cannot write messages.\n", stderr);
    return 1;
}

}  // namespace

int run_graphrep(int argc, const char* const* argv) {
    keep_standard_streams_open();
    if (!has_starting_room()) {
        std::fputs("Error. Not enough memory to start.\n", stdout);
        return 1;
    }
    prepare_output_signals();
    RunOptions options;
    parse_command_line(argc, argv, options);
    if (options.wants_help) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (options.wants_version) {
        std::printf("graphrep %s\n", GRAPHREP_VERSION);
        return 0;
    }
    RunSettings settings;
    resolve_settings(options, settings);
    MessageSink messages(settings.message_stream);
    const bool is_refused = check_options(options, messages) != 0 ||
                            choose_output(options, settings, messages) != 0 ||
                            choose_input(options, settings, messages) != 0;
    const int status = is_refused ? 1 : run_stages(settings, messages);
    return end_run(status, messages);
}
