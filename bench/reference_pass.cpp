// Reference pass: the floor of graphrep's job on one thread. Reads a graph file whole,
// splits it into numbers and writes every number of the body K times, shifted by each
// copy's first vertex, in graphrep's output format; it checks nothing at all.
//
//   reference_pass FILE K OUT
//
// For a valid file with format code 0 or 1 (edge weights are skipped) and no comment in
// the body, the output is the same bytes as graphrep's. A run costs one read of the file,
// one parse of its numbers into an array, and K passes that format them into a large
// buffer written out whenever it fills.
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t output_buffer_size = std::size_t{4} << 20;
// A shifted vertex number, at most 19 digits, and its blank, with room for a four-byte store.
constexpr std::size_t max_entry_bytes = 24;

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

constexpr std::array<char, 40000> digit_quads = make_digit_quads();

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Writes value (below 10000) without leading zeros and returns the end; four bytes are
// stored, the bytes past the end are overwritten by what follows.
char* append_short(char* text, std::uint32_t value) {
    const int length = 1 + (value >= 10) + (value >= 100) + (value >= 1000);
    std::memcpy(text, &digit_quads[4 * value + 4 - length], 4);
    return text + length;
}

char* append_quad(char* text, std::uint32_t value) {
    std::memcpy(text, &digit_quads[4 * value], 4);
    return text + 4;
}

// Writes value followed by a blank at text and returns the end.
char* append_entry(char* text, std::uint64_t value) {
    if (value < 10000) {
        text = append_short(text, static_cast<std::uint32_t>(value));
    } else if (value < 100000000) {
        const auto low = static_cast<std::uint32_t>(value);
        text = append_short(text, low / 10000);
        text = append_quad(text, low % 10000);
    } else if (value <= UINT32_MAX) {
        const auto low = static_cast<std::uint32_t>(value);
        const std::uint32_t rest = low % 100000000;
        text = append_short(text, low / 100000000);
        text = append_quad(text, rest / 10000);
        text = append_quad(text, rest % 10000);
    } else {
        text = std::to_chars(text, text + max_entry_bytes, value).ptr;
    }
    *text = ' ';
    return text + 1;
}

bool write_out(const char* first, const char* last, std::FILE* out) {
    const auto count = static_cast<std::size_t>(last - first);
    return std::fwrite(first, 1, count, out) == count;
}

struct Body {
    std::vector<std::uint32_t> numbers;  // the neighbours of vertex 1, then of vertex 2, ...
    std::vector<std::uint32_t> ends;     // entry v - 1: where vertex v's neighbours end
};

// The whole file, read with as few calls as its size allows into memory that nothing
// writes first.
struct FileText {
    char* bytes = nullptr;
    std::size_t size = 0;
    ~FileText() {
        std::free(bytes);
    }
};

bool read_file(const char* name, FileText& text) {
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) return false;
    std::size_t capacity = std::size_t{1} << 20;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0) capacity = static_cast<std::size_t>(size) + 1;
        std::rewind(file);
    }
    bool ok = true;
    for (;;) {
        if (text.bytes == nullptr || text.size == capacity) {
            if (text.bytes != nullptr) capacity *= 2;
            char* grown = static_cast<char*>(std::realloc(text.bytes, capacity));
            if (grown == nullptr) {
                ok = false;
                break;
            }
            text.bytes = grown;
        }
        const std::size_t count = std::fread(text.bytes + text.size, 1, capacity - text.size, file);
        if (count == 0) break;
        text.size += count;
    }
    ok = ok && std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// Parses the numbers of the line starting at at into values (skipping every second one when
// every_other), stops at a comment, and returns the start of the next line.
const char* parse_line(const char* at, const char* end, bool every_other,
                       std::vector<std::uint32_t>& values) {
    bool take = true;
    while (at < end && *at != '\n') {
        const char c = *at;
        if (is_blank(c)) {
            ++at;
        } else if (c >= '0' && c <= '9') {
            std::uint32_t value = 0;
            while (at < end && *at >= '0' && *at <= '9')
                value = value * 10 + static_cast<std::uint32_t>(*at++ - '0');
            if (take) values.push_back(value);
            take = !every_other || !take;
        } else if (c == '%' || c == '#' || !every_other) {
            while (at < end && *at != '\n')
                ++at;
        } else {
            // An edge weight that is not an integer: skipped whole.
            while (at < end && *at != '\n' && !is_blank(*at))
                ++at;
            take = true;
        }
    }
    return at < end ? at + 1 : at;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: reference_pass FILE K OUT\n");
        return 2;
    }
    const char* input_name = argv[1];
    const std::uint64_t times = std::strtoull(argv[2], nullptr, 10);
    FileText text;
    if (!read_file(input_name, text)) {
        std::fprintf(stderr, "reference_pass: cannot read %s\n", input_name);
        return 1;
    }
    const char* at = text.bytes;
    const char* end = text.bytes + text.size;

    std::vector<std::uint32_t> header;
    while (at < end && header.empty())
        at = parse_line(at, end, false, header);
    const std::uint64_t nvtxs = header.size() > 0 ? header[0] : 0;
    const std::uint64_t nedges = header.size() > 1 ? header[1] : 0;
    const bool has_edge_weights = header.size() > 2 && header[2] % 10 != 0;

    Body body;
    body.numbers.reserve(2 * nedges);
    body.ends.reserve(nvtxs);
    for (std::uint64_t v = 0; v < nvtxs; ++v) {
        at = parse_line(at, end, has_edge_weights, body.numbers);
        body.ends.push_back(static_cast<std::uint32_t>(body.numbers.size()));
    }

    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "reference_pass: cannot open %s\n", argv[3]);
        return 1;
    }
    std::fprintf(out, "%% %llu %s\n%llu %llu\n", static_cast<unsigned long long>(times), input_name,
                 static_cast<unsigned long long>(times * nvtxs),
                 static_cast<unsigned long long>(times * nedges));
    std::vector<char> buffer(output_buffer_size);
    char* const buffer_end = buffer.data() + buffer.size();
    char* put = buffer.data();
    bool ok = true;
    for (std::uint64_t copy = 0; copy < times; ++copy) {
        const std::uint64_t offset = copy * nvtxs;
        std::uint32_t first = 0;
        for (const std::uint32_t last : body.ends) {
            const std::size_t room = std::size_t{last - first} * max_entry_bytes + 1;
            if (static_cast<std::size_t>(buffer_end - put) < room) {
                ok = ok && write_out(buffer.data(), put, out);
                put = buffer.data();
            }
            if (room <= buffer.size()) {
                for (std::uint32_t i = first; i < last; ++i)
                    put = append_entry(put, body.numbers[i] + offset);
            } else {
                // A line longer than the buffer goes out in pieces.
                for (std::uint32_t i = first; i < last; ++i) {
                    if (static_cast<std::size_t>(buffer_end - put) < max_entry_bytes + 1) {
                        ok = ok && write_out(buffer.data(), put, out);
                        put = buffer.data();
                    }
                    put = append_entry(put, body.numbers[i] + offset);
                }
            }
            *put++ = '\n';
            first = last;
        }
    }
    ok = ok && write_out(buffer.data(), put, out);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "reference_pass: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
