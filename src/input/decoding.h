// Decoding: the thread that decodes a compressed input, and its hand-over to the reader.
//
// The decoding thread reads the compressed bytes from the input's descriptor (after any first
// bytes already taken from it), decodes them member after member through their codec's table
// entry, and hands the decoded bytes over in a few slots of fixed size, which the reader's
// stream reads in order. Decoded bytes go over as soon as a slot is full or the input has
// nothing more to read for the moment, so that a slow pipe is read as it arrives. The byte
// source owns the state and the thread; this file knows nothing of graphs or messages.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "common/helper_threads.h"
#include "input/codecs.h"

// The decoded bytes go over in slots of this size, a few of them, so that the decoding
// thread runs ahead of the reader by some MiB and neither waits on the other for long.
constexpr std::int64_t slot_bytes = std::int64_t{1} << 20;
constexpr std::int64_t slot_count = 4;
// The first slot goes over with at least this many bytes, unless the stream is shorter: the
// first bytes are looked at for a tar header, one 512-byte block.
constexpr std::int64_t first_slot_bytes = 512;
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
    // A byte written here wakes the decoding thread from its wait for input that may never
    // come (a stalled pipe) when the run no longer wants the rest.
    int wake_pipe[2] = {-1, -1};
    HelperThreads decoder;  // the decoding thread, once started
    DecodingState() = default;
    DecodingState(const DecodingState&) = delete;
    DecodingState& operator=(const DecodingState&) = delete;
    ~DecodingState() {
        for (int descriptor : wake_pipe)
            if (descriptor >= 0) close(descriptor);
    }
};

// Reads up to count bytes of the descriptor, the prefix first; -1 after a read error.
long read_raw(DecodingState& state, unsigned char* place, long count);

// The decoding thread's work: decodes the whole input, then records how it ended.
void run_decoding(DecodingState* state);

// The reader's read of the decoded bytes (a stream's read function over the state): what the
// oldest waiting slot holds, 0 at the end of a good stream, -1 when the decoding failed.
ssize_t read_decoded(void* cookie, char* place, std::size_t count);

// Sets the mode the decoding goes on in (verifying or stopping), wakes the thread and waits
// for it; nothing when no thread was started.
void stop_decoding(DecodingState& state, DecodingMode mode);
