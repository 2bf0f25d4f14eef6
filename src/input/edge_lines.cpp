#include "input/edge_lines.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/text_numbers.h"
#include "input/real_text.h"

namespace {

// What a number may be followed by on its line.
bool ends_number(char c) {
    return is_blank(c) || c == '\n' || c == ',' || is_comment(c);
}

// The numbers of one line, as read so far.
struct LineFields {
    int count = 0;
    int vertices[2] = {0, 0};
    float weight = 1.0f;
    bool has_weight = false;
};

void note_fault(EdgeLineScan& scan, EdgeLineFault fault, std::int64_t value) {
    scan.fault = fault;
    scan.fault_line = scan.line_count;
    scan.fault_value = value;
}

// Reads the number at text as the line's next field; gives its length, or 0 after noting the
// fault that ends the scan.
int read_field(const EdgeLineFormat& format, const char* text, LineFields& fields,
               EdgeLineScan& scan) {
    if (fields.count < 2) {
        int value = 0;
        std::int64_t magnitude = 0;
        const int length = read_integer(text, value, magnitude);
        if (length == 0 || !ends_number(text[length])) {
            note_fault(scan, EdgeLineFault::not_a_number, 0);
            return 0;
        }
        if (value < format.first_number || value > format.last_number) {
            note_fault(scan,
                       value < format.first_number ? EdgeLineFault::vertex_below_first
                                                   : EdgeLineFault::vertex_above_last,
                       value);
            return 0;
        }
        fields.vertices[fields.count++] = value - format.first_number;
        return length;
    }
    const std::int64_t length = measure_real(text);
    if (length == 0 || !ends_number(text[length])) {
        note_fault(scan, EdgeLineFault::not_a_number, 0);
        return 0;
    }
    const double weight = convert_real_in_memory(text, length);
    // A positive weight too small for a float would be kept as 0, which no weight may be.
    const float kept = static_cast<float>(weight);
    if (format.keeps_weights && !(kept > 0.0f && std::isfinite(kept))) {
        note_fault(scan, EdgeLineFault::bad_weight, 0);
        scan.fault_weight = weight;
        return 0;
    }
    fields.weight = kept;
    fields.has_weight = true;
    ++fields.count;
    return static_cast<int>(length);
}

// Reads the numbers of the line at text into fields; false after noting a fault.
bool read_line(const EdgeLineFormat& format, const char* text, LineFields& fields,
               EdgeLineScan& scan) {
    while (is_blank(*text))
        ++text;
    while (*text != '\n' && !is_comment(*text)) {
        if (fields.count == format.most_numbers) {
            note_fault(scan, EdgeLineFault::too_many_numbers, fields.count + 1);
            return false;
        }
        const int length = read_field(format, text, fields, scan);
        if (length == 0) return false;
        text += length;
        while (is_blank(*text))
            ++text;
        if (*text != ',') continue;
        // A comma stands between two numbers, never at the end of a line.
        ++text;
        while (is_blank(*text))
            ++text;
        if (*text == '\n' || is_comment(*text) || *text == ',') {
            note_fault(scan, EdgeLineFault::not_a_number, 0);
            return false;
        }
    }
    if (fields.count > 0 && fields.count < format.fewest_numbers) {
        note_fault(scan, EdgeLineFault::too_few_numbers, fields.count);
        return false;
    }
    return true;
}

// Keeps the edge of a line read whole.
void keep_edge(const EdgeLineFormat& format, const LineFields& fields, EdgeLineScan& scan) {
    scan.ends.push_back(fields.vertices[0]);
    scan.ends.push_back(fields.vertices[1]);
    scan.largest_vertex = std::max({scan.largest_vertex, fields.vertices[0], fields.vertices[1]});
    if (!format.keeps_weights) return;
    if (fields.has_weight && scan.weighted_lines++ == 0) {
        // The chunk's first weight: the edges before it weigh 1, as a line without one does.
        scan.weights.reserve(scan.ends.capacity() / 2);
        scan.weights.assign(scan.ends.size() / 2 - 1, 1.0f);
    }
    if (scan.weighted_lines > 0) scan.weights.push_back(fields.weight);
}

}  // namespace

void scan_edge_lines(const EdgeLineFormat& format, const Chunk& chunk, EdgeLineScan& scan) {
    scan = EdgeLineScan{};
    // Room for an edge per line at once: no vector grows, and holds twice its room, while
    // the chunk is read.
    scan.ends.reserve(static_cast<std::size_t>(2 * count_lines(chunk)));
    const char* text = chunk.bytes.data;
    const char* const end = text + chunk.size;
    while (text < end) {
        // Every chunk is followed by a newline of its own: each line ends in one.
        const char* line_end = static_cast<const char*>(std::memchr(text, '\n', end + 1 - text));
        LineFields fields;
        if (!read_line(format, text, fields, scan)) {
            ++scan.line_count;
            return;
        }
        if (fields.count > 0) keep_edge(format, fields, scan);
        ++scan.line_count;
        text = line_end + 1;
    }
}
