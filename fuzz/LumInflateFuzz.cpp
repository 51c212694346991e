// libFuzzer target for the inflater. The first two bytes give the announced size (little
// endian), the rest is raw deflate data. The inflater must inflate it or refuse it without
// reading or writing outside its buffers, and agree with the host's zlib: zlib takes the data
// when it inflates a complete stream that ends with the input to exactly the announced size,
// and then the inflater must give the same bytes; where zlib refuses, the inflater must too.
#include "toolkit/base/LumInflate.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

namespace {

std::optional<std::vector<std::uint8_t>> ZlibInflate(std::span<const std::uint8_t> deflated,
                                                     size_t size) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {
        std::abort();
    }
    std::vector<std::uint8_t> out(size + 1); // never empty: zlib wants somewhere to write
    stream.next_in = const_cast<std::uint8_t*>(deflated.data());
    stream.avail_in = static_cast<uInt>(deflated.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(size);
    int result = inflate(&stream, Z_FINISH);
    bool taken = result == Z_STREAM_END && stream.avail_in == 0 && stream.total_out == size;
    inflateEnd(&stream);
    if (!taken) {
        return std::nullopt;
    }
    out.resize(size);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    size_t announced = data[0] | size_t{data[1]} << 8;
    std::span<const std::uint8_t> deflated(data + 2, size - 2);
    std::optional<std::vector<std::uint8_t>> ours = TryInflate(deflated, announced);
    if (ours && ours->size() != announced) {
        std::abort();
    }
    if (ours != ZlibInflate(deflated, announced)) {
        std::abort();
    }
    return 0;
}
