#include "input/serial_index.h"

#include <algorithm>
#include <cstdint>

namespace {

// The position of vertex in the sorted long list of owner, at positions start to end - 1,
// or -1. The vertices that look into one list come in increasing order, so each search
// starts where the one before it ended and gallops forward: all the searches in a list of
// length d cost O(d) together, however many vertices look into it, instead of log(d) each.
std::int64_t long_list_position(NeighbourIndex& index, int owner, int vertex, std::int64_t start,
                                std::int64_t end) {
    const int* sorted = index.sorted_lists.data() + start;
    const int* adjacency = index.adjacency.data() + start;
    const std::int64_t length = end - start;
    std::int64_t first = index.search_cursors[owner];
    if (first < length && adjacency[sorted[first]] < vertex) {
        // adjacency[sorted[below]] < vertex throughout; the step doubles until it passes it.
        std::int64_t below = first;
        std::int64_t step = 1;
        while (below + step < length && adjacency[sorted[below + step]] < vertex) {
            below += step;
            step *= 2;
        }
        const std::int64_t upper = std::min(below + step, length);
        first = std::lower_bound(
                    sorted + below + 1, sorted + upper, vertex,
                    [adjacency](int position, int value) { return adjacency[position] < value; }) -
                sorted;
    }
    index.search_cursors[owner] = static_cast<int>(first);
    return first < length && adjacency[sorted[first]] == vertex ? start + sorted[first] : -1;
}

}  // namespace

void size_index(NeighbourIndex& index, int nvtxs, std::int64_t nedges) {
    const std::size_t offset_count = static_cast<std::size_t>(nvtxs) + 1;
    // Vertex numbers start at 1, so the stamp 0 matches no vertex.
    index.kept_for.resize(offset_count);
    // Only the 2 * nedges entries that can be kept are ever sorted.
    index.sorted_lists.resize(2 * static_cast<std::size_t>(nedges));
    index.search_cursors.resize(offset_count);
}

// Copies and sorts a completed long list, so that later vertices find themselves in it by
// halving.
void sort_long_list(NeighbourIndex& index, int vertex) {
    const std::int64_t start = index.edge_offsets[vertex - 1];
    const std::int64_t end = index.edge_offsets[vertex];
    if (end - start <= short_list_length) return;
    // Places within the list, not in adjacency: a list is shorter than 2^31 (its entries are
    // distinct vertices), so they stay 32-bit however far into a wide adjacency it lies.
    int* sorted = index.sorted_lists.data() + start;
    const int length = static_cast<int>(end - start);
    for (int place = 0; place < length; ++place)
        sorted[place] = place;
    const int* list = index.adjacency.data() + start;
    auto by_neighbour = [list](int a, int b) { return list[a] < list[b]; };
    // Many files list neighbours in increasing order already.
    if (!std::is_sorted(sorted, sorted + length, by_neighbour)) {
        std::sort(sorted, sorted + length, by_neighbour);
    }
}

// A new vertex's list starts at list_start; the list before it is complete now, and every
// list before that one already is.
void begin_list(NeighbourIndex& index, int vertex, std::int64_t list_start) {
    if (vertex > 1) sort_long_list(index, vertex - 1);
    index.list_start = list_start;
    index.list_is_stamped = false;
}

// Whether neighbour is already kept for the current vertex, on this line or an earlier one;
// the list ends before kept_count.
bool is_kept_already(const NeighbourIndex& index, std::int64_t kept_count, int vertex,
                     int neighbour) {
    if (index.list_is_stamped) return index.kept_for[neighbour] == vertex;
    for (std::int64_t position = index.list_start; position < kept_count; ++position) {
        if (index.adjacency[position] == neighbour) return true;
    }
    return false;
}

// The position of vertex in the complete list of owner, or -1. Between two restarts, the
// vertices that look into one long list must come in increasing order.
std::int64_t list_position(NeighbourIndex& index, int owner, int vertex) {
    const std::int64_t start = index.edge_offsets[owner - 1];
    const std::int64_t end = index.edge_offsets[owner];
    if (end - start > short_list_length) {
        return long_list_position(index, owner, vertex, start, end);
    }
    for (std::int64_t position = start; position < end; ++position) {
        if (index.adjacency[position] == vertex) return position;
    }
    return -1;
}

// Lets the long lists of vertices 1 to last_vertex be searched again from their start; no
// other list has been searched, and the entries of the others are left untouched.
void restart_searches(NeighbourIndex& index, int last_vertex) {
    std::fill(index.search_cursors.begin(), index.search_cursors.begin() + last_vertex + 1, 0);
}

// Once the current list grows long, every later entry is stamped as it is kept; kept_count
// counts the entry just kept.
void note_kept(NeighbourIndex& index, std::int64_t kept_count, int vertex, int neighbour) {
    if (index.list_is_stamped) {
        index.kept_for[neighbour] = vertex;
    } else if (kept_count - index.list_start > short_list_length) {
        for (std::int64_t position = index.list_start; position < kept_count; ++position) {
            index.kept_for[index.adjacency[position]] = vertex;
        }
        index.list_is_stamped = true;
    }
}
