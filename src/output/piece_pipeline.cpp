#include "output/piece_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "common/allocation.h"
#include "common/helper_threads.h"
#include "common/progress_line.h"

namespace {

// On one thread the lines are gathered in a buffer of this size and handed to the stream
// whenever the room left may not hold the next unit: a few big writes instead of one per line.
constexpr std::int64_t serial_buffer_size = std::int64_t{4} << 20;

constexpr int buffers_per_thread = 3;

constexpr std::int64_t buffer_pool_budget = std::int64_t{24} << 20;
constexpr std::int64_t smallest_piece_budget = std::int64_t{32} << 10;

// The one place where the bytes reach the stream; units_done units are then written in all,
// which a watcher of the layout is told.
[[nodiscard]] int write_bytes(std::FILE* out, const PieceLayout& layout, const char* first,
                              const char* last, std::int64_t units_done) {
    const std::size_t count = static_cast<std::size_t>(last - first);
    if (count != 0 && std::fwrite(first, 1, count, out) != count) return 1;
    if (layout.progress != nullptr) {
        layout.progress->bytes_done.fetch_add(static_cast<std::int64_t>(count),
                                              std::memory_order_relaxed);
        layout.progress->parts_done.store(units_done, std::memory_order_relaxed);
    }
    return 0;
}

// A buffer of bytes and the slack the number text stores past its end, or null when the
// memory is not there. Without throwing, so that a sanitizer's refusal is a null as well.
std::unique_ptr<char[]> allocate_buffer(std::int64_t bytes) {
    return std::unique_ptr<char[]>(
        new (std::nothrow) char[static_cast<std::size_t>(bytes + number_text_slack)]);
}

[[nodiscard]] WriteResult write_serially(std::FILE* out, const PieceLayout& layout) {
    // A small output needs no more room than it can take; when the large buffer is not
    // there, one unit's room does, with a write per unit.
    std::int64_t bytes = std::max(
        layout.unit_bytes, std::min(serial_buffer_size, layout.unit_count * layout.unit_bytes));
    std::unique_ptr<char[]> buffer = allocate_buffer(bytes);
    if (buffer == nullptr && bytes > layout.unit_bytes) {
        bytes = layout.unit_bytes;
        buffer = allocate_buffer(bytes);
    }
    if (buffer == nullptr) return WriteResult::out_of_memory;
    WeightTexts texts;
    char* const start = buffer.get();
    char* const end = start + bytes + number_text_slack;
    char* text = start;
    for (std::int64_t unit = 0; unit < layout.unit_count; ++unit) {
        if (end - text < layout.unit_bytes + number_text_slack) {
            if (write_bytes(out, layout, start, text, unit) != 0) {
                return WriteResult::write_failed;
            }
            text = start;
        }
        text = format_unit(layout, unit, text, texts);
    }
    return write_bytes(out, layout, start, text, layout.unit_count) == 0
               ? WriteResult::written
               : WriteResult::write_failed;
}

// What the formatting threads and the writing thread share. Units are claimed in order, each
// with a free buffer, so the units in hand always run from the next one to write up to fewer
// than the number of buffers after it, and unit u's slot, u modulo that number, is its own.
struct Pipeline {
    const PieceLayout* layout = nullptr;
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
[[nodiscard]] WriteResult write_in_order(std::FILE* out, Pipeline& pipeline) {
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
        const int result = write_bytes(out, *pipeline.layout, start, start + done.length, unit + 1);
        {
            std::lock_guard<std::mutex> lock(pipeline.mutex);
            pipeline.free_buffers.push_back(done.buffer);
        }
        pipeline.buffer_freed.notify_one();
        if (result != 0) return WriteResult::write_failed;
    }
    return WriteResult::written;
}

// Gives the buffers and slots of thread_count threads, or 1 when the memory is not there.
[[nodiscard]] int allocate_pipeline(int thread_count, Pipeline& pipeline) {
    const int buffer_count = buffers_per_thread * thread_count;
    bool has_buffers = true;
    const int failed = allocates_or_fails([&] {
        pipeline.buffers.resize(static_cast<std::size_t>(buffer_count));
        for (std::unique_ptr<char[]>& buffer : pipeline.buffers) {
            buffer = allocate_buffer(pipeline.layout->unit_bytes);
            if (buffer == nullptr) {
                has_buffers = false;
                return;
            }
        }
        pipeline.slots.resize(static_cast<std::size_t>(buffer_count));
        pipeline.free_buffers.reserve(static_cast<std::size_t>(buffer_count));
        for (int b = buffer_count - 1; b >= 0; --b)
            pipeline.free_buffers.push_back(b);
    });
    return failed != 0 || !has_buffers ? 1 : 0;
}

// Formats on the threads that start while the calling thread writes; with none started,
// the pool goes and the calling thread formats alone.
[[nodiscard]] WriteResult write_in_parallel(std::FILE* out, std::unique_ptr<Pipeline> pipeline,
                                            int thread_count) {
    HelperThreads threads;
    threads.make_room(thread_count);
    for (int t = 0; t < thread_count; ++t) {
        if (!threads.start([&pipeline] { format_units(*pipeline); })) break;
    }
    if (threads.count() == 0) {
        const PieceLayout& layout = *pipeline->layout;
        pipeline.reset();
        return write_serially(out, layout);
    }
    const WriteResult result = write_in_order(out, *pipeline);
    {
        std::lock_guard<std::mutex> lock(pipeline->mutex);
        pipeline->is_stopped = true;
    }
    pipeline->buffer_freed.notify_all();
    threads.join();
    return result;
}

}  // namespace

std::int64_t pipeline_piece_budget(int thread_count) {
    const std::int64_t threads = std::clamp<std::int64_t>(thread_count, 1, max_formatting_threads);
    return std::clamp(buffer_pool_budget / (buffers_per_thread * threads), smallest_piece_budget,
                      largest_piece_budget);
}

WriteResult write_units(std::FILE* out, const PieceLayout& layout, int thread_count) {
    if (layout.progress != nullptr) layout.progress->parts_total.store(layout.unit_count);
    // More threads than units would have nothing to do.
    std::int64_t threads = std::min<std::int64_t>(
        {std::int64_t{thread_count}, layout.unit_count, max_formatting_threads});
    // A pool that does not fit is tried for half as many threads, down to none.
    for (; threads > 1; threads /= 2) {
        std::unique_ptr<Pipeline> pipeline(new (std::nothrow) Pipeline);
        if (pipeline == nullptr) continue;
        pipeline->layout = &layout;
        if (allocate_pipeline(static_cast<int>(threads), *pipeline) != 0) continue;
        return write_in_parallel(out, std::move(pipeline), static_cast<int>(threads));
    }
    return write_serially(out, layout);
}
