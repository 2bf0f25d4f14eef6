#include "input/byte_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "input/codecs.h"
#include "input/reader_common.h"

namespace {

// The first bytes looked at: a tar header is one 512-byte block, longer than any magic.
constexpr std::int64_t prefix_bytes = 512;
// The decoded bytes go over in slots of this size, a few of them, so that the decoding
// thread runs ahead of the reader by some MiB and neither waits on the other for long.
constexpr std::int64_t slot_bytes = std::int64_t{1} << 20;
constexpr std::int64_t slot_count = 4;
// The compressed bytes are read in pieces of this size.
constexpr std::int64_t compressed_bytes = std::int64_t{1} << 20;

// How the decoding ended.
enum class DecodingEnd { going_on, finished, damaged, cut_short, read_failed, out_of_memory };

// What the decoding thread does with what it decodes: hand it to the reader; decode on to the
// end to find damage the reader did not need to read; or stop.
enum class DecodingMode { delivering, verifying, stopping };

struct Slot {
    std::vector<unsigned char> bytes;
    std::int64_t size = 0;
};

}  // namespace

// The hand-over between the decoding thread and the reader. The decoding thread writes slot
// filled % slot_count while fewer than slot_count slots wait; the reader reads slot
// taken % slot_count while taken < filled. The counts change under the lock.
struct DecodingState {
    int descriptor = -1;
    const Codec* codec = nullptr;
    // Bytes already taken from the descriptor to look at them: they come first.
    std::vector<unsigned char> prefix;
    std::int64_t prefix_used = 0;
    // Taking the prefix failed: after it, the descriptor fails again as it did then.
    bool has_failed_prefix = false;
    std::mutex lock;
    std::condition_variable changed;
    Slot slots[slot_count];
    std::int64_t filled = 0;
    std::int64_t taken = 0;
    std::int64_t position_in_slot = 0;  // the reader's, in slot taken % slot_count
    DecodingMode mode = DecodingMode::delivering;
    DecodingEnd end = DecodingEnd::going_on;
    // Some read of the reader failed: the reader has reported an unreadable file.
    bool has_failed_a_read = false;
    std::thread thread;
};

namespace {

// Reads up to count bytes of the descriptor, the prefix first; -1 after a read error.
long read_raw(DecodingState& state, unsigned char* place, long count) {
    const std::int64_t prefix_left =
        static_cast<std::int64_t>(state.prefix.size()) - state.prefix_used;
    if (prefix_left > 0) {
        const long copied = static_cast<long>(std::min<std::int64_t>(prefix_left, count));
        std::memcpy(place, state.prefix.data() + state.prefix_used, copied);
        state.prefix_used += copied;
        return copied;
    }
    if (state.has_failed_prefix) {
        errno = EIO;
        return -1;
    }
    for (;;) {
        const ssize_t got = read(state.descriptor, place, static_cast<std::size_t>(count));
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}

// Hands the slot just filled with size bytes to the reader and waits for a free one; false
// when the run stops the decoding.
bool hand_over(DecodingState& state, std::int64_t size) {
    std::unique_lock<std::mutex> guard(state.lock);
    state.slots[state.filled % slot_count].size = size;
    ++state.filled;
    // Bytes decoded only to find damage go nowhere: their slot is free at once.
    if (state.mode == DecodingMode::verifying) state.taken = state.filled;
    state.changed.notify_all();
    state.changed.wait(guard, [&] {
        return state.filled - state.taken < slot_count || state.mode == DecodingMode::stopping;
    });
    return state.mode != DecodingMode::stopping;
}

// Fills input from the descriptor when it is used up; false after a read error.
bool refill(DecodingState& state, std::vector<unsigned char>& input, CodecBuffers& buffers,
            bool& input_is_over) {
    if (buffers.input != buffers.input_end || input_is_over) return true;
    const long got = read_raw(state, input.data(), static_cast<long>(input.size()));
    if (got < 0) return false;
    input_is_over = got == 0;
    buffers.input = input.data();
    buffers.input_end = input.data() + got;
    return true;
}

// Hands over the slot's last bytes, when it has any, and gives end.
DecodingEnd end_decoding(DecodingState& state, const CodecBuffers& buffers,
                         const unsigned char* slot_start, DecodingEnd end) {
    if (buffers.output != slot_start && !hand_over(state, buffers.output - slot_start)) {
        return DecodingEnd::finished;
    }
    return end;
}

// Decodes the whole input, member after member, into the slots.
DecodingEnd decode(DecodingState& state, CodecState& codec_state,
                   std::vector<unsigned char>& input) {
    const Codec& codec = *state.codec;
    if (codec.start(codec_state) != 0) return DecodingEnd::out_of_memory;
    CodecBuffers buffers;
    bool input_is_over = false;
    // Right after a member's end, the input may end: that is the end of a good stream.
    bool is_between_members = false;
    std::int64_t slot = 0;
    buffers.output = state.slots[0].bytes.data();
    buffers.output_end = buffers.output + slot_bytes;
    for (;;) {
        if (!refill(state, input, buffers, input_is_over)) return DecodingEnd::read_failed;
        const unsigned char* const slot_start = state.slots[slot].bytes.data();
        const bool has_no_input = buffers.input == buffers.input_end && input_is_over;
        if (has_no_input && is_between_members) {
            return end_decoding(state, buffers, slot_start, DecodingEnd::finished);
        }
        const unsigned char* const input_before = buffers.input;
        const unsigned char* const output_before = buffers.output;
        const CodecStep step = codec.step(codec_state, buffers);
        // What was decoded before the damage reaches the reader, as a disk's good blocks do.
        if (step == CodecStep::damaged) {
            return end_decoding(state, buffers, slot_start, DecodingEnd::damaged);
        }
        if (step == CodecStep::out_of_memory) return DecodingEnd::out_of_memory;
        if (buffers.input != input_before) is_between_members = false;
        if (step == CodecStep::member_end) {
            is_between_members = true;
            if (codec.start(codec_state) != 0) return DecodingEnd::out_of_memory;
        } else if (buffers.input == input_before && buffers.output == output_before) {
            // The output always has room here: a step that moves nothing lacks input, which
            // the file no longer has, or goes nowhere.
            if (has_no_input) {
                return end_decoding(state, buffers, slot_start, DecodingEnd::cut_short);
            }
            if (buffers.input != buffers.input_end) return DecodingEnd::damaged;
        }
        if (buffers.output == buffers.output_end) {
            if (!hand_over(state, slot_bytes)) return DecodingEnd::finished;
            slot = (slot + 1) % slot_count;
            buffers.output = state.slots[slot].bytes.data();
            buffers.output_end = buffers.output + slot_bytes;
        }
    }
}

// The decoding thread: decodes, then tells the reader how it ended.
void run_decoding(DecodingState* state) {
    CodecState codec_state;
    DecodingEnd end = DecodingEnd::out_of_memory;
    try {
        std::vector<unsigned char> input(static_cast<std::size_t>(compressed_bytes));
        end = decode(*state, codec_state, input);
    } catch (const std::bad_alloc&) {
    }
    state->codec->end(codec_state);
    std::lock_guard<std::mutex> guard(state->lock);
    state->end = end;
    state->changed.notify_all();
}

// The reader's read of the decoded bytes: what the oldest waiting slot holds, 0 at the end of
// a good stream, -1 when the decoding failed.
ssize_t read_decoded(void* cookie, char* place, std::size_t count) {
    DecodingState& state = *static_cast<DecodingState*>(cookie);
    std::unique_lock<std::mutex> guard(state.lock);
    state.changed.wait(
        guard, [&] { return state.taken < state.filled || state.end != DecodingEnd::going_on; });
    if (state.taken == state.filled) {
        if (state.end == DecodingEnd::finished) return 0;
        state.has_failed_a_read = true;
        errno = EIO;
        return -1;
    }
    const Slot& slot = state.slots[state.taken % slot_count];
    guard.unlock();
    // The slot stays the reader's until taken moves past it.
    const std::int64_t copied = std::min<std::int64_t>(slot.size - state.position_in_slot,
                                                       static_cast<std::int64_t>(count));
    std::memcpy(place, slot.bytes.data() + state.position_in_slot, copied);
    state.position_in_slot += copied;
    if (state.position_in_slot == slot.size) {
        guard.lock();
        state.position_in_slot = 0;
        ++state.taken;
        state.changed.notify_all();
    }
    return static_cast<ssize_t>(copied);
}

// The reader's read of an input that is not compressed but whose first bytes were taken.
ssize_t read_plain(void* cookie, char* place, std::size_t count) {
    DecodingState& state = *static_cast<DecodingState*>(cookie);
    return read_raw(state, reinterpret_cast<unsigned char*>(place), static_cast<long>(count));
}

// The state outlives the stream: the source owns it.
int close_stream(void*) {
    return 0;
}

// Takes up to prefix_bytes first bytes: from a regular file without moving its position, from
// anything else (a pipe) by reading them, to be handed on first. 1 after a read error.
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

// Stops the decoding thread, when there is one, and waits for it.
void stop_decoding(DecodingState& state, DecodingMode mode) {
    if (!state.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.mode = mode;
        if (mode == DecodingMode::verifying) state.taken = state.filled;
        state.changed.notify_all();
    }
    state.thread.join();
}

void report_tar(const char* input_name, MessageSink& messages) {
    messages.error("Error. Graph file %s is a tar archive: extract the graph file first.\n",
                   input_name);
}

// Starts the decoding thread of codec, or the plain stream, and opens the reader's stream.
[[nodiscard]] int start_source(ByteSource& source, const Codec* codec) {
    DecodingState& state = *source.state;
    state.codec = codec;
    cookie_io_functions_t functions{codec != nullptr ? read_decoded : read_plain, nullptr, nullptr,
                                    close_stream};
    if (codec != nullptr) {
        for (Slot& slot : state.slots)
            slot.bytes.resize(static_cast<std::size_t>(slot_bytes));
        try {
            state.thread = std::thread(run_decoding, &state);
        } catch (const std::system_error&) {
            return 1;
        }
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
    try {
        source.state = std::make_unique<DecodingState>();
        source.state->descriptor = fileno(input);
        source.state->prefix.resize(static_cast<std::size_t>(prefix_bytes));
    } catch (const std::bad_alloc&) {
        messages.error("Error. Not enough memory to read graph file %s.\n", input_name);
        return 1;
    }
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
    int result = 1;
    try {
        result = start_source(source, codec);
    } catch (const std::bad_alloc&) {
    }
    if (result != 0) {
        messages.error("Error. Not enough memory to read graph file %s.\n", input_name);
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
    const char* codec = state.codec->name;
    switch (state.end) {
        case DecodingEnd::finished:
        case DecodingEnd::going_on:
            return result;
        case DecodingEnd::damaged:
            messages.error("Error. The %s stream of graph file %s is damaged.\n", codec,
                           input_name);
            return 1;
        case DecodingEnd::cut_short:
            messages.error("Error. The %s stream of graph file %s is cut short.\n", codec,
                           input_name);
            return 1;
        case DecodingEnd::read_failed:
            if (result == 0) report_read_error(input_name, messages);
            return 1;
        case DecodingEnd::out_of_memory:
            messages.error("Error. Not enough memory to decode the %s stream of graph file %s.\n",
                           codec, input_name);
            return 1;
    }
    return 1;
}
