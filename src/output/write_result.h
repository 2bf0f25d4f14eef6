// Write result: what became of writing the graph, by kind, so that each failure gets its one
// message in the one place that reports it.
#pragma once

enum class WriteResult {
    written,        // every byte was handed to the stream
    write_failed,   // a write fell short: the output file reports it
    out_of_memory,  // not even one formatting thread could have its buffer
};
