// Piece pipeline: formats the units of a piece layout, on several threads when asked to, while
// the calling thread hands them to the stream in order.
//
// Each formatting thread has buffers_per_thread buffers of one unit in a common pool: one it
// fills, one waiting to be written, one being handed to the stream. The bytes are the same for
// any thread count. Memory that does not come serves fewer threads: a pool that cannot be had
// is tried again for fewer threads, a thread that cannot be started is done without, and the
// calling thread formats alone when no helper is left; only when that one buffer is not there
// either is the result out_of_memory. The pipeline neither opens, flushes nor closes the stream
// and prints nothing; every byte reaches the stream through one write, so that a later way of
// writing (by position, say) changes one function.
#pragma once

#include <cstdint>
#include <cstdio>

#include "output/line_pieces.h"
#include "output/write_result.h"

// More formatting threads than this gain nothing on any machine the program meets.
constexpr int max_formatting_threads = 256;

// The piece budget that keeps the buffers of thread_count threads within 24 MiB: beyond
// eight threads the pieces get smaller, down to 32 KiB, so that memory does not grow with the
// thread count.
std::int64_t pipeline_piece_budget(int thread_count);

// Writes every unit of layout to out, formatted on thread_count threads (1 formats on the
// calling thread). Stops at the first write that falls short.
[[nodiscard]] WriteResult write_units(std::FILE* out, const PieceLayout& layout, int thread_count);
