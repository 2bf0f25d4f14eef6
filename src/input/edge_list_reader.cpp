#include "input/edge_list_reader.h"

#include "common/allocation.h"
#include "common/processors.h"
#include "input/reader_common.h"
#include "input/reader_messages.h"

namespace {

// The largest vertex count a graph may have, as a graph file's header may give it.
constexpr int max_nvtxs = 2147483646;
// With -wide the lists hold up to two entries for each of 2^62 - 1 edges, as many as the
// repair that makes them a graph takes.
constexpr std::int64_t wide_entry_limit = 2 * ((std::int64_t{1} << 62) - 1);

long long as_long(std::int64_t value) {
    return static_cast<long long>(value);
}

void report_detail(const char* file_name, MessageSink& messages) {
    report_error_prefix({file_name, 0, 0}, messages);
}

[[nodiscard]] int read_edge_lines(std::FILE* file, const char* file_name, MessageSink& messages,
                                  Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                                  int& nvtxs, Block<float>& edge_weights,
                                  const ReaderSettings& settings, int first_number) {
    EdgeLineFormat format;
    format.first_number = first_number;
    format.last_number = max_nvtxs - 1 + first_number;
    EdgeGathering gathering;
    gather_edge_lines(file, format, settings.threads, settings.chunk_bytes, gathering);
    int result = 1;
    if (gathering.has_failed) {
        report_detail(file_name, messages);
        messages.print(" not enough memory for the edges.\n");
    } else if (find_edge_fault(gathering, 0)) {
        report_edge_fault(file_name, format, gathering, messages);
    } else {
        const EdgeTotals totals = count_edges(gathering);
        if (totals.edges == 0) {
            report_detail(file_name, messages);
            messages.print(" no edge in the file.\n");
        } else {
            nvtxs = totals.largest_vertex + 1;
            result = place_gathered_edges(file_name, gathering, totals, nvtxs, settings,
                                          edge_offsets, adjacency, edge_weights, messages);
        }
    }
    return close_graph_file(file, file_name, messages, result);
}

}  // namespace

void report_edge_fault(const char* file_name, const EdgeLineFormat& format,
                       const EdgeGathering& gathering, MessageSink& messages) {
    const EdgeLineScan& scan = *gathering.fault;
    const long long line = as_long(gathering.fault_line);
    const long long value = as_long(scan.fault_value);
    report_detail(file_name, messages);
    switch (scan.fault) {
        case EdgeLineFault::none:
            break;
        case EdgeLineFault::too_few_numbers:
            messages.print(" too few numbers in line %lld (%lld, where %d are needed).\n", line,
                           value, format.fewest_numbers);
            break;
        case EdgeLineFault::too_many_numbers:
            messages.print(" more than %d numbers in line %lld.\n", format.most_numbers, line);
            break;
        case EdgeLineFault::not_a_number:
            messages.print(" text that is not a number in line %lld.\n", line);
            break;
        case EdgeLineFault::vertex_below_first:
            messages.print(" vertex %lld in line %lld; vertices are numbered from %d.\n", value,
                           line, format.first_number);
            break;
        case EdgeLineFault::vertex_above_last:
            messages.print(" vertex %lld in line %lld; vertices are numbered up to %d.\n", value,
                           line, format.last_number);
            break;
        case EdgeLineFault::bad_weight:
            messages.print(" edge weight %g in line %lld is not a positive number a float holds.\n",
                           scan.fault_weight, line);
            break;
    }
}

int place_gathered_edges(const char* file_name, EdgeGathering& gathering, const EdgeTotals& totals,
                         int nvtxs, const ReaderSettings& settings,
                         Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                         Block<float>& edge_weights, MessageSink& messages) {
    // Without -wide the lists are the narrow arrays, whose positions are signed 32-bit values:
    // two entries for each edge a narrow header may count.
    const std::int64_t max_entries =
        settings.is_wide ? wide_entry_limit : 2 * narrow_limit_of(settings);
    if (totals.entries > max_entries) {
        report_detail(file_name, messages);
        messages.print(" %lld edge entries, more than the %lld the lists can hold.\n",
                       as_long(totals.entries), as_long(max_entries));
        return 1;
    }
    if (allocates_or_fails([&] {
            place_edges(gathering, totals, nvtxs,
                        settings.threads > 0 ? settings.threads : available_processors(),
                        edge_offsets, adjacency, edge_weights);
        }) != 0) {
        edge_offsets = Block<std::int64_t>{};
        adjacency = Block<int>{};
        edge_weights = Block<float>{};
        report_detail(file_name, messages);
        messages.print(" not enough memory for %d vertices and %lld edges.\n", nvtxs,
                       as_long(totals.edges));
        return 1;
    }
    if (settings.findings != nullptr) {
        *settings.findings = ReadFindings{};
        settings.findings->is_filled = true;
        settings.findings->holds_edge_lines = true;
    }
    return 0;
}

int read_edge_list_file(std::FILE* file, const char* file_name, MessageSink& messages,
                        Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                        Block<int>& /*vertex_weights*/, Block<float>& edge_weights,
                        const ReaderSettings& settings) {
    return read_edge_lines(file, file_name, messages, edge_offsets, adjacency, nvtxs, edge_weights,
                           settings, 0);
}

int read_edge_list1_file(std::FILE* file, const char* file_name, MessageSink& messages,
                         Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                         Block<int>& /*vertex_weights*/, Block<float>& edge_weights,
                         const ReaderSettings& settings) {
    return read_edge_lines(file, file_name, messages, edge_offsets, adjacency, nvtxs, edge_weights,
                           settings, 1);
}
