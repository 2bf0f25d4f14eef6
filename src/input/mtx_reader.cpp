#include "input/mtx_reader.h"

#include <cctype>
#include <cstdint>
#include <string>

#include "common/allocation.h"
#include "common/text_numbers.h"
#include "input/edge_entries.h"
#include "input/edge_list_reader.h"
#include "input/reader_common.h"
#include "input/reader_messages.h"

namespace {

// The largest vertex count a graph may have, as a graph file's header may give it.
constexpr int max_nvtxs = 2147483646;
// A header line is kept up to this many characters: the banner's words and the size line's
// three numbers fit many times over, and a longer comment line is read through, not held.
constexpr std::size_t kept_line_length = 1024;

// What the banner and the size line give.
struct MatrixHeader {
    bool has_values = false;
    std::int64_t rows = 0;
    std::int64_t columns = 0;
    std::int64_t entries = 0;
    std::int64_t line_count = 0;  // the lines read up to the size line's, counted from 1
};

// Reads the next line of file, up to kept_line_length characters of it; false at the end.
bool read_header_line(std::FILE* file, std::string& line, MatrixHeader& header) {
    line.clear();
    int c = std::getc(file);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::getc(file)) {
        if (line.size() < kept_line_length) {
            line.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    ++header.line_count;
    return true;
}

// The words of line, split at white space.
std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && is_white_space(line[at]))
            ++at;
        std::size_t end = at;
        while (end < line.size() && !is_white_space(line[end]))
            ++end;
        if (end > at) words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

void report_reason(const char* file_name, const char* reason, MessageSink& messages) {
    report_error_prefix({file_name, 0, 0}, messages);
    messages.print(" %s\n", reason);
}

// Checks the banner's words; prints the refusal and returns 1 when the matrix is not read.
[[nodiscard]] int check_banner(const std::string& line, const char* file_name, MatrixHeader& header,
                               MessageSink& messages) {
    const std::vector<std::string> words = words_of(line);
    if (words.size() != 5 || words[0] != "%%matrixmarket" || words[1] != "matrix") {
        report_reason(file_name,
                      "the first line is not \"%%MatrixMarket matrix coordinate FIELD SYMMETRY\".",
                      messages);
        return 1;
    }
    const char* reason = nullptr;
    if (words[2] == "array") {
        reason = "the array format is not read: only coordinate matrices are.";
    } else if (words[2] != "coordinate") {
        reason = "the format is neither coordinate nor array.";
    } else if (words[3] == "complex") {
        reason = "complex matrices are not read: only pattern, integer and real ones are.";
    } else if (words[3] != "pattern" && words[3] != "integer" && words[3] != "real") {
        reason = "the field is not pattern, integer, real or complex.";
    } else if (words[4] == "hermitian" || words[4] == "skew-symmetric") {
        reason =
            "hermitian and skew-symmetric matrices are not read: only general and symmetric "
            "ones are.";
    } else if (words[4] != "general" && words[4] != "symmetric") {
        reason = "the symmetry is not general, symmetric, skew-symmetric or hermitian.";
    }
    if (reason != nullptr) {
        report_reason(file_name, reason, messages);
        return 1;
    }
    header.has_values = words[3] != "pattern";
    return 0;
}

// Reads a count of the size line at text; false when none is there.
bool read_count(const char*& text, std::int64_t& count) {
    while (is_white_space(*text))
        ++text;
    int value = 0;
    std::int64_t magnitude = 0;
    const int length = read_integer(text, value, magnitude);
    if (length == 0 || *text == '-' || *text == '+') return false;
    count = magnitude;
    text += length;
    return true;
}

// Checks the size line; prints the refusal and returns 1.
[[nodiscard]] int check_size_line(const std::string& line, const char* file_name,
                                  MatrixHeader& header, MessageSink& messages) {
    const char* text = line.c_str();
    if (!read_count(text, header.rows) || !read_count(text, header.columns) ||
        !read_count(text, header.entries) || !words_of(text).empty()) {
        report_reason(file_name, "the size line is not \"ROWS COLUMNS ENTRIES\".", messages);
        return 1;
    }
    if (header.rows != header.columns) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" the matrix is %lld by %lld, not square.\n",
                       static_cast<long long>(header.rows), static_cast<long long>(header.columns));
        return 1;
    }
    if (header.rows < 1 || header.rows > max_nvtxs) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" %lld rows; a graph has 1 to %d vertices.\n",
                       static_cast<long long>(header.rows), max_nvtxs);
        return 1;
    }
    return 0;
}

// Reads the banner, the comment lines and the size line; prints the refusal and returns 1.
[[nodiscard]] int read_matrix_header(std::FILE* file, const char* file_name, MatrixHeader& header,
                                     MessageSink& messages) {
    std::string line;
    if (!read_header_line(file, line, header)) {
        report_reason(file_name, "the file is empty.", messages);
        return 1;
    }
    if (check_banner(line, file_name, header, messages) != 0) return 1;
    // Comments and empty lines may stand between the banner and the size line.
    while (read_header_line(file, line, header)) {
        if (line.empty() || line[0] == '%' || words_of(line).empty()) continue;
        return check_size_line(line, file_name, header, messages);
    }
    report_reason(file_name, "no size line after the banner.", messages);
    return 1;
}

// Checks the entries' count against the size line; prints the refusal and returns 1.
[[nodiscard]] int check_entry_count(const EdgeTotals& totals, const MatrixHeader& header,
                                    const char* file_name, MessageSink& messages) {
    if (totals.edges == header.entries) return 0;
    report_error_prefix({file_name, 0, 0}, messages);
    messages.print(" %lld entries, %s the %lld the size line gives.\n",
                   static_cast<long long>(totals.edges),
                   totals.edges < header.entries ? "fewer than" : "more than",
                   static_cast<long long>(header.entries));
    return 1;
}

[[nodiscard]] int read_entries(std::FILE* file, const char* file_name, MessageSink& messages,
                               Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                               Block<float>& edge_weights, const ReaderSettings& settings) {
    MatrixHeader header;
    if (read_matrix_header(file, file_name, header, messages) != 0) return 1;
    EdgeLineFormat format;
    format.first_number = 1;
    format.last_number = static_cast<int>(header.rows);
    format.fewest_numbers = header.has_values ? 3 : 2;
    format.most_numbers = format.fewest_numbers;
    format.keeps_weights = header.has_values && settings.takes_values_as_weights;
    EdgeGathering gathering;
    gather_edge_lines(file, format, settings.threads, settings.chunk_bytes, gathering);
    if (gathering.has_failed) {
        report_reason(file_name, "not enough memory for the entries.", messages);
        return 1;
    }
    if (find_edge_fault(gathering, header.line_count)) {
        report_edge_fault(file_name, format, gathering, messages);
        return 1;
    }
    const EdgeTotals totals = count_edges(gathering);
    if (check_entry_count(totals, header, file_name, messages) != 0) return 1;
    nvtxs = static_cast<int>(header.rows);
    if (place_gathered_edges(file_name, gathering, totals, nvtxs, settings, edge_offsets, adjacency,
                             edge_weights, messages) != 0) {
        return 1;
    }
    if (settings.findings != nullptr) settings.findings->holds_matrix_entries = true;
    return 0;
}

}  // namespace

int read_mtx_file(std::FILE* file, const char* file_name, MessageSink& messages,
                  Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                  Block<int>& /*vertex_weights*/, Block<float>& edge_weights,
                  const ReaderSettings& settings) {
    int result = 1;
    if (allocates_or_fails([&] {
            result = read_entries(file, file_name, messages, edge_offsets, adjacency, nvtxs,
                                  edge_weights, settings);
        }) != 0) {
        report_reason(file_name, "not enough memory for the matrix's header.", messages);
        result = 1;
    }
    return close_graph_file(file, file_name, messages, result);
}
