// Writes large, valid graph files for the benchmarks, the same bytes on every run.
//
//   generate_graph grid ROWS COLUMNS [weighted]   a 2D grid; weighted adds edge weights
//   generate_graph hub VERTICES                   a ring plus three hubs of high degree
//   generate_graph geometric VERTICES DEGREE      random points in the unit square joined
//                                                 when closer than the radius that gives
//                                                 the mean degree
//   generate_graph shuffled VERTICES DEGREE        the geometric graph with its vertices
//                                                 numbered by a random permutation, as
//                                                 meshes from elsewhere often are
//   generate_graph random VERTICES DEGREE         uniform random edges of the mean degree
//
// The graph goes to standard output. Every edge is listed at both ends, no vertex lists
// itself or a neighbour twice, so graphrep reads each file without a message.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t flush_threshold = std::size_t{1} << 22;

struct Writer {
    std::string bytes;
    void number(std::int64_t value) {
        char digits[24];
        bytes.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }
    void text(const char* characters) {
        bytes.append(characters);
    }
    void end_line() {
        bytes.push_back('\n');
        if (bytes.size() > flush_threshold) flush();
    }
    void flush() {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        bytes.clear();
    }
};

// splitmix64: small, fast and the same everywhere.
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    double unit() {
        return static_cast<double>(next() >> 11) * 0x1.0p-53;
    }
};

// Adjacency lists in compact form, built from an edge list.
struct Lists {
    std::vector<std::int64_t> offsets;
    std::vector<int> neighbours;
};

Lists lists_from_edges(int nvtxs, const std::vector<std::pair<int, int>>& edges) {
    Lists lists;
    lists.offsets.assign(static_cast<std::size_t>(nvtxs) + 2, 0);
    for (auto [a, b] : edges) {
        ++lists.offsets[a + 1];
        ++lists.offsets[b + 1];
    }
    for (int v = 1; v <= nvtxs + 1; ++v)
        lists.offsets[v] += lists.offsets[v - 1];
    lists.neighbours.resize(edges.size() * 2);
    std::vector<std::int64_t> next(lists.offsets.begin(), lists.offsets.end() - 1);
    for (auto [a, b] : edges) {
        lists.neighbours[next[a]++] = b;
        lists.neighbours[next[b]++] = a;
    }
    for (int v = 1; v <= nvtxs; ++v) {
        std::sort(lists.neighbours.begin() + lists.offsets[v],
                  lists.neighbours.begin() + lists.offsets[v + 1]);
    }
    return lists;
}

void write_lists(const char* comment, int nvtxs, const Lists& lists) {
    Writer out;
    out.text(comment);
    out.number(nvtxs);
    out.text(" ");
    out.number(static_cast<std::int64_t>(lists.neighbours.size() / 2));
    out.end_line();
    for (int v = 1; v <= nvtxs; ++v) {
        for (std::int64_t e = lists.offsets[v]; e < lists.offsets[v + 1]; ++e) {
            if (e > lists.offsets[v]) out.text(" ");
            out.number(lists.neighbours[e]);
        }
        out.end_line();
    }
    out.flush();
}

void write_grid(int rows, int columns, bool is_weighted) {
    Writer out;
    out.text("% grid\n");
    std::int64_t nvtxs = std::int64_t{rows} * columns;
    std::int64_t nedges = std::int64_t{rows} * (columns - 1) + std::int64_t{columns} * (rows - 1);
    out.number(nvtxs);
    out.text(" ");
    out.number(nedges);
    if (is_weighted) out.text(" 1");
    out.end_line();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            std::int64_t v = std::int64_t{r} * columns + c + 1;
            std::int64_t around[4];
            int count = 0;
            if (r > 0) around[count++] = v - columns;
            if (c > 0) around[count++] = v - 1;
            if (c + 1 < columns) around[count++] = v + 1;
            if (r + 1 < rows) around[count++] = v + columns;
            for (int i = 0; i < count; ++i) {
                if (i > 0) out.text(" ");
                out.number(around[i]);
                if (is_weighted) {
                    // The weight depends on the edge, not on the end it is read from.
                    std::int64_t low = std::min(v, around[i]);
                    out.text(" ");
                    out.number(1 + low % 7);
                    out.text(".5");
                }
            }
            out.end_line();
        }
    }
    out.flush();
}

void write_hub(int nvtxs) {
    std::vector<std::pair<int, int>> edges;
    auto is_ring_edge = [nvtxs](int a, int b) { return b == a + 1 || (a == 1 && b == nvtxs); };
    for (int v = 1; v < nvtxs; ++v)
        edges.push_back({v, v + 1});
    edges.push_back({1, nvtxs});
    for (int v = 3; v <= nvtxs; ++v) {
        if (!is_ring_edge(1, v)) edges.push_back({1, v});
    }
    for (int v = 4; v <= nvtxs; ++v) {
        if (v % 10 < 3 && !is_ring_edge(2, v)) edges.push_back({2, v});
        if (v % 10 == 5 && !is_ring_edge(3, v)) edges.push_back({3, v});
    }
    write_lists("% ring with three hubs\n", nvtxs, lists_from_edges(nvtxs, edges));
}

// The edges of random points in the unit square joined when closer than the radius that gives
// the mean degree.
std::vector<std::pair<int, int>> geometric_edges(int nvtxs, double degree, Random& random) {
    double radius = std::sqrt(degree / (3.141592653589793 * nvtxs));
    int cells = std::max(1, static_cast<int>(1.0 / radius));
    std::vector<double> x(nvtxs + 1), y(nvtxs + 1);
    std::vector<std::vector<int>> members(static_cast<std::size_t>(cells) * cells);
    auto cell_of = [cells](double coordinate) {
        return std::min(cells - 1, static_cast<int>(coordinate * cells));
    };
    for (int v = 1; v <= nvtxs; ++v) {
        x[v] = random.unit();
        y[v] = random.unit();
        members[cell_of(x[v]) * cells + cell_of(y[v])].push_back(v);
    }
    std::vector<std::pair<int, int>> edges;
    for (int v = 1; v <= nvtxs; ++v) {
        int cx = cell_of(x[v]), cy = cell_of(y[v]);
        for (int i = std::max(0, cx - 1); i <= std::min(cells - 1, cx + 1); ++i) {
            for (int j = std::max(0, cy - 1); j <= std::min(cells - 1, cy + 1); ++j) {
                for (int w : members[i * cells + j]) {
                    double dx = x[v] - x[w], dy = y[v] - y[w];
                    if (w > v && dx * dx + dy * dy < radius * radius) edges.push_back({v, w});
                }
            }
        }
    }
    return edges;
}

void write_geometric(int nvtxs, double degree, Random& random) {
    write_lists("% random geometric graph\n", nvtxs,
                lists_from_edges(nvtxs, geometric_edges(nvtxs, degree, random)));
}

// The geometric graph renumbered by a random permutation: neighbours lie anywhere in the file.
void write_shuffled(int nvtxs, double degree, Random& random) {
    std::vector<std::pair<int, int>> edges = geometric_edges(nvtxs, degree, random);
    std::vector<int> number(static_cast<std::size_t>(nvtxs) + 1);
    for (int v = 0; v <= nvtxs; ++v)
        number[v] = v;
    for (int v = nvtxs; v > 1; --v)
        std::swap(number[v], number[1 + static_cast<int>(random.next() % v)]);
    for (auto& [a, b] : edges) {
        a = number[a];
        b = number[b];
    }
    write_lists("% random geometric graph, randomly numbered\n", nvtxs,
                lists_from_edges(nvtxs, edges));
}

void write_random(int nvtxs, double degree, Random& random) {
    std::int64_t target = static_cast<std::int64_t>(degree * nvtxs / 2);
    std::vector<std::pair<int, int>> edges;
    for (std::int64_t i = 0; i < target; ++i) {
        int a = 1 + static_cast<int>(random.next() % nvtxs);
        int b = 1 + static_cast<int>(random.next() % nvtxs);
        if (a == b) continue;
        edges.push_back({std::min(a, b), std::max(a, b)});
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    write_lists("% random graph\n", nvtxs, lists_from_edges(nvtxs, edges));
}

int usage() {
    std::fputs(
        "usage: generate_graph grid ROWS COLUMNS [weighted] | hub VERTICES |\n"
        "       geometric VERTICES DEGREE | shuffled VERTICES DEGREE |\n"
        "       random VERTICES DEGREE\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    std::string kind = argv[1];
    int count = std::atoi(argv[2]);
    Random random{20261207};
    if (kind == "grid" && argc >= 4) {
        write_grid(count, std::atoi(argv[3]), argc >= 5 && std::strcmp(argv[4], "weighted") == 0);
    } else if (kind == "hub") {
        write_hub(count);
    } else if (kind == "geometric" && argc >= 4) {
        write_geometric(count, std::atof(argv[3]), random);
    } else if (kind == "shuffled" && argc >= 4) {
        write_shuffled(count, std::atof(argv[3]), random);
    } else if (kind == "random" && argc >= 4) {
        write_random(count, std::atof(argv[3]), random);
    } else {
        return usage();
    }
    return 0;
}
