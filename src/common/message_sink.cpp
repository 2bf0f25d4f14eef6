#include "common/message_sink.h"

#include <cstdarg>

#include "common/printable_name.h"
#include "common/progress_line.h"

namespace {

// Keeps the progress line off the terminal while one message is written and sent on.
class HiddenProgress {
   public:
    HiddenProgress(ProgressLine* line, std::FILE* stream, bool& has_failed)
        : line_(line), stream_(stream), has_failed_(has_failed) {
        if (line_ != nullptr) line_->hide();
    }
    HiddenProgress(const HiddenProgress&) = delete;
    HiddenProgress& operator=(const HiddenProgress&) = delete;
    ~HiddenProgress() {
        if (line_ == nullptr) return;
        // The message must be on the terminal before the line may be drawn again.
        if (std::fflush(stream_) != 0) has_failed_ = true;
        line_->show();
    }

   private:
    ProgressLine* line_;
    std::FILE* stream_;
    bool& has_failed_;
};

}  // namespace

void MessageSink::print_arguments(const char* format, std::va_list arguments) {
    const HiddenProgress hidden(progress_line_, stream_, has_failed_);
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

void MessageSink::print_naming(const char* before, const char* name, const char* after) {
    const HiddenProgress hidden(progress_line_, stream_, has_failed_);
    if (std::fputs(before, stream_) == EOF) has_failed_ = true;
    // The name goes out in runs between its control bytes, each of those as "?".
    for (const char* run = name; *run != '\0';) {
        const char* end = run;
        while (*end != '\0' && !is_control_byte(*end))
            ++end;
        const std::size_t length = static_cast<std::size_t>(end - run);
        if (length > 0 && std::fwrite(run, 1, length, stream_) != length) has_failed_ = true;
        if (*end == '\0') break;
        if (std::fputc('?', stream_) == EOF) has_failed_ = true;
        run = end + 1;
    }
    if (std::fputs(after, stream_) == EOF) has_failed_ = true;
}

void MessageSink::error_naming(const char* before, const char* name, const char* after) {
    ++error_count_;
    print_naming(before, name, after);
}

void MessageSink::warning_naming(const char* before, const char* name, const char* after) {
    ++warning_count_;
    print_naming(before, name, after);
}

void MessageSink::write_text(std::string_view text, std::int64_t errors, std::int64_t warnings) {
    error_count_ += errors;
    warning_count_ += warnings;
    const HiddenProgress hidden(progress_line_, stream_, has_failed_);
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) {
        has_failed_ = true;
    }
}

void MessageSink::flush() {
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) has_failed_ = true;
}
