#include "input/byte_source.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "compression.h"
#include "input/codecs.h"
#include "input/graph_reader.h"
#include "test_support.h"

namespace {

using test_support::MemoryMessages;
using test_support::stream_with;
using namespace compression;

struct CodecCase {
    const char* name;
    std::string (*compress)(const std::string& text);
};

const CodecCase codec_cases[] = {
    {"gzip", gzip_bytes}, {"zstd", zstd_bytes}, {"xz", xz_bytes}, {"bzip2", bzip2_bytes}};

// Lines of a graph-like text, longer than one of the slots the decoded bytes go over in.
std::string long_text() {
    std::string text;
    for (int i = 1; text.size() < (std::size_t{5} << 19); ++i) {
        text += std::to_string(i) + " " + std::to_string(i * 7 % 1000 + 1) + "\n";
    }
    return text;
}

// An input stream over bytes: a temporary file, or a pipe that a thread fills in pieces.
struct Input {
    std::FILE* file = nullptr;
    std::thread writer;
    ~Input() {
        if (writer.joinable()) writer.join();
    }
};

void open_input(const std::string& bytes, bool is_pipe, Input& input) {
    if (!is_pipe) {
        input.file = stream_with(bytes);
        return;
    }
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    input.file = fdopen(ends[0], "r");
    // A refusal closes the pipe before the writer is done: its write then fails, not the test.
    std::signal(SIGPIPE, SIG_IGN);
    input.writer = std::thread([bytes, descriptor = ends[1]] {
        // The first bytes in small pieces, so that they arrive in several reads.
        std::size_t at = 0;
        while (at < bytes.size()) {
            const std::size_t piece = at < 64 ? 3 : bytes.size() - at;
            const ssize_t written =
                write(descriptor, bytes.data() + at, std::min(piece, bytes.size() - at));
            if (written <= 0) break;
            at += static_cast<std::size_t>(written);
        }
        close(descriptor);
    });
}

struct Drawn {
    int opened = 1;
    std::string bytes;
    bool has_read_error = false;
    int finished = 1;
    std::string messages;
};

// Opens a source on input, reads up to limit bytes through it as a reader would, closes the
// stream and finishes the source with reader_result.
Drawn draw(const std::string& bytes, bool is_pipe, std::size_t limit = std::string::npos,
           int reader_result = 0) {
    Drawn drawn;
    Input input;
    open_input(bytes, is_pipe, input);
    MemoryMessages messages;
    ByteSource source;
    drawn.opened = open_byte_source(input.file, "g.graph", messages.sink(), source);
    if (drawn.opened == 0) {
        std::vector<char> piece(100000);
        std::size_t got = 0;
        while (
            drawn.bytes.size() < limit &&
            (got = std::fread(piece.data(), 1, std::min(piece.size(), limit - drawn.bytes.size()),
                              source.stream)) > 0)
            drawn.bytes.append(piece.data(), got);
        drawn.has_read_error = std::ferror(source.stream) != 0;
        std::fclose(source.stream);
        drawn.finished = finish_byte_source(source, "g.graph", messages.sink(), reader_result);
    }
    drawn.messages = messages.text();
    return drawn;
}

TEST(ByteSource, gives_the_decoded_bytes_of_each_codec_from_a_file_or_a_pipe) {
    const std::string texts[] = {"% a graph\n3 2\n2\n1 3\n2\n", long_text()};
    for (const CodecCase& codec : codec_cases) {
        for (const std::string& text : texts) {
            for (bool is_pipe : {false, true}) {
                SCOPED_TRACE(std::string(codec.name) + (is_pipe ? " pipe " : " file ") +
                             std::to_string(text.size()));
                const Drawn drawn = draw(codec.compress(text), is_pipe);
                EXPECT_EQ(drawn.opened, 0);
                EXPECT_TRUE(drawn.bytes == text);
                EXPECT_FALSE(drawn.has_read_error);
                EXPECT_EQ(drawn.finished, 0);
                EXPECT_EQ(drawn.messages, "");
            }
        }
    }
}

TEST(ByteSource, joins_members_and_passes_plain_bytes_through) {
    const std::string text = "2 1\n2\n1\n";
    struct JoinCase {
        const char* name;
        std::string bytes;
        std::string decoded;
    };
    const JoinCase cases[] = {
        {"two gzip members", gzip_bytes(text) + gzip_bytes("% more\n"), text + "% more\n"},
        {"two zstd frames", zstd_bytes(text) + zstd_bytes(text), text + text},
        {"plain text", text, text},
        {"plain text like the bzip2 magic", "BZh9 1\n", "BZh9 1\n"},
        {"empty", "", ""},
    };
    for (const JoinCase& c : cases) {
        for (bool is_pipe : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (is_pipe ? " pipe" : " file"));
            const Drawn drawn = draw(c.bytes, is_pipe);
            EXPECT_EQ(drawn.bytes, c.decoded);
            EXPECT_EQ(drawn.finished, 0);
            EXPECT_EQ(drawn.messages, "");
        }
    }
}

TEST(ByteSource, names_the_codec_of_a_damaged_or_cut_stream) {
    const std::string text = long_text();
    for (const CodecCase& codec : codec_cases) {
        const std::string bytes = codec.compress(text);
        std::string changed = bytes;
        changed[changed.size() / 2] ^= 0x55;
        const std::string name = codec.name;
        struct DamageCase {
            const char* name;
            std::string bytes;
            std::size_t reader_limit;  // the reader reads no further, and finds no error
            const char* message;
        };
        const DamageCase cases[] = {
            {"cut", bytes.substr(0, bytes.size() / 2), std::string::npos, "is cut short"},
            {"cut in the last bytes", bytes.substr(0, bytes.size() - 1), std::string::npos,
             "is cut short"},
            {"changed", changed, std::string::npos, "is damaged"},
            {"garbage after it", bytes + "garbage after the stream\n", std::string::npos,
             "is damaged"},
            {"cut past where the reader stopped", bytes.substr(0, bytes.size() - 2), 1000,
             "is cut short"},
        };
        for (const DamageCase& c : cases) {
            SCOPED_TRACE(name + " " + c.name);
            const bool reader_sees_it = c.reader_limit == std::string::npos;
            const Drawn drawn = draw(c.bytes, false, c.reader_limit, reader_sees_it ? 1 : 0);
            EXPECT_EQ(drawn.has_read_error, reader_sees_it);
            EXPECT_EQ(drawn.finished, 1);
            EXPECT_EQ(drawn.messages,
                      "Error. The " + name + " stream of graph file g.graph " + c.message + ".\n");
        }
    }
}

// A tar header block as the tar command writes one, for a file named g.graph.
std::string tar_header() {
    std::string block(512, '\0');
    std::memcpy(block.data(), "g.graph", 7);
    std::memcpy(block.data() + 100, "0000644", 7);
    std::memcpy(block.data() + 124, "00000000010", 11);
    block[156] = '0';
    std::memcpy(block.data() + 257, "ustar\00000", 8);
    std::memset(block.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : block)
        sum += c;
    std::snprintf(block.data() + 148, 8, "%06o", sum);
    return block + "2 1\n2\n1\n" + std::string(1024, '\0');
}

TEST(ByteSource, refuses_a_tar_archive_plain_or_compressed) {
    const char* refusal =
        "Error. Graph file g.graph is a tar archive: extract the graph file first.\n";
    std::string not_quite = tar_header();
    not_quite[0] = 'h';  // the checksum no longer holds
    struct TarCase {
        const char* name;
        std::string bytes;
        int opened;
    };
    const TarCase cases[] = {
        {"tar", tar_header(), 1},
        {"gzip tar", gzip_bytes(tar_header()), 1},
        {"xz tar", xz_bytes(tar_header()), 1},
        {"a tar header with a wrong checksum", not_quite, 0},
    };
    for (const TarCase& c : cases) {
        for (bool is_pipe : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (is_pipe ? " pipe" : " file"));
            const Drawn drawn = draw(c.bytes, is_pipe);
            EXPECT_EQ(drawn.opened, c.opened);
            EXPECT_EQ(drawn.messages, c.opened == 1 ? refusal : "");
        }
    }
}

struct ReadOutcome {
    int result = 0;
    std::string messages;
    std::vector<int> edge_offsets;
    std::vector<int> adjacency;
};

ReadOutcome read_through_source(const std::string& bytes, int threads) {
    ReadOutcome outcome;
    MemoryMessages messages;
    ByteSource source;
    if (open_byte_source(stream_with(bytes), "g.graph", messages.sink(), source) != 0) {
        outcome.result = -1;
        return outcome;
    }
    Block<std::int64_t> offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    ReaderSettings settings;
    settings.threads = threads;
    settings.chunk_bytes = 64;
    outcome.result = read_graph_file(source.stream, "g.graph", messages.sink(), offsets, adjacency,
                                     nvtxs, vertex_weights, edge_weights, settings);
    outcome.result = finish_byte_source(source, "g.graph", messages.sink(), outcome.result);
    outcome.messages = messages.text();
    outcome.edge_offsets.assign(offsets.begin(), offsets.end());
    outcome.adjacency.assign(adjacency.begin(), adjacency.end());
    return outcome;
}

// Every input of the fuzz corpus reads through a compressor as it reads plain: the same
// status, messages and arrays.
TEST(ByteSource, the_fuzz_corpus_reads_the_same_compressed) {
    const std::filesystem::path corpus = std::filesystem::path(GRAPHREP_SOURCE_DIR) / "fuzz/corpus";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        const std::string bytes = test_support::file_bytes(entry.path().string());
        // An input of the corpus that happens to be a compressed stream reads otherwise.
        if (find_codec(reinterpret_cast<const unsigned char*>(bytes.data()),
                       static_cast<std::int64_t>(bytes.size())) != nullptr) {
            continue;
        }
        SCOPED_TRACE(entry.path().filename().string());
        const int threads = 1 + files % 2;
        const ReadOutcome plain = read_through_source(bytes, threads);
        for (const std::string& compressed : {gzip_bytes(bytes), zstd_bytes(bytes)}) {
            const ReadOutcome decoded = read_through_source(compressed, threads);
            EXPECT_EQ(decoded.result, plain.result);
            EXPECT_EQ(decoded.messages, plain.messages);
            EXPECT_EQ(decoded.edge_offsets, plain.edge_offsets);
            EXPECT_EQ(decoded.adjacency, plain.adjacency);
        }
        ++files;
    }
    EXPECT_GT(files, 100);
}

}  // namespace

namespace {

// A reader that stops early on a pipe whose writer is still there ends the decoding at once:
// without the wake-up this test would wait for the writer forever.
TEST(ByteSource, a_reader_stopping_early_does_not_wait_for_a_stalled_pipe) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const std::string bytes = compression::gzip_bytes("-1 0\n% " + std::string(600, 'x') + "\n");
    ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    MemoryMessages messages;
    {
        ByteSource source;
        ASSERT_EQ(open_byte_source(fdopen(ends[0], "r"), "g.graph", messages.sink(), source), 0);
        Block<std::int64_t> offsets;
        Block<int> adjacency, vertex_weights;
        Block<float> edge_weights;
        int nvtxs = 0;
        const int result = read_graph_file(source.stream, "g.graph", messages.sink(), offsets,
                                           adjacency, nvtxs, vertex_weights, edge_weights);
        EXPECT_EQ(finish_byte_source(source, "g.graph", messages.sink(), result), 1);
    }
    close(ends[1]);
    EXPECT_EQ(messages.text(), "ERROR in graph file `g.graph': Invalid number of vertices (-1).\n");
}

}  // namespace
