// Codecs: the compressed streams a graph file may arrive in, one table entry each.
//
// An entry knows its stream by the first bytes (its magic), and decodes it step by step: each
// step takes what it can of the compressed bytes it is shown and writes what it can of the
// decoded ones, without reading or writing a file itself. The byte source around it does the
// reading, the hand-over of the decoded bytes and the joining of members one after another.
#pragma once

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdint>

// What a step ended with.
enum class CodecStep {
    going_on,    // more input or more room is needed
    member_end,  // one member (stream, frame) ended; another may follow
    damaged,     // the bytes are not a stream of the codec
    out_of_memory,
};

// The state of whichever codec decodes: only the one started is used.
struct CodecState {
    z_stream gzip{};
    ZSTD_DStream* zstd = nullptr;
    lzma_stream xz = LZMA_STREAM_INIT;
    bz_stream bzip2{};
    bool is_started = false;
};

// Where a step reads and writes: it advances input and output past what it used.
struct CodecBuffers {
    const unsigned char* input = nullptr;
    const unsigned char* input_end = nullptr;
    unsigned char* output = nullptr;
    unsigned char* output_end = nullptr;
};

struct Codec {
    const char* name;  // as the messages name it
    // Whether the first bytes (count of them) begin a stream of this codec; fewer bytes than
    // the magic needs begin none.
    bool (*matches)(const unsigned char* bytes, std::int64_t count);
    // Starts, or after a member's end starts again, for the next member; 1 without memory.
    int (*start)(CodecState& state);
    CodecStep (*step)(CodecState& state, CodecBuffers& buffers);
    // Releases what start took; harmless on a state never started.
    void (*end)(CodecState& state);
};

// The codec whose magic the first bytes show, or nullptr for bytes no codec claims.
const Codec* find_codec(const unsigned char* bytes, std::int64_t count);

// The most first bytes any codec's magic needs.
constexpr std::int64_t codec_magic_bytes = 10;
