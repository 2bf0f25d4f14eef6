#include "common/message_sink.h"

#include <cstdarg>

void MessageSink::print_arguments(const char* format, std::va_list arguments) {
    if (std::vfprintf(stream_, format, arguments) < 0) has_failed_ = true;
}

void MessageSink::print(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    print_arguments(format, arguments);
    va_end(arguments);
}

void MessageSink::error(const char* format, ...) {
    ++error_count_;
    std::va_list arguments;
    va_start(arguments, format);
    print_arguments(format, arguments);
    va_end(arguments);
}

void MessageSink::warning(const char* format, ...) {
    ++warning_count_;
    std::va_list arguments;
    va_start(arguments, format);
    print_arguments(format, arguments);
    va_end(arguments);
}

void MessageSink::write_text(std::string_view text, std::int64_t errors, std::int64_t warnings) {
    error_count_ += errors;
    warning_count_ += warnings;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) {
        has_failed_ = true;
    }
}

void MessageSink::flush() {
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) has_failed_ = true;
}
