#include "input/codecs.h"

#include <zstd_errors.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// A step hands a codec at most this many bytes each way: the counts of zlib and libbz2 are
// unsigned ints.
constexpr std::int64_t largest_step_bytes = std::int64_t{1} << 30;

unsigned int step_count(const unsigned char* first, const unsigned char* last) {
    return static_cast<unsigned int>(std::min<std::int64_t>(last - first, largest_step_bytes));
}

bool begins_with(const unsigned char* bytes, std::int64_t count, const unsigned char* magic,
                 std::int64_t magic_count) {
    return count >= magic_count && std::memcmp(bytes, magic, magic_count) == 0;
}

// The third byte is the compression method, deflate: the only one the format defines.
bool is_gzip(const unsigned char* bytes, std::int64_t count) {
    static constexpr unsigned char magic[] = {0x1f, 0x8b, 0x08};
    return begins_with(bytes, count, magic, sizeof magic);
}

// A zstd frame, or a skippable frame (magic 0x184D2A50 to 0x184D2A5F), which a frame follows.
bool is_zstd(const unsigned char* bytes, std::int64_t count) {
    static constexpr unsigned char magic[] = {0x28, 0xb5, 0x2f, 0xfd};
    static constexpr unsigned char skippable[] = {0x2a, 0x4d, 0x18};
    if (begins_with(bytes, count, magic, sizeof magic)) return true;
    return count >= 4 && (bytes[0] & 0xf0) == 0x50 && std::memcmp(bytes + 1, skippable, 3) == 0;
}

bool is_xz(const unsigned char* bytes, std::int64_t count) {
    static constexpr unsigned char magic[] = {0xfd, '7', 'z', 'X', 'Z', 0x00};
    return begins_with(bytes, count, magic, sizeof magic);
}

// "BZh", the block size digit, then the magic of a first block or of the stream's end: a text
// line that happens to begin with "BZh1" is not taken for a stream.
bool is_bzip2(const unsigned char* bytes, std::int64_t count) {
    static constexpr unsigned char block[] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    static constexpr unsigned char stream_end[] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
    if (count < 10 || std::memcmp(bytes, "BZh", 3) != 0 || bytes[3] < '1' || bytes[3] > '9') {
        return false;
    }
    return std::memcmp(bytes + 4, block, 6) == 0 || std::memcmp(bytes + 4, stream_end, 6) == 0;
}

int start_gzip(CodecState& state) {
    // 16 above the window bits: a gzip header and trailer around the deflate data.
    constexpr int gzip_window_bits = 16 + MAX_WBITS;
    const int result =
        state.is_started ? inflateReset(&state.gzip) : inflateInit2(&state.gzip, gzip_window_bits);
    state.is_started = result == Z_OK;
    return state.is_started ? 0 : 1;
}

CodecStep step_gzip(CodecState& state, CodecBuffers& buffers) {
    z_stream& stream = state.gzip;
    stream.next_in = const_cast<unsigned char*>(buffers.input);
    stream.avail_in = step_count(buffers.input, buffers.input_end);
    stream.next_out = buffers.output;
    stream.avail_out = step_count(buffers.output, buffers.output_end);
    const int result = inflate(&stream, Z_NO_FLUSH);
    buffers.input = stream.next_in;
    buffers.output = stream.next_out;
    switch (result) {
        case Z_OK:
        case Z_BUF_ERROR:
            return CodecStep::going_on;
        case Z_STREAM_END:
            return CodecStep::member_end;
        case Z_MEM_ERROR:
            return CodecStep::out_of_memory;
        default:
            return CodecStep::damaged;
    }
}

void end_gzip(CodecState& state) {
    if (state.is_started) inflateEnd(&state.gzip);
    state.is_started = false;
}

// A zstd stream goes on from one frame into the next by itself: nothing starts again.
int start_zstd(CodecState& state) {
    if (state.zstd != nullptr) return 0;
    state.zstd = ZSTD_createDStream();
    if (state.zstd == nullptr) return 1;
    return ZSTD_isError(ZSTD_initDStream(state.zstd)) ? 1 : 0;
}

CodecStep step_zstd(CodecState& state, CodecBuffers& buffers) {
    ZSTD_inBuffer input{buffers.input, static_cast<std::size_t>(buffers.input_end - buffers.input),
                        0};
    ZSTD_outBuffer output{buffers.output,
                          static_cast<std::size_t>(buffers.output_end - buffers.output), 0};
    const std::size_t result = ZSTD_decompressStream(state.zstd, &output, &input);
    buffers.input += input.pos;
    buffers.output += output.pos;
    if (ZSTD_isError(result)) {
        return ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation ? CodecStep::out_of_memory
                                                                         : CodecStep::damaged;
    }
    // 0: the frame is decoded and all of it handed out.
    return result == 0 ? CodecStep::member_end : CodecStep::going_on;
}

void end_zstd(CodecState& state) {
    ZSTD_freeDStream(state.zstd);
    state.zstd = nullptr;
}

// Each stream of several gets a decoder of its own, so that whatever follows a stream must
// be another stream.
int start_xz(CodecState& state) {
    lzma_end(&state.xz);
    state.xz = LZMA_STREAM_INIT;
    return lzma_stream_decoder(&state.xz, UINT64_MAX, 0) == LZMA_OK ? 0 : 1;
}

CodecStep step_xz(CodecState& state, CodecBuffers& buffers) {
    lzma_stream& stream = state.xz;
    stream.next_in = buffers.input;
    stream.avail_in = static_cast<std::size_t>(buffers.input_end - buffers.input);
    stream.next_out = buffers.output;
    stream.avail_out = static_cast<std::size_t>(buffers.output_end - buffers.output);
    const lzma_ret result = lzma_code(&stream, LZMA_RUN);
    buffers.input = stream.next_in;
    buffers.output = stream.next_out;
    switch (result) {
        case LZMA_OK:
        case LZMA_BUF_ERROR:
            return CodecStep::going_on;
        case LZMA_STREAM_END:
            return CodecStep::member_end;
        case LZMA_MEM_ERROR:
            return CodecStep::out_of_memory;
        default:
            return CodecStep::damaged;
    }
}

void end_xz(CodecState& state) {
    lzma_end(&state.xz);
    state.xz = LZMA_STREAM_INIT;
}

int start_bzip2(CodecState& state) {
    if (state.is_started) BZ2_bzDecompressEnd(&state.bzip2);
    state.bzip2 = bz_stream{};
    state.is_started = BZ2_bzDecompressInit(&state.bzip2, 0, 0) == BZ_OK;
    return state.is_started ? 0 : 1;
}

CodecStep step_bzip2(CodecState& state, CodecBuffers& buffers) {
    bz_stream& stream = state.bzip2;
    stream.next_in = reinterpret_cast<char*>(const_cast<unsigned char*>(buffers.input));
    stream.avail_in = step_count(buffers.input, buffers.input_end);
    stream.next_out = reinterpret_cast<char*>(buffers.output);
    stream.avail_out = step_count(buffers.output, buffers.output_end);
    const int result = BZ2_bzDecompress(&stream);
    buffers.input = reinterpret_cast<const unsigned char*>(stream.next_in);
    buffers.output = reinterpret_cast<unsigned char*>(stream.next_out);
    switch (result) {
        case BZ_OK:
            return CodecStep::going_on;
        case BZ_STREAM_END:
            return CodecStep::member_end;
        case BZ_MEM_ERROR:
            return CodecStep::out_of_memory;
        default:
            return CodecStep::damaged;
    }
}

void end_bzip2(CodecState& state) {
    if (state.is_started) BZ2_bzDecompressEnd(&state.bzip2);
    state.is_started = false;
}

constexpr Codec codecs[] = {
    {"gzip", is_gzip, start_gzip, step_gzip, end_gzip},
    {"zstd", is_zstd, start_zstd, step_zstd, end_zstd},
    {"xz", is_xz, start_xz, step_xz, end_xz},
    {"bzip2", is_bzip2, start_bzip2, step_bzip2, end_bzip2},
};

}  // namespace

const Codec* find_codec(const unsigned char* bytes, std::int64_t count) {
    for (const Codec& codec : codecs) {
        if (codec.matches(bytes, count)) return &codec;
    }
    return nullptr;
}
