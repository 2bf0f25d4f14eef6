#include "driver/run_sequence.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/join_list.h"
#include "graph/vertex_graph.h"
#include "input/graph_reader.h"
#include "output/graph_writer.h"
#include "output/output_file.h"

namespace {

// The input stream reads through a buffer of this size: a few large reads instead of one
// per 4 KiB page.
constexpr std::size_t input_buffer_size = std::size_t{1} << 20;

const char usage_text[] =
    "Usage: graphrep -in FILE -times K [-out FILE] [-nconnect N] [-connect LIST]\n"
    "                [-join LIST] [-weights] [-threads N] [-strict] [-wide]\n"
    "       graphrep -check -in FILE [-strict]\n"
    "\n"
    "Reads the graph file FILE, checks it, reports every problem on standard output,\n"
    "and writes a graph file holding K disjoint copies of the graph: vertex v of\n"
    "copy j (counted from 0) becomes vertex j*nvtxs + v.\n"
    "\n"
    "  -in FILE        the graph file to read; - reads standard input\n"
    "  -times K        the number of copies, at least 1\n"
    "  -out FILE       the file to write; - writes standard output (default: K_FILE,\n"
    "                  the count and an underscore before the input name, or\n"
    "                  standard output when the input is -)\n"
    "  -nconnect N     connection edges to declare: the output header counts\n"
    "                  2*N edges more than the copies hold\n"
    "  -connect LIST   connection vertex numbers, separated by blanks or commas\n"
    "  -join LIST      join the copies in a ring: each item U:V (or V, short for\n"
    "                  V:V) adds an edge from vertex U of copy j to vertex V of\n"
    "                  copy j+1, and of the last copy to copy 0 (two copies have\n"
    "                  one link); items separated by blanks or commas, and\n"
    "                  several -join options add up\n"
    "  -weights        carry the input's vertex and edge weights into every copy\n"
    "                  (a join edge weighs 1)\n"
    "  -threads N      format the copies on N threads (default and 0: one per\n"
    "                  processor); the output is the same for any N\n"
    "  -check          read and check only: no file is written, -times and -out\n"
    "                  are not needed\n"
    "  -strict         a warning fails the run as an error does\n"
    "  -wide           allow counts and vertex numbers past 2147483647 (for readers\n"
    "                  with 64-bit vertex numbers)\n"
    "  -h, --help      print this text\n"
    "  --version       print the version\n"
    "\n"
    "Options are recognised by their leading characters (-input counts as -in).\n"
    "\n"
    "Messages go to standard output; when the graph goes there, to standard error.\n"
    "Errors in the file read \"ERROR in graph file `FILE': DETAIL\", warnings begin\n"
    "\"WARNING:\". The run's own messages, each ending it with status 1:\n"
    "  at least two times.                      no copy count, or below 1\n"
    "  Error. Invalid number of copies (K).     K past 2147483647\n"
    "  Error. Option OPTION needs a value.      an option is the last argument\n"
    "  Error. Invalid number of connections (N).  -nconnect below 0\n"
    "  Error. Invalid number of threads (N).    -threads below 0\n"
    "  Error. Cannot open graph file: FILE      input or output cannot be opened\n"
    "  Error. Cannot read graph file: FILE      reading the input failed\n"
    "  Error. Warnings are not accepted with -strict.\n"
    "  Error. Invalid join ITEM: vertices run from 1 to NVTXS.\n"
    "  Error. Join U:V is given twice.\n"
    "  Error. Not enough memory to build the graph.\n"
    "  Error. Replicated graph too large: V vertices, E edges.  (and how -wide helps)\n"
    "  Error. Cannot write graph file: FILE     a write failed (disk full, size limit)\n"
    "Every message is listed in the manual page, graphrep(1).\n"
    "\n"
    "Exit status: 0 after a completed run (with -check: the file has no error),\n"
    "1 after any error.\n";

// The name that stands for a standard stream: standard input after -in, standard output
// after -out.
constexpr const char* standard_stream_name = "-";

// What the run holds from the reader's return until it ends.
struct ReaderArrays {
    Block<int> edge_offsets;
    Block<int> adjacency;
    Block<int> vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
};

// Refusals that need no file: a dangling option, the copy count, the connection count.
[[nodiscard]] int check_options(const RunOptions& options) {
    if (!options.option_without_value.empty()) {
        std::printf("Error. Option %s needs a value.\n", options.option_without_value.c_str());
        return 1;
    }
    // A check writes no graph: the copy and connection counts are not needed.
    if (options.check_only) return 0;
    // Before the sign is looked at: a count of that many digits is no count, whatever its sign.
    if (!options.refused_times_value.empty()) {
        std::printf("Error. Invalid number of copies (%s).\n", options.refused_times_value.c_str());
        return 1;
    }
    // A negative count would write a graph file with a negative vertex count.
    if (options.times < 1) {
        std::printf("at least two times.\n");
        return 1;
    }
    // A negative count would declare fewer edges than the copies hold.
    if (options.nconnect < 0) {
        std::printf("Error. Invalid number of connections (%d).\n", options.nconnect);
        return 1;
    }
    if (options.threads < 0) {
        std::printf("Error. Invalid number of threads (%d).\n", options.threads);
        return 1;
    }
    return 0;
}

// Opens the input for reading with a large buffer that lives in input_buffer. A directory
// opens on this system but reads as nothing, so it is refused here as unopenable.
[[nodiscard]] int open_input_file(const std::string& input_name, std::vector<char>& input_buffer,
                                  std::FILE*& input) {
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
        std::printf("Error. Cannot open graph file: %s\n", input_name.c_str());
        return 1;
    }
    try {
        input_buffer.resize(input_buffer_size);
        std::setvbuf(input, input_buffer.data(), _IOFBF, input_buffer.size());
    } catch (const std::bad_alloc&) {
        // The stream keeps its default buffer: slower, not wrong.
    }
    return 0;
}

// The replicated counts, join edges included, must fit the 32-bit numbers most readers of the
// format hold, unless -wide asks for 64-bit ones. Those cannot overflow: at most 2147483647
// copies of 2147483646 vertices.
[[nodiscard]] int check_replicated_size(const RunOptions& options, int nvtxs, int nedges,
                                        const ReplicaExtras& extras) {
    if (options.is_wide) return 0;
    std::int64_t total_vertices = std::int64_t{options.times} * nvtxs;
    std::int64_t total_edges = replicated_edge_count(
        options.times, nedges, static_cast<std::int64_t>(extras.join_pairs.size()),
        options.nconnect);
    if (total_vertices > INT_MAX || total_edges > INT_MAX) {
        std::printf("Error. Replicated graph too large: %lld vertices, %lld edges.\n",
                    static_cast<long long>(total_vertices), static_cast<long long>(total_edges));
        std::printf("Use -wide to write it for readers with 64-bit vertex numbers.\n");
        return 1;
    }
    return 0;
}

std::string default_output_name(const RunOptions& options) {
    return std::to_string(options.times) + "_" + options.input_name;
}

// Under -strict a warning fails the run: a file that draws one is not taken as good.
[[nodiscard]] int check_strictness(const RunOptions& options, const MessageSink& messages) {
    if (!options.is_strict || messages.warning_count() == 0) return 0;
    std::printf("Error. Warnings are not accepted with -strict.\n");
    return 1;
}

// True when the graph goes to standard output: -out -, or -in - without -out. A check
// writes no graph.
bool writes_standard_output(const RunOptions& options) {
    if (options.check_only) return false;
    if (options.output_name == standard_stream_name) return true;
    return options.output_name.empty() && options.input_name == standard_stream_name;
}

// Standard output is to hold the graph alone. The graph keeps a descriptor of its own for
// standard output, and standard output itself is pointed at standard error, so that every
// message of every stage goes there, in the order it is printed. Returns 1 with the
// cannot-open message when a descriptor cannot be had.
[[nodiscard]] int divert_messages(int& graph_descriptor) {
    graph_descriptor = dup(STDOUT_FILENO);
    if (graph_descriptor >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) >= 0) return 0;
    if (graph_descriptor >= 0) close(graph_descriptor);
    graph_descriptor = -1;
    std::printf("Error. Cannot open graph file: %s\n", standard_stream_name);
    return 1;
}

// Opens the named output file, or the descriptor kept for standard output when there is one.
[[nodiscard]] int open_output(const RunOptions& options, int graph_descriptor, OutputFile& output) {
    if (graph_descriptor < 0) return open_output_file(options.output_name, output);
    return open_output_descriptor(graph_descriptor, standard_stream_name, output);
}

[[nodiscard]] int write_output(const RunOptions& options, int graph_descriptor, int nvtxs,
                               int nedges, const VertexGraph& graph, const ReplicaExtras& extras) {
    // Messages still in the buffer of standard output go out first, so that they come
    // before the graph when the output file is standard output itself.
    std::fflush(stdout);
    OutputFile output;
    if (open_output(options, graph_descriptor, output) != 0) return 1;
    if (write_replicated_graph(output.stream, options.times, options.input_name, nvtxs, nedges,
                               options.nconnect, graph, extras) != 0) {
        abandon_output_file(output);
        return 1;
    }
    return finish_output_file(output);
}

// Reads and checks the input and, unless the run only checks, writes the copies.
[[nodiscard]] int run_stages(RunOptions& options, int graph_descriptor) {
    if (check_options(options) != 0) return 1;
    std::vector<char> input_buffer;
    std::FILE* input = nullptr;
    if (open_input_file(options.input_name, input_buffer, input) != 0) return 1;
    ReaderArrays arrays;
    MessageSink messages(stdout);
    // Any error of the graph file ends the run: its arrays are incomplete or describe a
    // graph the file did not mean, and a graph written from them would pass for a good one.
    // The reader checks on as many threads as formatting uses, but on no more than there are
    // processors: more cannot read faster, and each holds chunks in memory. A check hands the
    // arrays to no later stage, so the lists of vertices that no line reached are not written.
    ReaderSettings reader_settings;
    reader_settings.threads = options.threads > 0
                                  ? std::min(options.threads, available_processors())
                                  : available_processors();
    reader_settings.fills_unreached_lists = !options.check_only;
    if (read_graph_file(input, options.input_name.c_str(), messages, arrays.edge_offsets,
                        arrays.adjacency, arrays.nvtxs, arrays.vertex_weights, arrays.edge_weights,
                        reader_settings) != 0) {
        return 1;
    }
    if (check_strictness(options, messages) != 0) return 1;
    // A check ends with the reader: the checks are all made, and no copy is wanted.
    if (options.check_only) return 0;
    ReplicaExtras extras;
    if (take_join_pairs(options.join_items, arrays.nvtxs, extras.join_pairs) != 0) return 1;
    const int* edge_offsets = arrays.edge_offsets.empty() ? nullptr : arrays.edge_offsets.data();
    const int* adjacency = arrays.adjacency.empty() ? nullptr : arrays.adjacency.data();
    // The weights reach the builder, and so the copies, only when they are asked for.
    const int* vertex_weights = options.wants_weights && !arrays.vertex_weights.empty()
                                    ? arrays.vertex_weights.data()
                                    : nullptr;
    const float* edge_weights = options.wants_weights && !arrays.edge_weights.empty()
                                    ? arrays.edge_weights.data()
                                    : nullptr;
    extras.writes_vertex_weights = vertex_weights != nullptr;
    extras.writes_edge_weights = edge_weights != nullptr;
    extras.threads = options.threads > 0 ? options.threads : available_processors();
    VertexGraph graph;
    int nedges = 0;
    if (build_vertex_graph(edge_offsets, adjacency, arrays.nvtxs, nedges, vertex_weights,
                           edge_weights, graph, messages) != 0) {
        std::printf("Error. Not enough memory to build the graph.\n");
        return 1;
    }
    if (check_replicated_size(options, arrays.nvtxs, nedges, extras) != 0) return 1;
    if (options.output_name.empty()) options.output_name = default_output_name(options);
    return write_output(options, graph_descriptor, arrays.nvtxs, nedges, graph, extras);
}

[[nodiscard]] int run_options(RunOptions& options) {
    int graph_descriptor = -1;
    if (writes_standard_output(options) && divert_messages(graph_descriptor) != 0) return 1;
    return run_stages(options, graph_descriptor);
}

}  // namespace

int run_graphrep(int argc, const char* const* argv) {
    RunOptions options;
    parse_command_line(argc, argv, options);
    if (options.wants_help) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (options.wants_version) {
        std::printf("graphrep %s\n", GRAPHREP_VERSION);
        return 0;
    }
    return run_options(options);
}
