// Message sink: where every message of a run goes, and what became of them.
//
// The driver creates one sink and hands it to every stage that reports. The stream is chosen
// once: standard output, or standard error when the graph itself goes to standard output.
// Messages are formatted text as before; the sink counts the errors and warnings among them,
// so that -strict and the exit status read one count, and it remembers whether writing any of
// them failed, since for a check the messages are the whole answer. Tests hand it a memory
// stream (open_memstream) and read the messages from there.
//
// A progress line on the same terminal is hidden while each message is written, so that no
// message lands inside it.
//
// A sink serves one thread. Work done on several threads keeps its messages as text and hands
// them over in file order through write_text.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string_view>

class ProgressLine;

#if defined(__GNUC__)
#define GRAPHREP_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#else
#define GRAPHREP_PRINTF_FORMAT(format_index, first_argument)
#endif

class MessageSink {
   public:
    explicit MessageSink(std::FILE* stream) : stream_(stream) {}
    MessageSink(const MessageSink&) = delete;
    MessageSink& operator=(const MessageSink&) = delete;

    // Text that is neither an error nor a warning of its own: the detail line after an error
    // prefix, the second line of a two-line warning, a summary.
    void print(const char* format, ...) GRAPHREP_PRINTF_FORMAT(2, 3);
    // Counts one error and prints its text (a whole line, or the prefix a detail follows).
    void error(const char* format, ...) GRAPHREP_PRINTF_FORMAT(2, 3);
    // Counts one warning and prints its text.
    void warning(const char* format, ...) GRAPHREP_PRINTF_FORMAT(2, 3);
    // Counts one error or one warning and prints before, then the file name name with every
    // byte below 0x20 and 0x7F written as "?", then after: a name holding a newline must not
    // end the message early and plant a line of its own among the others.
    void error_naming(const char* before, const char* name, const char* after);
    void warning_naming(const char* before, const char* name, const char* after);
    // Text formatted elsewhere (a chunk's messages, say), holding that many errors and warnings.
    void write_text(std::string_view text, std::int64_t errors, std::int64_t warnings);

    // Sends what is buffered on; a failure counts as a failed write. Called before anything
    // else may write to the same file (the graph on standard output) and when the run ends.
    void flush();

    std::int64_t error_count() const {
        return error_count_;
    }
    std::int64_t warning_count() const {
        return warning_count_;
    }
    // Some message, or its flush, could not be written: the reader of the messages lacks them.
    bool has_failed() const {
        return has_failed_;
    }
    std::FILE* stream() const {
        return stream_;
    }
    // A progress line drawn on the same terminal: each message hides it while it is written.
    void set_progress_line(ProgressLine* line) {
        progress_line_ = line;
    }

   private:
    void print_arguments(const char* format, std::va_list arguments);
    void print_naming(const char* before, const char* name, const char* after);

    std::FILE* stream_;
    std::int64_t error_count_ = 0;
    std::int64_t warning_count_ = 0;
    bool has_failed_ = false;
    ProgressLine* progress_line_ = nullptr;
};
