// Compressed bytes for the tests, made with the codec libraries as their command-line tools
// make them: the tests need no compressor on the machine.
#pragma once

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <string>

namespace compression {

inline std::string gzip_bytes(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// With a checksum, as the zstd command writes it: a changed byte is then always found.
inline std::string zstd_bytes(const std::string& text) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    std::string out(ZSTD_compressBound(text.size()), '\0');
    out.resize(ZSTD_compress2(context, out.data(), out.size(), text.data(), text.size()));
    ZSTD_freeCCtx(context);
    return out;
}

inline std::string xz_bytes(const std::string& text) {
    std::string out(lzma_stream_buffer_bound(text.size()), '\0');
    std::size_t size = 0;
    lzma_easy_buffer_encode(1, LZMA_CHECK_CRC64, nullptr,
                            reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                            reinterpret_cast<uint8_t*>(out.data()), &size, out.size());
    out.resize(size);
    return out;
}

inline std::string bzip2_bytes(const std::string& text) {
    std::string out(text.size() + text.size() / 100 + 600, '\0');
    unsigned int size = static_cast<unsigned int>(out.size());
    BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(text.data()),
                             static_cast<unsigned int>(text.size()), 1, 0, 0);
    out.resize(size);
    return out;
}

}  // namespace compression
