// Reader messages: every message the reading of a graph file prints, by kind, with its text.
//
// A reader names what it found as a kind and the numbers that fill its text; this is the one
// place that turns them into words. The serial reader reports each message the moment it
// meets its cause; the parallel reader holds its messages compactly as notes and reports them
// here in file order once all are known. Either way the same kind gives the same bytes, so a
// message's text is changed here and nowhere else.
#pragma once

#include <cstdint>

#include "common/message_sink.h"

enum class NoteKind : std::uint8_t {
    // The header and the arrays sized from it.
    invalid_vertex_count,  // count: nvtxs as drawn
    invalid_edge_count,    // count: nedges as drawn
    no_memory_for_arrays,
    no_memory_for_messages,
    // The vertex lines: errors that end the reading.
    no_vertex_number,            // count: the line number
    out_of_order_vertex_number,  // count: the line number
    no_vertex_weight,
    too_large_vertex_weight,
    non_positive_vertex_weight,
    neighbour_above_nvtxs,
    neighbour_below_one,
    no_edge_weight,
    too_many_entries,  // count: the entries kept with the one refused
    // The vertex lines: an error that lets the reading go on, and the warnings.
    unmatched_edge,
    self_edge,
    repeated_neighbour,
    bad_edge_weight,
    weights_differ,  // weight and other_weight: the vertex's end first
    // After the body.
    trailing_data,
    self_edge_summary,  // count: the self edges
    count_mismatch,     // count: the entries kept
};

// One message with the numbers its text names: vertex and neighbour name the edge (vertex,
// neighbour) or the vertex alone.
struct ReaderMessage {
    NoteKind kind;
    int vertex = 0;
    int neighbour = 0;
    std::int64_t count = 0;
    float weight = 0.0f;
    float other_weight = 0.0f;
};

// What the texts name besides a message's own numbers: the header's counts and the file.
struct MessageContext {
    const char* file_name;
    int nvtxs;
    std::int64_t nedges;
};

// Prints message as its text: an error's prefix and detail line, or a warning, counted as
// one error or one warning.
void report(const MessageContext& context, const ReaderMessage& message, MessageSink& messages);

// Counts one error of the graph file and prints its prefix, for a detail line that a reader
// of another layout prints after it.
void report_error_prefix(const MessageContext& context, MessageSink& messages);
