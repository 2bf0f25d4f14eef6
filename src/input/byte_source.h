// Byte source: the stream a graph file's reader draws its bytes from.
//
// Looks at the first bytes of the input, whatever its name: a gzip, zstd, xz or bzip2 stream
// is decoded on a thread of its own while the reader reads the decoded bytes from a stream
// of their own; anything else reaches the reader as it is, a regular file untouched. A tar
// archive is refused before anything is read. A stream that turns out damaged or cut short
// fails the reader's next read, as a failing disk would, and is named here with its codec
// once the reader is done; after a reading without error, the rest of the stream is decoded
// too, so that damage past what the reader needed is not taken for a good file.
#pragma once

#include <cstdio>
#include <memory>

#include "common/message_sink.h"

struct DecodingState;

// The owner of the input and, for a compressed one, of the thread decoding it: the thread is
// stopped and joined, and the input closed, on every path.
class ByteSource {
   public:
    ByteSource();
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;
    ~ByteSource();

    // What the reader reads, and closes: the input itself, or a stream over it.
    std::FILE* stream = nullptr;
    // The input as opened; closed here unless it is the stream the reader closes.
    std::FILE* input = nullptr;
    std::unique_ptr<DecodingState> state;
};

// Takes input (named input_name in messages) into source, which closes it from now on, and
// sets source.stream. Prints the error and returns 1 for a tar archive or an input that cannot
// be read or decoded from its first bytes on.
[[nodiscard]] int open_byte_source(std::FILE* input, const char* input_name, MessageSink& messages,
                                   ByteSource& source);

// After the reader has closed source.stream and returned result: a reading without error
// decodes the rest of the stream; any damage of the compressed stream is named with its codec.
// Closes the input and gives result, or 1 after such an error.
[[nodiscard]] int finish_byte_source(ByteSource& source, const char* input_name,
                                     MessageSink& messages, int result);

// Whether the first 512 bytes (count of them) are the header of a tar archive: the header's
// checksum field holds the sum of its bytes.
bool is_tar_header(const unsigned char* bytes, long count);
