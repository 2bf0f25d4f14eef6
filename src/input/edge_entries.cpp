#include "input/edge_entries.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "common/helper_threads.h"
#include "common/processors.h"
#include "input/block_input.h"

namespace {

// Chunks of the text reader's size: the scan of one stays in cache.
constexpr std::int64_t default_chunk_bytes = std::int64_t{512} << 10;
// More threads than this gain nothing: the chunks come from one stream.
constexpr int max_threads = 64;
// Placing on a thread of its own pays for itself only with this many edges.
constexpr std::int64_t edges_per_thread = std::int64_t{1} << 16;

// What the threads share: the input is taken in chunk order under the lock.
struct EdgePipeline {
    const EdgeLineFormat& format;
    EdgeGathering& gathering;
    std::mutex lock;
    BlockInput input;
    bool is_done = false;
};

// Takes the next chunk and the place of its scan; false when there is none to take, the
// input has ended or a fault has been met.
bool take_chunk(EdgePipeline& pipeline, Chunk& chunk, EdgeLineScan*& scan) {
    std::lock_guard<std::mutex> guard(pipeline.lock);
    if (pipeline.is_done || pipeline.gathering.has_failed) return false;
    try {
        if (!read_chunk(pipeline.input, chunk)) {
            pipeline.is_done = true;
            return false;
        }
        pipeline.gathering.chunks.push_back(std::make_unique<EdgeLineScan>());
        scan = pipeline.gathering.chunks.back().get();
    } catch (const std::bad_alloc&) {
        pipeline.gathering.has_failed = true;
        return false;
    }
    return true;
}

void scan_chunks(EdgePipeline& pipeline) {
    Chunk chunk;
    EdgeLineScan* scan = nullptr;
    while (take_chunk(pipeline, chunk, scan)) {
        bool has_scanned = true;
        try {
            scan_edge_lines(pipeline.format, chunk, *scan);
        } catch (const std::bad_alloc&) {
            has_scanned = false;
        }
        std::lock_guard<std::mutex> guard(pipeline.lock);
        if (!has_scanned) pipeline.gathering.has_failed = true;
        // Chunks are taken in file order: those after a fault are not needed, and the one
        // that names the file's first fault has been taken already.
        if (scan->fault != EdgeLineFault::none) pipeline.is_done = true;
    }
}

}  // namespace

void gather_edge_lines(std::FILE* file, const EdgeLineFormat& format, int threads,
                       std::int64_t chunk_bytes, EdgeGathering& gathering) {
    EdgePipeline pipeline{format, gathering, {}, {}, false};
    pipeline.input.file = file;
    // A line read through is held up to the first byte that can be neither a number, a
    // blank nor a comma, that byte included: a scan of the held copy meets the same fault, or
    // comment, as a scan of the whole line.
    pipeline.input.keeps_settling_byte = true;
    pipeline.input.counts_commas = true;
    pipeline.input.block_bytes = chunk_bytes > 0 ? chunk_bytes : default_chunk_bytes;
    threads = std::clamp(threads > 0 ? threads : available_processors(), 1, max_threads);
    HelperThreads helpers;
    helpers.make_room(threads - 1);
    for (int i = 1; i < threads; ++i) {
        if (!helpers.start([&pipeline] { scan_chunks(pipeline); })) break;
    }
    scan_chunks(pipeline);
    helpers.join();
}

bool find_edge_fault(EdgeGathering& gathering, std::int64_t lines_before) {
    std::int64_t lines = lines_before;
    for (const std::unique_ptr<EdgeLineScan>& scan : gathering.chunks) {
        if (scan->fault != EdgeLineFault::none) {
            gathering.fault = scan.get();
            gathering.fault_line = lines + scan->fault_line + 1;
            return true;
        }
        lines += scan->line_count;
    }
    return false;
}

EdgeTotals count_edges(const EdgeGathering& gathering) {
    EdgeTotals totals;
    for (const std::unique_ptr<EdgeLineScan>& scan : gathering.chunks) {
        const std::vector<int>& ends = scan->ends;
        totals.edges += static_cast<std::int64_t>(ends.size()) / 2;
        for (std::size_t i = 0; i < ends.size(); i += 2)
            totals.entries += ends[i] == ends[i + 1] ? 1 : 2;
        totals.largest_vertex = std::max(totals.largest_vertex, scan->largest_vertex);
        totals.has_weights = totals.has_weights || scan->weighted_lines > 0;
    }
    return totals;
}

namespace {

// The vertices from first up to last (counted from 0) that one thread places.
struct VertexRange {
    int first;
    int last;
    bool holds(int vertex) const {
        return vertex >= first && vertex < last;
    }
};

// Counts the entries of the vertices of range at the place after each vertex's own.
void count_range(const EdgeGathering& gathering, VertexRange range,
                 Block<std::int64_t>& edge_offsets) {
    for (const std::unique_ptr<EdgeLineScan>& scan : gathering.chunks) {
        const std::vector<int>& ends = scan->ends;
        for (std::size_t i = 0; i < ends.size(); i += 2) {
            if (range.holds(ends[i])) ++edge_offsets[ends[i] + 1];
            if (ends[i] != ends[i + 1] && range.holds(ends[i + 1])) ++edge_offsets[ends[i + 1] + 1];
        }
    }
}

// Places the entries of the vertices of range, in line order; edge_offsets[v + 1] holds the
// place of v's next entry.
void place_range(const EdgeGathering& gathering, VertexRange range, bool has_weights,
                 Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                 Block<float>& edge_weights) {
    for (const std::unique_ptr<EdgeLineScan>& scan : gathering.chunks) {
        const std::vector<int>& ends = scan->ends;
        const bool has_chunk_weights = !scan->weights.empty();
        for (std::size_t i = 0; i < ends.size(); i += 2) {
            const int u = ends[i];
            const int v = ends[i + 1];
            const float weight = has_chunk_weights ? scan->weights[i / 2] : 1.0f;
            if (range.holds(u)) {
                const std::int64_t at = edge_offsets[u + 1]++;
                adjacency[at] = v + 1;
                if (has_weights) edge_weights[at] = weight;
            }
            if (u != v && range.holds(v)) {
                const std::int64_t at = edge_offsets[v + 1]++;
                adjacency[at] = u + 1;
                if (has_weights) edge_weights[at] = weight;
            }
        }
    }
}

// Runs task(range) for threads ranges of the vertices, the calling thread taking the first.
template <class Task>
void run_ranges(int nvtxs, int threads, Task task) {
    auto range_of = [&](int index) {
        return VertexRange{static_cast<int>(std::int64_t{nvtxs} * index / threads),
                           static_cast<int>(std::int64_t{nvtxs} * (index + 1) / threads)};
    };
    HelperThreads helpers;
    helpers.make_room(threads - 1);
    int started = 1;
    for (; started < threads; ++started) {
        if (!helpers.start([&task, range = range_of(started)] { task(range); })) break;
    }
    // The ranges no thread could be started for are the calling thread's.
    task(range_of(0));
    for (int index = started; index < threads; ++index)
        task(range_of(index));
    helpers.join();
}

}  // namespace

void place_edges(EdgeGathering& gathering, const EdgeTotals& totals, int nvtxs, int threads,
                 Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                 Block<float>& edge_weights) {
    edge_offsets.resize(static_cast<std::size_t>(nvtxs) + 1);
    adjacency.resize(static_cast<std::size_t>(std::max<std::int64_t>(totals.entries, 1)));
    if (totals.has_weights) edge_weights.resize(adjacency.size());
    // Each thread reads every edge and writes the entries of its own vertices only, so each
    // list is still written in line order, with no lock. A thread pays off only for many
    // edges.
    threads = std::clamp<std::int64_t>(totals.edges / edges_per_thread + 1, 1,
                                       std::clamp(threads, 1, max_threads));
    run_ranges(nvtxs, threads,
               [&](VertexRange range) { count_range(gathering, range, edge_offsets); });
    // Each vertex's entry count at the place after its own is turned into the place of its
    // first entry there: placing moves it on to the vertex's end, which is where the list of
    // the vertex after it begins, as edge_offsets holds it.
    std::int64_t total = 0;
    for (int v = 1; v <= nvtxs; ++v) {
        const std::int64_t count = edge_offsets[v];
        edge_offsets[v] = total;
        total += count;
    }
    run_ranges(nvtxs, threads, [&](VertexRange range) {
        place_range(gathering, range, totals.has_weights, edge_offsets, adjacency, edge_weights);
    });
    gathering.chunks.clear();
}
