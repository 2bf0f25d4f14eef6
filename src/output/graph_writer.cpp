#include "output/graph_writer.h"

#include <sched.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "common/weight_text.h"

namespace {

// The vertex lines are gathered in a buffer of this size and handed to the stream whenever
// the room left may not hold the next piece: a few big writes instead of one per line.
constexpr std::int64_t buffer_size = std::int64_t{4} << 20;

// The lines of a copy are formatted in pieces whose bytes cannot pass this bound, each
// counted at its largest; a line longer than that is split between two of its numbers.
constexpr std::int64_t default_piece_budget = std::int64_t{1} << 20;

// The most bytes one entry can take. A renumbered vertex is below 2^62 (a neighbour plus
// copy times nvtxs, all ints), so at most a sign and 19 digits, then the blank.
constexpr std::int64_t max_entry_bytes = 21;

// The most bytes an edge weight's text takes with its blank: at most nine significant
// digits, a sign, a point and an exponent such as e-38.
constexpr std::int64_t max_weight_bytes = 16;

// The digit tables store a few bytes past a number's end; the buffer keeps room for them
// past the last piece.
constexpr std::int64_t buffer_slack = 64;

// Each formatting thread has this many piece buffers in the common pool: one it fills, one
// waiting to be written, one the writing thread is handing to the stream.
constexpr int buffers_per_thread = 3;

// More formatting threads than this gain nothing on any machine the program meets.
constexpr std::int64_t max_threads = 256;

// The piece buffers of all threads together stay within this many bytes: beyond eight
// threads the pieces get smaller, down to smallest_piece_budget, so that memory does not
// grow with the thread count.
constexpr std::int64_t buffer_pool_budget = std::int64_t{24} << 20;
constexpr std::int64_t smallest_piece_budget = std::int64_t{32} << 10;

constexpr std::array<char, 40000> make_digit_quads() {
    std::array<char, 40000> quads{};
    for (int i = 0; i < 10000; ++i) {
        quads[4 * i] = static_cast<char>('0' + i / 1000);
        quads[4 * i + 1] = static_cast<char>('0' + i / 100 % 10);
        quads[4 * i + 2] = static_cast<char>('0' + i / 10 % 10);
        quads[4 * i + 3] = static_cast<char>('0' + i % 10);
    }
    return quads;
}

// "0000", "0001", ..., "9999" back to back: a vertex number is at most three look-ups.
constexpr std::array<char, 40000> digit_quads = make_digit_quads();

// Writes value (below 10000) without leading zeros and returns the end. Four bytes are
// always stored, the last digits of the quad and what follows it in the table; the bytes
// past the end are overwritten by whatever comes next, within the room the caller made.
inline char* append_short(char* text, std::uint32_t value) {
    const int length = 1 + (value >= 10) + (value >= 100) + (value >= 1000);
    std::memcpy(text, &digit_quads[4 * value + 4 - length], 4);
    return text + length;
}

// Writes value (below 10000) as exactly four digits and returns the end.
inline char* append_quad(char* text, std::uint32_t value) {
    std::memcpy(text, &digit_quads[4 * value], 4);
    return text + 4;
}

// Writes value in decimal at text and returns the end: its leading group without zeros,
// then the groups of four digits below it.
inline char* append_digits(char* text, std::uint32_t value) {
    if (value < 10000) return append_short(text, value);
    if (value < 100000000) {
        const std::uint32_t high = value / 10000;
        text = append_short(text, high);
        return append_quad(text, value - high * 10000);
    }
    const std::uint32_t top = value / 100000000;
    const std::uint32_t rest = value - top * 100000000;
    const std::uint32_t middle = rest / 10000;
    text = append_short(text, top);
    text = append_quad(text, middle);
    return append_quad(text, rest - middle * 10000);
}

// Writes one entry, the number and its blank, at text and returns the end. Vertex numbers
// take the fast path; anything else (never met in a checked graph) still comes out right.
inline char* append_entry(char* text, std::int64_t value) {
    if (value >= 0 && value <= std::int64_t{UINT32_MAX}) {
        text = append_digits(text, static_cast<std::uint32_t>(value));
    } else {
        text = std::to_chars(text, text + max_entry_bytes, value).ptr;
    }
    *text = ' ';
    return text + 1;
}

// Writes the entries from first to last (excluded), each plus offset, at text and returns the
// end. The caller has made room for max_entry_bytes per entry.
inline char* append_entries(char* text, const int* first, const int* last, std::int64_t offset) {
    for (const int* entry = first; entry != last; ++entry) {
        text = append_entry(text, *entry + offset);
    }
    return text;
}

// The text of one edge weight, its blank included.
struct WeightText {
    std::uint32_t bits = 0;
    std::uint32_t length = 0;  // 0: the slot holds no text yet
    char text[max_weight_bytes] = {};
};

// The texts of recently written weights, in slots chosen by the weight's bits. A mesh has few
// distinct weights, and forming the shortest text of a float costs far more than copying it.
struct WeightTexts {
    static constexpr int slot_bits = 10;
    std::array<WeightText, 1 << slot_bits> slots{};
};

// The shortest text that the reader turns back into the same float, and its blank. A positive
// weight too small or too large for a float is stored as zero or infinity; "0" would read
// back as a bad weight and "inf" as no weight at all, so they get the shortest text that a
// float rounds the same way. Returns the length.
std::uint32_t form_weight_text(float weight, char* text) {
    char scratch[weight_text_room + 1];
    char* end = scratch + form_weight_digits(weight, scratch);
    *end++ = ' ';
    const std::uint32_t length = static_cast<std::uint32_t>(end - scratch);
    assert(length <= max_weight_bytes);
    std::memcpy(text, scratch, length);
    return length;
}

// Writes weight and its blank at text and returns the end; max_weight_bytes are stored.
inline char* append_weight(char* text, float weight, WeightTexts& texts) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &weight, sizeof bits);
    WeightText& slot = texts.slots[(bits * 2654435761u) >> (32 - WeightTexts::slot_bits)];
    if (slot.length == 0 || slot.bits != bits) {
        slot.bits = bits;
        slot.length = form_weight_text(weight, slot.text);
    }
    std::memcpy(text, slot.text, max_weight_bytes);
    return text + slot.length;
}

inline char* append_weighted_entries(char* text, const int* first, const int* last,
                                     const float* weight, std::int64_t offset, WeightTexts& texts) {
    for (const int* entry = first; entry != last; ++entry, ++weight) {
        text = append_entry(text, *entry + offset);
        text = append_weight(text, *weight, texts);
    }
    return text;
}

// Where a piece of a copy's lines begins: an item of a vertex line, item 0 beginning it.
struct Cut {
    int vertex;
    std::int64_t item;
};

// What formatting any piece of any copy reads, prepared once per run.
struct Layout {
    const VertexGraph* graph = nullptr;
    int times = 0;
    int nvtxs = 0;
    bool writes_vertex_weights = false;
    bool writes_edge_weights = false;
    // The join pairs as (vertex, partner), sorted: next_partners as given, the partners of
    // `from` in the next copy of a link; previous_partners turned round, the partners of the
    // pair's `to` in the previous copy.
    std::vector<JoinPair> next_partners;
    std::vector<JoinPair> previous_partners;
    // The pieces of every copy: piece k runs from cuts[k] up to cuts[k + 1].
    std::vector<Cut> cuts;
    std::int64_t item_bytes = 0;  // the most bytes one item of a line takes
    std::int64_t piece_budget = default_piece_budget;
    // A copy that fits one piece shares a unit of work with the copies after it, so that
    // many copies of a small graph do not go out one small write each.
    std::int64_t copies_per_unit = 1;
    std::int64_t unit_count = 0;
    std::int64_t unit_bytes = 0;  // the most bytes one unit takes
};

// The join partners of one copy's vertices in one neighbouring copy.
struct PartnerGroup {
    const JoinPair* next = nullptr;  // the first pair not yet listed
    const JoinPair* end = nullptr;
    std::int64_t offset = 0;  // the partner copy's offset
};

struct CopyPartners {
    int group_count = 0;
    PartnerGroup groups[2];
};

// A copy's partner groups in the order of their copies' numbers, so that a line lists its
// partners in increasing order.
CopyPartners partners_of_copy(const Layout& layout, int copy) {
    CopyPartners partners;
    if (layout.times == 1 || layout.next_partners.empty()) return partners;
    auto group = [&layout](const std::vector<JoinPair>& table, int partner_copy) {
        return PartnerGroup{table.data(), table.data() + table.size(),
                            std::int64_t{partner_copy} * layout.nvtxs};
    };
    if (layout.times == 2) {
        partners.groups[0] =
            copy == 0 ? group(layout.next_partners, 1) : group(layout.previous_partners, 0);
        partners.group_count = 1;
        return partners;
    }
    const PartnerGroup next = group(layout.next_partners, (copy + 1) % layout.times);
    const PartnerGroup previous =
        group(layout.previous_partners, (copy + layout.times - 1) % layout.times);
    partners.groups[0] = previous.offset < next.offset ? previous : next;
    partners.groups[1] = previous.offset < next.offset ? next : previous;
    partners.group_count = 2;
    return partners;
}

// The items of one output line: the vertex weight (when written), the neighbours, then the
// partners of each group.
struct Line {
    const VertexRecord* record;
    std::int64_t offset;  // the line's copy's offset
    int group_count;
    const JoinPair* partners[2];
    std::int64_t partner_counts[2];
    std::int64_t partner_offsets[2];
};

std::int64_t item_count(const Layout& layout, const Line& line) {
    std::int64_t count = (layout.writes_vertex_weights ? 1 : 0) + line.record->list_length - 1;
    for (int g = 0; g < line.group_count; ++g)
        count += line.partner_counts[g];
    return count;
}

// Writes items first to last (excluded) of line at text and returns the end. The caller has
// made room for item_bytes per item.
char* append_items(const Layout& layout, const Line& line, std::int64_t first, std::int64_t last,
                   char* text, WeightTexts& texts) {
    // Each part of the line covers items base to base + count - 1; [begin, end) is the share
    // of them asked for, relative to the part.
    std::int64_t base = 0;
    auto share = [&](std::int64_t count, std::int64_t& begin, std::int64_t& end) {
        begin = std::clamp(first - base, std::int64_t{0}, count);
        end = std::clamp(last - base, std::int64_t{0}, count);
        base += count;
        return begin < end;
    };
    std::int64_t begin = 0;
    std::int64_t end = 0;
    const VertexRecord& record = *line.record;
    if (layout.writes_vertex_weights && share(1, begin, end)) {
        text = append_entry(text, record.weight);
    }
    // Entry 0 is the vertex itself and is not written.
    if (share(record.list_length - 1, begin, end)) {
        const int* neighbours = record.neighbours + 1;
        if (layout.writes_edge_weights) {
            text = append_weighted_entries(text, neighbours + begin, neighbours + end,
                                           record.edge_weights + 1 + begin, line.offset, texts);
        } else {
            text = append_entries(text, neighbours + begin, neighbours + end, line.offset);
        }
    }
    for (int g = 0; g < line.group_count; ++g) {
        if (!share(line.partner_counts[g], begin, end)) continue;
        for (const JoinPair* pair = line.partners[g] + begin; pair != line.partners[g] + end;
             ++pair) {
            text = append_entry(text, pair->to + line.partner_offsets[g]);
            // A join edge weighs 1.
            if (layout.writes_edge_weights) text = std::copy_n("1 ", 2, text);
        }
    }
    return text;
}

// Formats the piece of copy that runs from first up to last at text and returns the end.
// The caller has made room for the piece's bytes at their largest and buffer_slack more.
char* format_piece(const Layout& layout, int copy, Cut first, Cut last, char* text,
                   WeightTexts& texts) {
    CopyPartners partners = partners_of_copy(layout, copy);
    for (int g = 0; g < partners.group_count; ++g) {
        PartnerGroup& group = partners.groups[g];
        group.next =
            std::lower_bound(group.next, group.end, first.vertex,
                             [](const JoinPair& pair, int vertex) { return pair.from < vertex; });
    }
    // The lowest vertex with partners still to list; the lines before it have none.
    auto next_joined = [&partners]() {
        int vertex = std::numeric_limits<int>::max();
        for (int g = 0; g < partners.group_count; ++g) {
            const PartnerGroup& group = partners.groups[g];
            if (group.next != group.end) vertex = std::min(vertex, group.next->from);
        }
        return vertex;
    };
    int joined = next_joined();
    Line line{};
    line.offset = std::int64_t{copy} * layout.nvtxs;
    line.group_count = partners.group_count;
    const int last_vertex = last.item == 0 ? last.vertex - 1 : last.vertex;
    for (int v = first.vertex; v <= last_vertex; ++v) {
        const VertexRecord& record = *layout.graph->slots[v];
        const std::int64_t start = v == first.vertex ? first.item : 0;
        const std::int64_t stop =
            v == last.vertex ? last.item : std::numeric_limits<std::int64_t>::max();
        // Most lines are whole, without partners and without a vertex weight: their
        // entries go out directly.
        if (v < joined && start == 0 && stop == std::numeric_limits<std::int64_t>::max() &&
            !layout.writes_vertex_weights) {
            const int* neighbours = record.neighbours + 1;
            const int* const end = record.neighbours + record.list_length;
            text = layout.writes_edge_weights
                       ? append_weighted_entries(text, neighbours, end, record.edge_weights + 1,
                                                 line.offset, texts)
                       : append_entries(text, neighbours, end, line.offset);
            *text++ = '\n';
            continue;
        }
        line.record = &record;
        for (int g = 0; g < partners.group_count; ++g) {
            PartnerGroup& group = partners.groups[g];
            line.partners[g] = group.next;
            while (group.next != group.end && group.next->from == v)
                ++group.next;
            line.partner_counts[g] = group.next - line.partners[g];
            line.partner_offsets[g] = group.offset;
        }
        if (v == joined) joined = next_joined();
        text = append_items(layout, line, start, stop, text, texts);
        // The newline counts as the item after the last: the piece that holds that position
        // ends the line. With two copies a line may hold fewer items than counted for it.
        const std::int64_t count = item_count(layout, line);
        if (start <= count && count < stop) *text++ = '\n';
    }
    return text;
}

// Formats unit of work number unit, at most unit_bytes: one piece of a copy, or whole copies
// when a copy is one piece. Returns the end.
char* format_unit(const Layout& layout, std::int64_t unit, char* text, WeightTexts& texts) {
    const std::int64_t piece_count = static_cast<std::int64_t>(layout.cuts.size()) - 1;
    if (piece_count > 1) {
        const int copy = static_cast<int>(unit / piece_count);
        const std::size_t k = static_cast<std::size_t>(unit % piece_count);
        return format_piece(layout, copy, layout.cuts[k], layout.cuts[k + 1], text, texts);
    }
    const std::int64_t first = unit * layout.copies_per_unit;
    const std::int64_t last = std::min<std::int64_t>(layout.times, first + layout.copies_per_unit);
    for (std::int64_t copy = first; copy < last; ++copy) {
        text = format_piece(layout, static_cast<int>(copy), layout.cuts[0], layout.cuts[1], text,
                            texts);
    }
    return text;
}

// Cuts a copy's lines into pieces of at most the piece budget, each line counted with the
// partners of both neighbouring copies (with two copies each copy has only one share of
// them). Returns 1 when the memory is not there.
[[nodiscard]] int cut_pieces(Layout& layout) {
    const std::int64_t piece_budget = layout.piece_budget;
    const std::int64_t items_per_piece = (piece_budget - 1) / layout.item_bytes;
    const JoinPair* next = layout.next_partners.data();
    const JoinPair* const next_end = next + layout.next_partners.size();
    const JoinPair* previous = layout.previous_partners.data();
    const JoinPair* const previous_end = previous + layout.previous_partners.size();
    try {
        layout.cuts.push_back({1, 0});
        std::int64_t used = 0;
        for (int v = 1; v <= layout.nvtxs; ++v) {
            std::int64_t items =
                (layout.writes_vertex_weights ? 1 : 0) + layout.graph->slots[v]->list_length - 1;
            for (; next != next_end && next->from == v; ++next)
                ++items;
            for (; previous != previous_end && previous->from == v; ++previous)
                ++items;
            const std::int64_t line_bytes = items * layout.item_bytes + 1;
            if (used + line_bytes <= piece_budget) {
                used += line_bytes;
                continue;
            }
            if (used > 0) layout.cuts.push_back({v, 0});
            used = line_bytes;
            for (std::int64_t item = items_per_piece; used > piece_budget;
                 item += items_per_piece) {
                layout.cuts.push_back({v, item});
                used = (items - item) * layout.item_bytes + 1;
            }
        }
        layout.cuts.push_back({layout.nvtxs + 1, 0});
        const std::int64_t piece_count = static_cast<std::int64_t>(layout.cuts.size()) - 1;
        if (piece_count == 1) {
            layout.copies_per_unit = std::max(std::int64_t{1}, piece_budget / used);
            layout.unit_bytes = layout.copies_per_unit * used;
            layout.unit_count =
                (layout.times + layout.copies_per_unit - 1) / layout.copies_per_unit;
        } else {
            layout.unit_bytes = piece_budget;
            layout.unit_count = layout.times * piece_count;
        }
    } catch (const std::bad_alloc&) {
        return 1;
    } catch (const std::length_error&) {
        return 1;
    }
    return 0;
}

bool by_vertex(const JoinPair& a, const JoinPair& b) {
    return a.from != b.from ? a.from < b.from : a.to < b.to;
}

// Sorts the join pairs both ways round and cuts the copies into pieces. Returns 1 when the
// memory is not there.
[[nodiscard]] int prepare_layout(int times, int nvtxs, const VertexGraph& graph,
                                 const ReplicaExtras& extras, Layout& layout) {
    layout.graph = &graph;
    layout.times = times;
    layout.nvtxs = nvtxs;
    layout.writes_vertex_weights = extras.writes_vertex_weights;
    layout.writes_edge_weights = extras.writes_edge_weights;
    layout.item_bytes = max_entry_bytes + (layout.writes_edge_weights ? max_weight_bytes : 0);
    const std::int64_t threads = std::clamp<std::int64_t>(extras.threads, 1, max_threads);
    layout.piece_budget = std::clamp(buffer_pool_budget / (buffers_per_thread * threads),
                                     smallest_piece_budget, default_piece_budget);
    // A piece holds at least one item and a newline.
    if (extras.piece_bytes > 0) {
        layout.piece_budget =
            std::clamp(extras.piece_bytes, layout.item_bytes + 1, default_piece_budget);
    }
    try {
        layout.next_partners = extras.join_pairs;
        layout.previous_partners.reserve(extras.join_pairs.size());
        for (const JoinPair& pair : extras.join_pairs) {
            layout.previous_partners.push_back({pair.to, pair.from});
        }
    } catch (const std::bad_alloc&) {
        return 1;
    } catch (const std::length_error&) {
        return 1;
    }
    std::sort(layout.next_partners.begin(), layout.next_partners.end(), by_vertex);
    std::sort(layout.previous_partners.begin(), layout.previous_partners.end(), by_vertex);
    return cut_pieces(layout);
}

[[nodiscard]] int write_bytes(std::FILE* out, const char* first, const char* last) {
    const std::size_t count = static_cast<std::size_t>(last - first);
    if (count == 0) return 0;
    return std::fwrite(first, 1, count, out) == count ? 0 : 1;
}

// The comment line and the header, with the format code of the weights written. The counts
// are formed in 64 bits so that no product overflows; the caller keeps them within 32 bits
// for every real run.
[[nodiscard]] int write_header(std::FILE* out, int times, const std::string& input_name, int nvtxs,
                               int nedges, int nconnect, const ReplicaExtras& extras) {
    const std::int64_t vertex_total = std::int64_t{times} * nvtxs;
    const std::int64_t edge_total = replicated_edge_count(
        times, nedges, static_cast<std::int64_t>(extras.join_pairs.size()), nconnect);
    const int format_code =
        (extras.writes_vertex_weights ? 10 : 0) + (extras.writes_edge_weights ? 1 : 0);
    if (std::fprintf(out, "%% %d %s\n", times, input_name.c_str()) < 0) return 1;
    if (std::fprintf(out, "%" PRId64 " %" PRId64, vertex_total, edge_total) < 0) return 1;
    if (format_code != 0 && std::fprintf(out, " %d", format_code) < 0) return 1;
    return std::fputc('\n', out) == EOF ? 1 : 0;
}

// Gives the line buffer, or 1 when the memory is not there.
[[nodiscard]] int allocate_buffer(std::int64_t bytes, std::vector<char>& buffer) {
    try {
        buffer.resize(static_cast<std::size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return 1;
    } catch (const std::length_error&) {
        return 1;
    }
    return 0;
}

[[nodiscard]] int write_serially(std::FILE* out, const Layout& layout) {
    // A small output needs no more room than it can take.
    const std::int64_t bytes =
        std::max(layout.unit_bytes, std::min(buffer_size, layout.unit_count * layout.unit_bytes));
    std::vector<char> buffer;
    if (allocate_buffer(bytes + buffer_slack, buffer) != 0) return 1;
    WeightTexts texts;
    char* const start = buffer.data();
    char* const end = start + buffer.size();
    char* text = start;
    for (std::int64_t unit = 0; unit < layout.unit_count; ++unit) {
        if (end - text < layout.unit_bytes + buffer_slack) {
            if (write_bytes(out, start, text) != 0) return 1;
            text = start;
        }
        text = format_unit(layout, unit, text, texts);
    }
    return write_bytes(out, start, text);
}

// What the formatting threads and the writing thread share. Units are claimed in order, each
// with a free buffer, so the units in hand always run from the next one to write up to fewer
// than the number of buffers after it, and unit u's slot, u modulo that number, is its own.
struct Pipeline {
    const Layout* layout = nullptr;
    std::vector<std::unique_ptr<char[]>> buffers;  // untouched until a unit fills them
    std::mutex mutex;
    std::condition_variable buffer_freed;  // formatting threads wait for a buffer
    std::condition_variable unit_done;     // the writing thread waits for the next unit
    std::vector<int> free_buffers;
    struct Slot {
        int buffer = 0;
        std::int64_t length = 0;
        bool is_done = false;
    };
    std::vector<Slot> slots;
    std::int64_t next_unit = 0;
    bool is_stopped = false;  // all written, or a write failed
};

// A formatting thread: claims the next unit and a free buffer, formats, hands the buffer on.
void format_units(Pipeline& pipeline) {
    WeightTexts texts;
    const std::int64_t unit_count = pipeline.layout->unit_count;
    std::unique_lock<std::mutex> lock(pipeline.mutex);
    for (;;) {
        pipeline.buffer_freed.wait(lock, [&pipeline, unit_count] {
            return pipeline.is_stopped || pipeline.next_unit == unit_count ||
                   !pipeline.free_buffers.empty();
        });
        if (pipeline.is_stopped || pipeline.next_unit == unit_count) return;
        const std::int64_t unit = pipeline.next_unit++;
        const int buffer = pipeline.free_buffers.back();
        pipeline.free_buffers.pop_back();
        lock.unlock();
        char* const start = pipeline.buffers[buffer].get();
        const char* const end = format_unit(*pipeline.layout, unit, start, texts);
        lock.lock();
        pipeline.slots[unit % pipeline.slots.size()] = {buffer, end - start, true};
        pipeline.unit_done.notify_one();
    }
}

// The writing thread: hands the units to the stream in order and frees their buffers.
[[nodiscard]] int write_units(std::FILE* out, Pipeline& pipeline) {
    for (std::int64_t unit = 0; unit < pipeline.layout->unit_count; ++unit) {
        Pipeline::Slot& slot = pipeline.slots[unit % pipeline.slots.size()];
        Pipeline::Slot done;
        {
            std::unique_lock<std::mutex> lock(pipeline.mutex);
            pipeline.unit_done.wait(lock, [&slot] { return slot.is_done; });
            done = slot;
            slot.is_done = false;
        }
        const char* const start = pipeline.buffers[done.buffer].get();
        const int result = write_bytes(out, start, start + done.length);
        {
            std::lock_guard<std::mutex> lock(pipeline.mutex);
            pipeline.free_buffers.push_back(done.buffer);
        }
        pipeline.buffer_freed.notify_one();
        if (result != 0) return 1;
    }
    return 0;
}

// Gives buffer_count buffers and their slots, or 1 when the memory is not there.
[[nodiscard]] int allocate_pipeline(int buffer_count, Pipeline& pipeline) {
    const std::int64_t bytes = pipeline.layout->unit_bytes + buffer_slack;
    try {
        pipeline.buffers.resize(static_cast<std::size_t>(buffer_count));
        for (std::unique_ptr<char[]>& buffer : pipeline.buffers) {
            buffer.reset(new char[static_cast<std::size_t>(bytes)]);
        }
        pipeline.slots.resize(static_cast<std::size_t>(buffer_count));
        pipeline.free_buffers.reserve(static_cast<std::size_t>(buffer_count));
        for (int b = buffer_count - 1; b >= 0; --b)
            pipeline.free_buffers.push_back(b);
    } catch (const std::bad_alloc&) {
        return 1;
    } catch (const std::length_error&) {
        return 1;
    }
    return 0;
}

// Formats on thread_count threads while the calling thread writes. Threads that cannot be
// started are done without; with none at all, the calling thread formats alone.
[[nodiscard]] int write_in_parallel(std::FILE* out, const Layout& layout, int thread_count) {
    Pipeline pipeline;
    pipeline.layout = &layout;
    if (allocate_pipeline(buffers_per_thread * thread_count, pipeline) != 0) return 1;
    std::vector<std::thread> threads;
    try {
        threads.reserve(static_cast<std::size_t>(thread_count));
        for (int t = 0; t < thread_count; ++t)
            threads.emplace_back(format_units, std::ref(pipeline));
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    if (threads.empty()) return write_serially(out, layout);
    const int result = write_units(out, pipeline);
    {
        std::lock_guard<std::mutex> lock(pipeline.mutex);
        pipeline.is_stopped = true;
    }
    pipeline.buffer_freed.notify_all();
    for (std::thread& thread : threads)
        thread.join();
    return result;
}

}  // namespace

int available_processors() {
#ifdef CPU_COUNT
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
#endif
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? static_cast<int>(count) : 1;
}

int join_link_count(int times) {
    if (times < 2) return 0;
    return times == 2 ? 1 : times;
}

std::int64_t replicated_edge_count(int times, int nedges, std::int64_t join_pair_count,
                                   int nconnect) {
    return std::int64_t{times} * nedges + join_link_count(times) * join_pair_count +
           std::int64_t{2} * nconnect;
}

int write_replicated_graph(std::FILE* out, int times, const std::string& input_name, int nvtxs,
                           int nedges, int nconnect, const VertexGraph& graph,
                           const ReplicaExtras& extras) {
    if (write_header(out, times, input_name, nvtxs, nedges, nconnect, extras) != 0) return 1;
    if (times < 1 || nvtxs < 1) return 0;
    assert(graph.slots.size() > static_cast<std::size_t>(nvtxs));

    Layout layout;
    if (prepare_layout(times, nvtxs, graph, extras, layout) != 0) return 1;
    // More threads than units would have nothing to do.
    const std::int64_t thread_count =
        std::min({std::int64_t{extras.threads}, layout.unit_count, max_threads});
    if (thread_count > 1) return write_in_parallel(out, layout, static_cast<int>(thread_count));
    return write_serially(out, layout);
}
