#include "graph/graph_stats.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "common/allocation.h"
#include "common/block.h"
#include "common/weight_text.h"

namespace {

// The longest bar of the histogram, drawn for the range with the most vertices.
constexpr std::int64_t bar_width = 40;

// The histogram's range labels are right-aligned after this indent, to the widest label.
constexpr int histogram_indent = 3;

// The longest range label: "1073741824-2147483647".
constexpr int max_label_bytes = 24;

// Writes the label of degree range k at text, with its terminating zero; returns its length.
int range_label(int range, char* text) {
    if (range < 2) {
        text[0] = static_cast<char>('0' + range);
        text[1] = '\0';
        return 1;
    }
    const std::int64_t low = std::int64_t{1} << (range - 1);
    const std::int64_t high = (std::int64_t{1} << range) - 1;
    char* end = text;
    end = std::to_chars(end, text + max_label_bytes, low).ptr;
    *end++ = '-';
    end = std::to_chars(end, text + max_label_bytes, high).ptr;
    *end = '\0';
    return static_cast<int>(end - text);
}

// The bar of a range: its share of the largest count in 40 marks, rounded to the nearest,
// and at least one mark for a range that holds any vertex.
std::int64_t bar_length(std::int64_t count, std::int64_t largest_count) {
    if (count == 0) return 0;
    return std::max<std::int64_t>(1, (bar_width * count + largest_count / 2) / largest_count);
}

// The weight's shortest text that reads back as the same float, as the copies carry it.
struct WeightText {
    char text[32];
    explicit WeightText(float weight) {
        text[form_weight_digits(weight, text)] = '\0';
    }
};

// Takes in the list of vertex: its degree, its edge weights, and every neighbour not yet
// reached, which joins the queue at tail.
void visit_list(const int* adjacency, const float* edge_weights, int vertex, std::int64_t first,
                std::int64_t last, Block<unsigned char>& is_reached, Block<int>& queue, int& tail,
                std::int64_t& degree, GraphStats& stats) {
    for (std::int64_t position = first; position < last; ++position) {
        const int neighbour = adjacency[position];
        if (neighbour == vertex) continue;
        ++degree;
        if (edge_weights != nullptr) {
            const float weight = edge_weights[position];
            if (!stats.has_edge_weights) {
                stats.has_edge_weights = true;
                stats.edge_weight_min = weight;
                stats.edge_weight_max = weight;
            }
            stats.edge_weight_sum += weight;
            stats.edge_weight_min = std::min(stats.edge_weight_min, weight);
            stats.edge_weight_max = std::max(stats.edge_weight_max, weight);
        }
        if (is_reached[neighbour] == 0) {
            is_reached[neighbour] = 1;
            queue[tail++] = neighbour;
        }
    }
}

// Tallies what a vertex adds once its list has been taken in.
void tally_vertex(const int* vertex_weights, int vertex, std::int64_t degree, GraphStats& stats) {
    stats.edge_count += degree;
    stats.min_degree = std::min(stats.min_degree, degree);
    stats.max_degree = std::max(stats.max_degree, degree);
    if (degree == 0) ++stats.isolated_count;
    ++stats.degree_counts[degree_range(degree)];
    if (vertex_weights != nullptr) {
        const int weight = vertex_weights[vertex - 1];
        stats.vertex_weight_total += weight;
        stats.vertex_weight_min = std::min(stats.vertex_weight_min, weight);
        stats.vertex_weight_max = std::max(stats.vertex_weight_max, weight);
    }
}

void print_histogram(const GraphStats& stats, MessageSink& sink) {
    const int first_range = degree_range(stats.min_degree);
    const int last_range = degree_range(stats.max_degree);
    std::int64_t largest_count = 0;
    int label_width = 0;
    char label[max_label_bytes];
    for (int range = first_range; range <= last_range; ++range) {
        largest_count = std::max(largest_count, stats.degree_counts[range]);
        label_width = std::max(label_width, range_label(range, label));
    }
    char bar[bar_width + 1];
    sink.print("Degrees:\n");
    for (int range = first_range; range <= last_range; ++range) {
        const std::int64_t count = stats.degree_counts[range];
        const std::int64_t length = bar_length(count, largest_count);
        std::memset(bar, '#', static_cast<std::size_t>(length));
        std::memset(bar + length, ' ', static_cast<std::size_t>(bar_width - length));
        bar[bar_width] = '\0';
        range_label(range, label);
        sink.print("%*s%*s | %s %lld\n", histogram_indent, "", label_width, label, bar,
                   static_cast<long long>(count));
    }
}

}  // namespace

int degree_range(std::int64_t degree) {
    return static_cast<int>(std::bit_width(static_cast<std::uint64_t>(degree)));
}

int compute_graph_stats(const std::int64_t* edge_offsets, const int* adjacency, int nvtxs,
                        const int* vertex_weights, const float* edge_weights, GraphStats& stats) {
    stats = GraphStats{};
    if (nvtxs < 1) return 0;
    // is_reached is indexed by vertex number, 1 to nvtxs; the queue holds the vertices of one
    // component at a time, so it never needs more than nvtxs entries.
    Block<unsigned char> is_reached;
    Block<int> queue;
    if (allocates_or_fails([&] {
            is_reached.resize(static_cast<std::size_t>(nvtxs) + 1);
            queue.resize(static_cast<std::size_t>(nvtxs));
        }) != 0) {
        return 1;
    }
    stats.vertex_count = nvtxs;
    stats.min_degree = INT64_MAX;
    stats.has_vertex_weights = vertex_weights != nullptr;
    if (vertex_weights != nullptr) {
        stats.vertex_weight_min = vertex_weights[0];
        stats.vertex_weight_max = vertex_weights[0];
    }
    for (int root = 1; root <= nvtxs; ++root) {
        if (is_reached[root] != 0) continue;
        is_reached[root] = 1;
        queue[0] = root;
        int head = 0;
        int tail = 1;
        while (head < tail) {
            const int vertex = queue[head++];
            std::int64_t degree = 0;
            if (edge_offsets != nullptr) {
                visit_list(adjacency, edge_weights, vertex, edge_offsets[vertex - 1],
                           edge_offsets[vertex], is_reached, queue, tail, degree, stats);
            }
            tally_vertex(vertex_weights, vertex, degree, stats);
        }
        ++stats.component_count;
        stats.largest_component = std::max<std::int64_t>(stats.largest_component, tail);
    }
    // Every edge was met at both of its ends.
    stats.edge_count /= 2;
    return 0;
}

void print_graph_stats(const GraphStats& stats, MessageSink& sink) {
    sink.print("Vertices: %lld\n", static_cast<long long>(stats.vertex_count));
    sink.print("Edges: %lld\n", static_cast<long long>(stats.edge_count));
    if (stats.vertex_count < 1) return;
    const double mean_degree =
        2.0 * static_cast<double>(stats.edge_count) / static_cast<double>(stats.vertex_count);
    sink.print("Degree: min %lld, mean %.2f, max %lld\n", static_cast<long long>(stats.min_degree),
               mean_degree, static_cast<long long>(stats.max_degree));
    sink.print("Isolated vertices: %lld\n", static_cast<long long>(stats.isolated_count));
    sink.print("Components: %lld (largest %lld %s)\n",
               static_cast<long long>(stats.component_count),
               static_cast<long long>(stats.largest_component),
               stats.largest_component == 1 ? "vertex" : "vertices");
    if (stats.has_vertex_weights) {
        sink.print("Vertex weights: total %lld, min %d, max %d\n",
                   static_cast<long long>(stats.vertex_weight_total), stats.vertex_weight_min,
                   stats.vertex_weight_max);
    }
    if (stats.has_edge_weights) {
        // Each edge counts once: its weight was met at both ends. The figures are floats, as
        // the weights are held.
        const WeightText total(static_cast<float>(stats.edge_weight_sum / 2.0));
        const WeightText min(stats.edge_weight_min);
        const WeightText max(stats.edge_weight_max);
        sink.print("Edge weights: total %s, min %s, max %s\n", total.text, min.text, max.text);
    }
    print_histogram(stats, sink);
}
