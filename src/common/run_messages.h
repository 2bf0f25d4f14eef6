// Run messages: the run's own messages that more than one stage raises, each one entry that
// both the stages that print it and the usage text read.
//
// An entry is the text around the value it names; the usage text shows the value by its
// name (FILE), a printed message by the value itself. Each message has one function that
// prints it, so its words are written here and nowhere else.
#pragma once

#include "common/message_sink.h"

struct RunMessageText {
    const char* before;      // the text up to the value, or the whole text
    const char* value_name;  // how the usage text names the value; null when there is none
};

inline constexpr RunMessageText cannot_open_graph_file{"Error. Cannot open graph file: ", "FILE"};
inline constexpr RunMessageText cannot_read_graph_file{"Error. Cannot read graph file: ", "FILE"};
inline constexpr RunMessageText cannot_write_graph_file{"Error. Cannot write graph file: ", "FILE"};
inline constexpr RunMessageText part_needs_regular_file{"Error. -part needs a regular output file.",
                                                        nullptr};
inline constexpr RunMessageText no_memory_to_write{"Error. Not enough memory to write the graph.",
                                                   nullptr};

// Each prints its message as one error; a file name is written as the messages of the graph
// file write it, its control bytes as "?".
void report_cannot_open(MessageSink& messages, const char* file_name);
void report_cannot_read(MessageSink& messages, const char* file_name);
void report_cannot_write(MessageSink& messages, const char* file_name);
void report_part_needs_regular_file(MessageSink& messages);
void report_no_memory_to_write(MessageSink& messages);
