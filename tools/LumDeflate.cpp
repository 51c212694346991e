#include "tools/LumDeflate.h"

#include <zlib.h>

#include <stdexcept>
#include <string>

std::vector<std::uint8_t> Deflate(std::span<const std::uint8_t> bytes) {
    z_stream stream{};
    // Negative window bits: raw deflate data, without zlib's header and checksum.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("zlib cannot start deflating");
    }
    std::vector<std::uint8_t> out(deflateBound(&stream, bytes.size()));
    stream.next_in = const_cast<std::uint8_t*>(bytes.data());
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("zlib failed to deflate (" + std::to_string(result) + ")");
    }
    return out;
}
