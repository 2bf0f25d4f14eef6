#include "input/decoding.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

namespace {

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

// Waits until the descriptor has bytes (or its end) to read; false when the run stops the
// decoding first.
bool wait_for_input(const DecodingState& state) {
    if (state.prefix_used < static_cast<std::int64_t>(state.prefix.size())) return true;
    pollfd waits[2] = {{state.descriptor, POLLIN, 0}, {state.wake_pipe[0], POLLIN, 0}};
    for (;;) {
        const int ready = poll(waits, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        // A descriptor poll cannot wait on is read as it is.
        if (ready < 0) return true;
        return (waits[1].revents & POLLIN) == 0;
    }
}

// How a refill went.
enum class Refill { done, failed, stopped };

// Fills input from the descriptor when it is used up.
Refill refill(DecodingState& state, std::vector<unsigned char>& input, CodecBuffers& buffers,
              bool& input_is_over) {
    if (buffers.input != buffers.input_end || input_is_over) return Refill::done;
    if (!wait_for_input(state)) return Refill::stopped;
    const long got = read_raw(state, input.data(), static_cast<long>(input.size()));
    if (got < 0) return Refill::failed;
    input_is_over = got == 0;
    buffers.input = input.data();
    buffers.input_end = input.data() + got;
    return Refill::done;
}

// Hands over the slot's size bytes and moves the output to the next slot; false when the run
// stops the decoding.
bool next_slot(DecodingState& state, CodecBuffers& buffers, std::int64_t& slot, std::int64_t size) {
    if (!hand_over(state, size)) return false;
    slot = (slot + 1) % slot_count;
    buffers.output = state.slots[slot].bytes.data();
    buffers.output_end = buffers.output + slot_bytes;
    return true;
}

// Whether the decoded bytes of the slot should go over before the next wait for input: the
// input has none to read right now (a slow pipe), so the reader gets what there is. The first
// slot waits for the bytes a tar header would fill, which are looked at once.
bool hands_over_early(const DecodingState& state, const CodecBuffers& buffers,
                      const unsigned char* slot_start, bool input_is_over) {
    const std::int64_t size = buffers.output - slot_start;
    if (buffers.input != buffers.input_end || input_is_over || size == 0) return false;
    if (state.filled == 0 && size < first_slot_bytes) return false;
    if (state.prefix_used < static_cast<std::int64_t>(state.prefix.size())) return false;
    pollfd wait{state.descriptor, POLLIN, 0};
    return poll(&wait, 1, 0) == 0;
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
        if (hands_over_early(state, buffers, state.slots[slot].bytes.data(), input_is_over) &&
            !next_slot(state, buffers, slot, buffers.output - state.slots[slot].bytes.data())) {
            return DecodingEnd::finished;
        }
        const Refill refilled = refill(state, input, buffers, input_is_over);
        if (refilled == Refill::failed) return DecodingEnd::read_failed;
        if (refilled == Refill::stopped) return DecodingEnd::finished;
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
        if (buffers.output == buffers.output_end && !next_slot(state, buffers, slot, slot_bytes)) {
            return DecodingEnd::finished;
        }
    }
}

}  // namespace

void run_decoding(DecodingState* state) {
    CodecState codec_state;
    DecodingEnd end = DecodingEnd::out_of_memory;
    std::vector<unsigned char> input;
    if (allocates_or_fails([&] { input.resize(static_cast<std::size_t>(compressed_bytes)); }) ==
        0) {
        end = decode(*state, codec_state, input);
    }
    state->codec->end(codec_state);
    std::lock_guard<std::mutex> guard(state->lock);
    state->end = end;
    state->changed.notify_all();
}

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

void stop_decoding(DecodingState& state, DecodingMode mode) {
    if (state.decoder.count() == 0) return;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.mode = mode;
        if (mode == DecodingMode::verifying) state.taken = state.filled;
        state.changed.notify_all();
    }
    if (mode == DecodingMode::stopping && state.wake_pipe[1] >= 0) {
        const char wake = 1;
        // The pipe is empty and has room: nothing else writes to it.
        (void)!write(state.wake_pipe[1], &wake, 1);
    }
    state.decoder.join();
}
