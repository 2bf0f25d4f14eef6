#include "output/output_format.h"

#include <unistd.h>

#include <cstdlib>

#include "common/progress_line.h"
#include "common/run_messages.h"
#include "output/copy_layout.h"
#include "output/parhip_writer.h"
#include "output/part_file.h"

namespace {

void print_write_failure(const std::string& name, MessageSink& messages) {
    report_cannot_write(messages, name.c_str());
}

void print_memory_shortage(MessageSink& messages) {
    report_no_memory_to_write(messages);
}

WriteResult write_text(std::FILE* stream, const OutputJob& job, const ReplicaExtras& extras) {
    return write_replicated_graph(stream, job.times, *job.input_name, job.nvtxs, job.nedges,
                                  job.nconnect, *job.graph, extras);
}

// The text is written in order, whatever the stream.
WriteResult write_whole_text(std::FILE* stream, bool, const OutputJob& job) {
    return write_text(stream, job, *job.extras);
}

// The length of the comment and header lines, as the text writer forms them: it writes them
// alone into memory. -1 when that memory is not there.
std::int64_t front_length(const OutputJob& job) {
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&bytes, &size);
    if (stream == nullptr) return -1;
    ReplicaExtras front_only = *job.extras;
    front_only.first_copy = 0;
    front_only.end_copy = 0;
    front_only.writes_front = true;
    const bool is_written = write_text(stream, job, front_only) == WriteResult::written;
    const bool is_closed = std::fclose(stream) == 0;
    std::free(bytes);
    return is_written && is_closed ? static_cast<std::int64_t>(size) : -1;
}

// The copies' positions follow from their digits, counted without writing them.
int place_text_part(const OutputJob& job, PartPlace& place) {
    const ReplicaExtras& extras = *job.extras;
    const std::int64_t front_bytes = front_length(job);
    TextExtent extent;
    if (front_bytes < 0 ||
        measure_text_copies(*job.graph, job.times, job.nvtxs, front_bytes, extras, extent) != 0) {
        return 1;
    }
    place.whole_size = text_copy_start(extent, job.times);
    place.start = extras.writes_front ? 0 : text_copy_start(extent, extras.first_copy);
    place.stop = text_copy_start(extent, extras.end_copy);
    return 0;
}

// Writes the text of the part's copies from place.start, through a stream of its own on the
// part file, and checks that they end where the layout says the next part begins.
WriteResult write_text_part(const OutputJob& job, int descriptor, const PartPlace& place) {
    // The part's bytes are known: a progress line shows them whole, not estimated.
    if (job.extras->progress != nullptr) {
        job.extras->progress->bytes_total.store(place.stop - place.start,
                                                std::memory_order_relaxed);
    }
    const int stream_descriptor = dup(descriptor);
    if (stream_descriptor < 0) return WriteResult::write_failed;
    std::FILE* stream = fdopen(stream_descriptor, "w");
    if (stream == nullptr) {
        close(stream_descriptor);
        return WriteResult::write_failed;
    }
    WriteResult result = WriteResult::write_failed;
    if (fseeko(stream, place.start, SEEK_SET) == 0) result = write_text(stream, job, *job.extras);
    const bool ends_in_place = std::fflush(stream) == 0 && ftello(stream) == place.stop;
    if (std::fclose(stream) != 0 || (result == WriteResult::written && !ends_in_place)) {
        result = WriteResult::write_failed;
    }
    return result;
}

// Only the edge weights a binary output carries can be past what it holds.
int check_binary_graph(const OutputJob& job, MessageSink& messages) {
    if (!job.extras->writes_edge_weights) return 0;
    return check_parhip_weights(*job.graph, job.nvtxs, messages);
}

std::int64_t binary_size(const OutputJob& job) {
    return parhip_size(job.times, job.nvtxs, *job.graph, *job.extras);
}

WriteResult write_whole_binary(std::FILE* stream, bool is_new_file, const OutputJob& job) {
    const std::int64_t size = binary_size(job);
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
    return write_parhip_graph(target, job.times, job.nvtxs, *job.graph, *job.extras);
}

// Every field has its position: a part needs only the whole size.
int place_binary_part(const OutputJob& job, PartPlace& place) {
    place.whole_size = binary_size(job);
    return 0;
}

WriteResult write_binary_part(const OutputJob& job, int descriptor, const PartPlace&) {
    ByteTarget target;
    target.descriptor = descriptor;
    return write_parhip_graph(target, job.times, job.nvtxs, *job.graph, *job.extras);
}

constexpr OutputFormat formats[] = {
    {"text", "text (the default)", true, true, nullptr, write_whole_text, place_text_part,
     write_text_part},
    // The offsets say where each list ends: they cannot count edges that no list holds. The
    // fields are 64-bit throughout.
    {"parhip",
     "parhip: the binary layout of 64-bit fields that distributed partitioners read in "
     "parallel",
     false, false, check_binary_graph, write_whole_binary, place_binary_part, write_binary_part},
};

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

}  // namespace

std::span<const OutputFormat> output_formats() {
    return formats;
}

const OutputFormat* find_output_format(std::string_view name) {
    for (const OutputFormat& format : formats) {
        if (name == format.name) return &format;
    }
    return nullptr;
}

std::string output_format_list(const char* OutputFormat::*field) {
    std::string list;
    for (const OutputFormat& format : formats) {
        if (!list.empty()) list += &format == &formats[std::size(formats) - 1] ? " or " : ", ";
        list += format.*field;
    }
    return list;
}

int write_output_part(const OutputFormat& format, const std::string& output_name,
                      const PartPlan& plan, const OutputJob& job, MessageSink& messages) {
    ReplicaExtras extras = *job.extras;
    extras.first_copy = plan.first_copy;
    extras.end_copy = plan.end_copy;
    extras.writes_front = plan.holds_front;
    OutputJob part_job = job;
    part_job.extras = &extras;
    PartPlace place;
    if (format.place_part(part_job, place) != 0) {
        print_memory_shortage(messages);
        return 1;
    }
    if (place.whole_size < 0) {
        print_write_failure(output_name, messages);
        return 1;
    }
    PartFile file;
    if (file.open(output_name, place.whole_size, messages) != 0) return 1;
    return settle_part(format.write_part(part_job, file.descriptor(), place), file, messages);
}
