// A message sink over a memory stream, for the tests and the fuzz targets: what a component
// reports, read back as text, with nothing printed on the process's own streams.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/message_sink.h"

namespace memory_messages {

// A message sink over a memory stream: what a component reports, read back as text.
class MemoryMessages {
   public:
    MemoryMessages() : stream_(open_memstream(&buffer_, &size_)), sink_(stream_) {}
    MemoryMessages(const MemoryMessages&) = delete;
    MemoryMessages& operator=(const MemoryMessages&) = delete;
    ~MemoryMessages() {
        if (stream_ != nullptr) std::fclose(stream_);
        std::free(buffer_);
    }
    MessageSink& sink() {
        return sink_;
    }
    std::string text() {
        std::fflush(stream_);
        return std::string(buffer_ == nullptr ? "" : buffer_, size_);
    }

   private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* stream_;
    MessageSink sink_;
};

}  // namespace memory_messages
