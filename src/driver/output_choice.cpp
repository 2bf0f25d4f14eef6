#include "driver/output_choice.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/run_messages.h"
#include "output/copy_layout.h"
#include "output/parhip_writer.h"
#include "output/part_file.h"
#include "output/part_plan.h"

namespace {

constexpr const char text_format_name[] = "text";
constexpr const char parhip_format_name[] = "parhip";

void print_write_failure(const std::string& name, MessageSink& messages) {
    report_cannot_write(messages, name.c_str());
}

void print_memory_shortage(MessageSink& messages) {
    report_no_memory_to_write(messages);
}

// Closes the part file after its ranges were written, or abandons it with the message of what
// went wrong.
[[nodiscard]] int settle_part(WriteResult result, PartFile& file, MessageSink& messages) {
    switch (result) {
        case WriteResult::written:
            return file.finish(messages);
        case WriteResult::write_failed:
            file.abandon(messages);
            return 1;
        case WriteResult::out_of_memory:
            print_memory_shortage(messages);
            return 1;
    }
    return 1;
}

// The length of the comment and header lines, as the text writer forms them: it writes them
// alone into memory. -1 when that memory is not there.
std::int64_t front_length(const RunSettings& settings, int nvtxs, int nedges,
                          const VertexGraph& graph, const ReplicaExtras& extras) {
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&bytes, &size);
    if (stream == nullptr) return -1;
    ReplicaExtras front_only = extras;
    front_only.first_copy = 0;
    front_only.end_copy = 0;
    front_only.writes_front = true;
    const bool is_written =
        write_replicated_graph(stream, settings.times, settings.input_name, nvtxs, nedges,
                               settings.nconnect, graph, front_only) == WriteResult::written;
    const bool is_closed = std::fclose(stream) == 0;
    std::free(bytes);
    return is_written && is_closed ? static_cast<std::int64_t>(size) : -1;
}

// Writes the text of the part's copies from position start, through a stream of its own on
// the part file, and checks that they end where the layout says the next part begins.
[[nodiscard]] WriteResult write_text_range(const RunSettings& settings, int nvtxs, int nedges,
                                           const VertexGraph& graph, const ReplicaExtras& extras,
                                           int descriptor, std::int64_t start, std::int64_t stop) {
    const int stream_descriptor = dup(descriptor);
    if (stream_descriptor < 0) return WriteResult::write_failed;
    std::FILE* stream = fdopen(stream_descriptor, "w");
    if (stream == nullptr) {
        close(stream_descriptor);
        return WriteResult::write_failed;
    }
    WriteResult result = WriteResult::write_failed;
    if (fseeko(stream, start, SEEK_SET) == 0) {
        result = write_replicated_graph(stream, settings.times, settings.input_name, nvtxs, nedges,
                                        settings.nconnect, graph, extras);
    }
    const bool ends_in_place = std::fflush(stream) == 0 && ftello(stream) == stop;
    if (std::fclose(stream) != 0 || (result == WriteResult::written && !ends_in_place)) {
        result = WriteResult::write_failed;
    }
    return result;
}

// Opens the part file at the whole output's size (-1: past what a file offset holds) and
// narrows extras to the part's copies. Prints the failure and returns 1.
[[nodiscard]] int open_part(const RunSettings& settings, const PartPlan& plan, std::int64_t size,
                            PartFile& file, ReplicaExtras& extras, MessageSink& messages) {
    if (size < 0) {
        print_write_failure(settings.output_name, messages);
        return 1;
    }
    if (file.open(settings.output_name, size, messages) != 0) return 1;
    extras.first_copy = plan.first_copy;
    extras.end_copy = plan.end_copy;
    extras.writes_front = plan.holds_front;
    return 0;
}

[[nodiscard]] int write_text_part(const RunSettings& settings, const PartPlan& plan, int nvtxs,
                                  int nedges, const VertexGraph& graph, ReplicaExtras extras,
                                  MessageSink& messages) {
    const std::int64_t front_bytes = front_length(settings, nvtxs, nedges, graph, extras);
    TextExtent extent;
    if (front_bytes < 0 ||
        measure_text_copies(graph, settings.times, nvtxs, front_bytes, extras, extent) != 0) {
        print_memory_shortage(messages);
        return 1;
    }
    PartFile file;
    if (open_part(settings, plan, text_copy_start(extent, settings.times), file, extras,
                  messages) != 0) {
        return 1;
    }
    const std::int64_t start = plan.holds_front ? 0 : text_copy_start(extent, plan.first_copy);
    const std::int64_t stop = text_copy_start(extent, plan.end_copy);
    return settle_part(
        write_text_range(settings, nvtxs, nedges, graph, extras, file.descriptor(), start, stop),
        file, messages);
}

[[nodiscard]] int write_binary_part(const RunSettings& settings, const PartPlan& plan, int nvtxs,
                                    const VertexGraph& graph, ReplicaExtras extras,
                                    MessageSink& messages) {
    PartFile file;
    if (open_part(settings, plan, parhip_size(settings.times, nvtxs, graph, extras), file, extras,
                  messages) != 0) {
        return 1;
    }
    ByteTarget target;
    target.descriptor = file.descriptor();
    return settle_part(write_parhip_graph(target, settings.times, nvtxs, graph, extras), file,
                       messages);
}

}  // namespace

int choose_output(const RunOptions& options, RunSettings& settings, MessageSink& messages) {
    OutputChoice& choice = settings.output;
    choice = OutputChoice{};
    if (options.check_only) return 0;
    if (options.format_name == parhip_format_name) {
        choice.format = OutputFormat::parhip;
    } else if (options.format_name != text_format_name) {
        messages.error("Error. Invalid format %s.\n", options.format_name.c_str());
        return 1;
    }
    if (options.has_part) {
        if (read_part_value(options.part_value.c_str(), choice.part_index, choice.part_count) !=
            0) {
            messages.error("Error. Invalid part %s.\n", options.part_value.c_str());
            return 1;
        }
        // The parts meet in one file at their own positions: a stream has none.
        if (settings.graph_to_standard_output) {
            report_part_needs_regular_file(messages);
            return 1;
        }
    }
    // The offsets say where each list ends: they cannot count edges that no list holds.
    if (choice.format == OutputFormat::parhip && settings.nconnect > 0) {
        messages.error("Error. Declared connections cannot be written in the parhip format.\n");
        return 1;
    }
    return 0;
}

int check_output_graph(const OutputChoice& choice, int nvtxs, const VertexGraph& graph,
                       const ReplicaExtras& extras, MessageSink& messages) {
    if (choice.format != OutputFormat::parhip || !extras.writes_edge_weights) return 0;
    return check_parhip_weights(graph, nvtxs, messages);
}

WriteResult write_whole_binary(std::FILE* stream, bool is_new_file, int times, int nvtxs,
                               const VertexGraph& graph, const ReplicaExtras& extras) {
    const std::int64_t size = parhip_size(times, nvtxs, graph, extras);
    if (size < 0) return WriteResult::write_failed;
    ByteTarget target;
    // A new file of its own takes the copies at their positions, from several threads; a
    // stream (a pipe, or a file opened for appending) only in order. The new file gets its
    // size first: writes within it cost less than writes that extend it, out of order.
    if (is_new_file) {
        if (std::fflush(stream) != 0 || ftruncate(fileno(stream), size) != 0) {
            return WriteResult::write_failed;
        }
        target.descriptor = fileno(stream);
    } else {
        target.stream = stream;
    }
    return write_parhip_graph(target, times, nvtxs, graph, extras);
}

int write_output_part(const RunSettings& settings, int nvtxs, int nedges, const VertexGraph& graph,
                      const ReplicaExtras& extras, MessageSink& messages) {
    const OutputChoice& choice = settings.output;
    // Messages still in the buffer go out before the file is touched, as for a whole output.
    messages.flush();
    const PartPlan plan = plan_part(choice.part_index, choice.part_count, settings.times);
    if (choice.format == OutputFormat::parhip) {
        return write_binary_part(settings, plan, nvtxs, graph, extras, messages);
    }
    return write_text_part(settings, plan, nvtxs, nedges, graph, extras, messages);
}
