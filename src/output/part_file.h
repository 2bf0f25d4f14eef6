// Part file: the output file that one part of an output written in parts shares with the
// other parts.
//
// A part never replaces the file, unlike a whole output: each part opens the same file
// without emptying it (creating it when missing), sets its size to the whole output's and
// writes its own byte ranges at their positions. Parts may so run at the same time, in any
// order and on any machine that sees the file, and a failed part may be run again alone; the
// file is whole once every part has succeeded. Only a regular file can be shared this way.
// The part file owns its descriptor and closes it on every path; it never forces the bytes to
// disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/message_sink.h"

class PartFile {
   public:
    PartFile() = default;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    ~PartFile();

    // Opens name for writing and sets its size to size bytes. Prints "Error. -part needs a
    // regular output file." when name reaches anything but a regular file, the cannot-open
    // message when it cannot be opened or created, and the write-failure message when the size
    // cannot be set; returns 1 then, holding nothing open.
    [[nodiscard]] int open(const std::string& name, std::int64_t size, MessageSink& messages);

    // The open descriptor, for positioned writes; -1 when none is open.
    int descriptor() const {
        return descriptor_;
    }

    // Closes the file. Prints the write-failure message and returns 1 when the close fails.
    [[nodiscard]] int finish(MessageSink& messages);

    // Closes the file after a failed write and prints the write-failure message.
    void abandon(MessageSink& messages);

   private:
    void close_descriptor();

    int descriptor_ = -1;
    std::string name_;
};

// Writes length bytes at position of descriptor, however many writes that takes. Returns 1
// when a write fails.
[[nodiscard]] int write_at(int descriptor, std::int64_t position, const char* bytes,
                           std::size_t length);
