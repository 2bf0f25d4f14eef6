#include "common/run_messages.h"

namespace {

void report_naming(MessageSink& messages, const RunMessageText& text, const char* name) {
    messages.error_naming(text.before, name, "\n");
}

void report_plain(MessageSink& messages, const RunMessageText& text) {
    messages.error("%s\n", text.before);
}

}  // namespace

void report_cannot_open(MessageSink& messages, const char* file_name) {
    report_naming(messages, cannot_open_graph_file, file_name);
}

void report_cannot_read(MessageSink& messages, const char* file_name) {
    report_naming(messages, cannot_read_graph_file, file_name);
}

void report_cannot_write(MessageSink& messages, const char* file_name) {
    report_naming(messages, cannot_write_graph_file, file_name);
}

void report_part_needs_regular_file(MessageSink& messages) {
    report_plain(messages, part_needs_regular_file);
}

void report_no_memory_to_write(MessageSink& messages) {
    report_plain(messages, no_memory_to_write);
}
