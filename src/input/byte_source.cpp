#include "input/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/allocation.h"
#include "common/run_messages.h"
#include "input/codecs.h"
#include "input/decoding.h"
#include "input/reader_common.h"

namespace {

// The first bytes looked at: a tar header, longer than any magic.
constexpr std::int64_t prefix_bytes = first_slot_bytes;

// The reader's read of an input that is not compressed but whose first bytes were taken.
ssize_t read_plain(void* cookie, char* place, std::size_t count) {
    DecodingState& state = *static_cast<DecodingState*>(cookie);
    return read_raw(state, reinterpret_cast<unsigned char*>(place), static_cast<long>(count));
}

// The state outlives the stream: the source owns it.
int close_stream(void*) {
    return 0;
}

// Takes up to prefix_bytes first bytes, fewer once they begin a compressed stream: from a
// regular file without moving its position, from anything else (a pipe) by reading them, to
// be handed on first. 1 after a read error.
[[nodiscard]] int take_prefix(int descriptor, std::vector<unsigned char>& prefix,
                              bool& is_regular) {
    struct stat status;
    is_regular = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    const off_t position = is_regular ? lseek(descriptor, 0, SEEK_CUR) : -1;
    is_regular = is_regular && position >= 0;
    std::int64_t size = 0;
    int result = 0;
    while (size < prefix_bytes) {
        const ssize_t got =
            is_regular ? pread(descriptor, prefix.data() + size,
                               static_cast<std::size_t>(prefix_bytes - size), position + size)
                       : read(descriptor, prefix.data() + size,
                              static_cast<std::size_t>(prefix_bytes - size));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) result = 1;
        if (got <= 0) break;
        size += got;
        // A compressed stream is known by its magic: its tar header, if any, is looked for in
        // the decoded bytes, and a slow pipe is not waited on for more.
        if (find_codec(prefix.data(), size) != nullptr) break;
    }
    prefix.resize(static_cast<std::size_t>(size));
    return result;
}

// Waits for the first decoded slot, or the end of the decoding, and tells whether the
// decoded bytes begin with a tar header.
bool decodes_to_tar(DecodingState& state) {
    std::unique_lock<std::mutex> guard(state.lock);
    state.changed.wait(guard,
                       [&] { return state.filled > 0 || state.end != DecodingEnd::going_on; });
    if (state.filled == 0) return false;
    return is_tar_header(state.slots[0].bytes.data(), static_cast<long>(state.slots[0].size));
}

void report_no_memory(const char* input_name, MessageSink& messages) {
    messages.error_naming("Error. Not enough memory to read graph file ", input_name, ".\n");
}

void report_tar(const char* input_name, MessageSink& messages) {
    messages.error_naming("Error. Graph file ", input_name,
                          " is a tar archive: extract the graph file first.\n");
}

// Starts the decoding thread of codec, or the plain stream, and opens the reader's stream.
[[nodiscard]] int start_source(ByteSource& source, const Codec* codec) {
    DecodingState& state = *source.state;
    state.codec = codec;
    cookie_io_functions_t functions{codec != nullptr ? read_decoded : read_plain, nullptr, nullptr,
                                    close_stream};
    if (codec != nullptr) {
        const int failed = allocates_or_fails([&] {
            for (Slot& slot : state.slots)
                slot.bytes.resize(static_cast<std::size_t>(slot_bytes));
        });
        if (failed != 0 || pipe2(state.wake_pipe, O_CLOEXEC) != 0) return 1;
        state.decoder.make_room(1);
        if (!state.decoder.start([&state] { run_decoding(&state); })) return 1;
    }
    source.stream = fopencookie(&state, "r", functions);
    return source.stream != nullptr ? 0 : 1;
}

}  // namespace

ByteSource::ByteSource() = default;

ByteSource::~ByteSource() {
    // A stream the reader never had (a refused archive) is closed here, before its state goes.
    if (stream != nullptr && stream != input) std::fclose(stream);
    if (state) stop_decoding(*state, DecodingMode::stopping);
    if (input != nullptr && input != stream) std::fclose(input);
}

bool is_tar_header(const unsigned char* bytes, long count) {
    constexpr long header_bytes = 512;
    constexpr long checksum_at = 148;
    constexpr long checksum_width = 8;
    if (count < header_bytes) return false;
    // The field: octal digits, after blanks, ended by a NUL or a blank.
    long field = checksum_at;
    while (field < checksum_at + checksum_width && bytes[field] == ' ')
        ++field;
    long stored = 0;
    int digits = 0;
    for (; field < checksum_at + checksum_width && bytes[field] >= '0' && bytes[field] <= '7';
         ++field, ++digits)
        stored = stored * 8 + (bytes[field] - '0');
    if (digits == 0 || field == checksum_at + checksum_width ||
        (bytes[field] != '\0' && bytes[field] != ' ')) {
        return false;
    }
    // The sum counts the field itself as blanks.
    long sum = ' ' * checksum_width;
    for (long i = 0; i < header_bytes; ++i) {
        if (i < checksum_at || i >= checksum_at + checksum_width) sum += bytes[i];
    }
    return sum == stored;
}

int open_byte_source(std::FILE* input, const char* input_name, MessageSink& messages,
                     ByteSource& source) {
    source.input = input;
    bool is_regular = false;
    if (allocates_or_fails([&] {
            source.state = std::make_unique<DecodingState>();
            source.state->prefix.resize(static_cast<std::size_t>(prefix_bytes));
        }) != 0) {
        report_no_memory(input_name, messages);
        return 1;
    }
    source.state->descriptor = fileno(input);
    DecodingState& state = *source.state;
    // An input that fails this early reaches the reader as plain bytes, which fail it there,
    // with the messages of any other failing read.
    state.has_failed_prefix = take_prefix(state.descriptor, state.prefix, is_regular) != 0;
    const Codec* codec =
        state.has_failed_prefix
            ? nullptr
            : find_codec(state.prefix.data(), static_cast<std::int64_t>(state.prefix.size()));
    if (codec == nullptr && !state.has_failed_prefix &&
        is_tar_header(state.prefix.data(), static_cast<long>(state.prefix.size()))) {
        report_tar(input_name, messages);
        return 1;
    }
    // A regular file's first bytes are still there to read: the reader reads it as it is.
    if (is_regular) state.prefix.clear();
    if (codec == nullptr && is_regular) {
        source.stream = input;
        return 0;
    }
    if (start_source(source, codec) != 0) {
        report_no_memory(input_name, messages);
        return 1;
    }
    if (codec != nullptr && decodes_to_tar(state)) {
        report_tar(input_name, messages);
        return 1;
    }
    return 0;
}

int finish_byte_source(ByteSource& source, const char* input_name, MessageSink& messages,
                       int result) {
    // The reader has closed its stream; the input goes with it or here.
    if (source.input == source.stream) source.input = nullptr;
    source.stream = nullptr;
    if (!source.state || source.state->codec == nullptr) return result;
    DecodingState& state = *source.state;
    stop_decoding(state, result == 0 ? DecodingMode::verifying : DecodingMode::stopping);
    // After an error of the file, the codec is named only to explain a read the reader saw fail.
    if (result != 0 && !state.has_failed_a_read) return result;
    // The codec's name goes before the file's, which is written as every message writes it.
    const std::string stream_of =
        std::string("The ") + state.codec->name + " stream of graph file ";
    switch (state.end) {
        case DecodingEnd::finished:
        case DecodingEnd::going_on:
            return result;
        case DecodingEnd::damaged:
            messages.error_naming(("Error. " + stream_of).c_str(), input_name, " is damaged.\n");
            return 1;
        case DecodingEnd::cut_short:
            messages.error_naming(("Error. " + stream_of).c_str(), input_name, " is cut short.\n");
            return 1;
        case DecodingEnd::read_failed:
            if (result == 0) report_cannot_read(messages, input_name);
            return 1;
        case DecodingEnd::out_of_memory:
            messages.error_naming(("Error. Not enough memory to decode the " + stream_of).c_str(),
                                  input_name, ".\n");
            return 1;
    }
    return 1;
}
