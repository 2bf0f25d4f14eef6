#include "input/chunk_scan.h"

#include <algorithm>
#include <cstring>

#include "common/text_numbers.h"
#include "input/real_text.h"
#include "input/repeat_search.h"

namespace {

inline const char* skip_blanks(const char* text) {
    while (is_blank(*text))
        ++text;
    return text;
}

// The start of the line after the one text is in. The chunk's stopping newline ends the last.
inline const char* next_line(const char* text, const char* end) {
    // Most lines end at their last number's white space.
    if (*text == '\n') return text + 1;
    const void* newline = std::memchr(text, '\n', static_cast<std::size_t>(end - text) + 1);
    return static_cast<const char*>(newline) + 1;
}

// Reads an integer at text as the scanner does: its length, 0 when no number starts there.
// Up to nine digits are read here; longer numbers, and signed ones, by the common reader.
inline int read_int_at(const char* text, int& value, std::int64_t& magnitude) {
    unsigned digit = static_cast<unsigned char>(text[0]) - '0';
    if (digit < 10) {
        unsigned number = digit;
        int length = 1;
        while (length < 9 && (digit = static_cast<unsigned char>(text[length]) - '0') < 10) {
            number = number * 10 + digit;
            ++length;
        }
        if (static_cast<unsigned>(static_cast<unsigned char>(text[length]) - '0') >= 10) {
            value = static_cast<int>(number);
            magnitude = number;
            return length;
        }
    }
    return read_integer(text, value, magnitude);
}

// The stamps of a page of memory, and the pages of stamps one word of written_pages covers.
constexpr int stamps_per_page_shift = 10;
constexpr int pages_per_word_shift = 6;

// Marks the page of the stamp of vertex as written; true when it was not before.
inline bool mark_written(ChunkScan& scan, int vertex) {
    const std::size_t page = static_cast<std::size_t>(vertex) >> stamps_per_page_shift;
    std::uint64_t& word = scan.written_pages[page >> pages_per_word_shift];
    const std::uint64_t bit = std::uint64_t{1} << (page & ((1u << pages_per_word_shift) - 1));
    const bool is_new = (word & bit) == 0;
    word |= bit;
    return is_new;
}

inline void stamp(ChunkScan& scan, int neighbour, int vertex) {
    mark_written(scan, neighbour);
    scan.stamps[static_cast<std::size_t>(neighbour)] = vertex;
}

// Whether neighbour is among the entries the line has kept. A long line stamps its entries
// with its vertex instead, which no other line has. A page of stamps that was never written
// holds zeros, and is written before it is read: read first, it would be the system's shared
// page of zeros, copied at the first stamp, and that copy makes the kernel flush the page
// from the other processors' caches of addresses, which cost the hub graph a tenth of its
// time.
bool is_kept_on_line(ChunkScan& scan, std::size_t line_start, int vertex, int neighbour) {
    const std::size_t count = scan.entries.size() - line_start;
    if (static_cast<std::int64_t>(count) <= short_list_length) {
        const int* first = scan.entries.data() + line_start;
        return std::find(first, first + count, neighbour) != first + count;
    }
    if (mark_written(scan, neighbour)) {
        scan.stamps[static_cast<std::size_t>(neighbour)] = 0;
        return false;
    }
    return scan.stamps[static_cast<std::size_t>(neighbour)] == vertex;
}

// Stamps the entry just kept once the line is long, and all of the line's entries when it
// has just grown long. The stamps are sized at the first long line: a file without one never
// needs them.
void note_kept(const ScanFormat& format, ChunkScan& scan, std::size_t line_start, int vertex) {
    const std::size_t count = scan.entries.size() - line_start;
    if (static_cast<std::int64_t>(count) <= short_list_length) return;
    if (scan.stamps.empty()) {
        const std::size_t stamp_count = static_cast<std::size_t>(format.nvtxs) + 1;
        scan.written_pages.resize((stamp_count >> (stamps_per_page_shift + pages_per_word_shift)) +
                                  1);
        scan.stamps.resize(stamp_count);
    }
    if (static_cast<std::int64_t>(count) > short_list_length + 1) {
        stamp(scan, scan.entries.back(), vertex);
        return;
    }
    for (std::size_t i = line_start; i < scan.entries.size(); ++i)
        stamp(scan, scan.entries[i], vertex);
}

struct LineScan {
    const ScanFormat& format;
    ChunkScan& scan;
    int vertex;
    std::size_t line_start;
};

void add_note(ChunkScan& scan, NoteKind kind, int vertex, int neighbour) {
    ::add_note(scan.notes,
               {static_cast<std::int64_t>(scan.entries.size()), vertex, neighbour, kind});
}

void add_fatal_note(ChunkScan& scan, NoteKind kind, int vertex, int neighbour) {
    add_note(scan, kind, vertex, neighbour);
    scan.has_fatal_error = true;
    scan.fatal_vertex = vertex;
}

// Reads the vertex weight at the start of a line; false after an error.
bool read_vertex_weight(LineScan& line, const char*& text) {
    text = skip_blanks(text);
    int weight = 0;
    std::int64_t magnitude = 0;
    const int length = is_comment(*text) ? 0 : read_int_at(text, weight, magnitude);
    if (length == 0) {
        add_fatal_note(line.scan, NoteKind::no_vertex_weight, line.vertex, 0);
        return false;
    }
    // Digits past 2147483647 would saturate into a different weight without a word.
    if (magnitude == magnitude_limit) {
        add_fatal_note(line.scan, NoteKind::too_large_vertex_weight, line.vertex, 0);
        return false;
    }
    if (weight < 1) {
        add_fatal_note(line.scan, NoteKind::non_positive_vertex_weight, line.vertex, 0);
        return false;
    }
    line.scan.vertex_weights.push_back(weight);
    text += length;
    return true;
}

// Checks one neighbour and its weight, in the order of the checks of a reading in file order,
// and keeps it when it passes; false after an error that ends the reading, or once the chunk
// has kept more entries than any file may have. This order of the checks is written in both
// readers on purpose, not by oversight: the parity tests and fuzz target hold them together.
bool check_entry(LineScan& line, int neighbour, const char*& text) {
    ChunkScan& scan = line.scan;
    const int vertex = line.vertex;
    if (neighbour > line.format.nvtxs) {
        add_fatal_note(scan, NoteKind::neighbour_above_nvtxs, vertex, neighbour);
        return false;
    }
    if (neighbour < 1) {
        add_fatal_note(scan, NoteKind::neighbour_below_one, vertex, neighbour);
        return false;
    }
    bool is_dropped = false;
    bool is_repeated = false;
    if (neighbour == vertex) {
        if (scan.self_edge_count == 0) add_note(scan, NoteKind::self_edge, vertex, vertex);
        ++scan.self_edge_count;
        is_dropped = true;
    } else if (is_kept_on_line(scan, line.line_start, vertex, neighbour)) {
        add_note(scan, NoteKind::repeated_neighbour, vertex, neighbour);
        ++scan.ignored_count;
        ++scan.repeated_count;
        is_dropped = true;
        is_repeated = true;
    }
    double weight = 0.0;
    if (line.format.has_edge_weights) {
        text = skip_blanks(text);
        const std::int64_t length = is_comment(*text) ? 0 : measure_real(text);
        if (length == 0) {
            add_fatal_note(scan, NoteKind::no_edge_weight, vertex, neighbour);
            return false;
        }
        weight = convert_real_in_memory(text, length);
        text += length;
        // Tested as read: a positive weight too small for a float still passes.
        if (!(weight > 0.0)) {
            add_note(scan, NoteKind::bad_edge_weight, vertex, neighbour);
            if (!is_repeated) ++scan.ignored_count;
            ++scan.bad_weight_count;
            is_dropped = true;
        }
    }
    if (is_dropped) return true;
    scan.entries.push_back(neighbour);
    if (line.format.has_edge_weights) scan.entry_weights.push_back(static_cast<float>(weight));
    note_kept(line.format, scan, line.line_start, vertex);
    // One entry past the limit tells the placing that the chunk passes it.
    return static_cast<std::int64_t>(scan.entries.size()) <= line.format.entry_limit;
}

// Scans one vertex line from text; gives the start of the next line, or nullptr after an
// error that ends the reading.
const char* scan_line(LineScan& line, const char* text, const char* end) {
    if (line.format.has_vertex_weights && !read_vertex_weight(line, text)) return nullptr;
    for (;;) {
        text = skip_blanks(text);
        int neighbour = 0;
        std::int64_t magnitude = 0;
        const int length = is_comment(*text) ? 0 : read_int_at(text, neighbour, magnitude);
        // A comment, the line's end or a word that is not a number ends the line.
        if (length == 0) return next_line(text, end);
        text += length;
        if (!check_entry(line, neighbour, text)) return nullptr;
    }
}

}  // namespace

namespace {

bool begins_with_number(const char* text) {
    text = skip_blanks(text);
    int value = 0;
    std::int64_t magnitude = 0;
    return !is_comment(*text) && read_int_at(text, value, magnitude) > 0;
}

}  // namespace

bool holds_trailing_number(const char* text, const char* end) {
    for (; text < end; text = next_line(skip_blanks(text), end)) {
        if (begins_with_number(text)) return true;
    }
    return false;
}

std::int64_t count_trailing_lines(const char* text, const char* end) {
    std::int64_t lines = 0;
    for (; text < end; text = next_line(skip_blanks(text), end)) {
        if (begins_with_number(text)) ++lines;
    }
    return lines;
}

void scan_chunk(const ScanFormat& format, const Chunk& chunk, std::int64_t first_vertex,
                ChunkScan& scan) {
    scan.first_vertex = first_vertex;
    scan.entries.clear();
    scan.entry_weights.clear();
    scan.line_ends.clear();
    scan.vertex_weights.clear();
    clear_notes(scan.notes);
    scan.self_edge_count = 0;
    scan.ignored_count = 0;
    scan.repeated_count = 0;
    scan.bad_weight_count = 0;
    scan.trailing_lines = 0;
    scan.has_fatal_error = false;
    scan.fatal_vertex = 0;
    scan.reaches_body_end = false;
    scan.has_trailing_data = false;
    const char* text = chunk.bytes.data;
    const char* end = text + chunk.size;
    for (std::int64_t vertex = first_vertex; text < end; ++vertex) {
        if (vertex > format.nvtxs) {
            scan.reaches_body_end = true;
            if (format.counts_trailing_lines) {
                scan.trailing_lines = count_trailing_lines(text, end);
                scan.has_trailing_data = scan.trailing_lines > 0;
            } else {
                scan.has_trailing_data = holds_trailing_number(text, end);
            }
            return;
        }
        LineScan line{format, scan, static_cast<int>(vertex), scan.entries.size()};
        text = scan_line(line, text, end);
        if (text == nullptr) return;
        scan.line_ends.push_back(static_cast<std::int64_t>(scan.entries.size()));
    }
}
