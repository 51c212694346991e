// The general utilities' random numbers: from the system's cryptographic source, which a test
// may replace by a known sequence.
#include "lib/LumLX/LumLXUtils.h"

#include "toolkit/base/LumByteIO.h"
#include "toolkit/win/LumRandomWin.h"

#include <utility>

namespace {

TRandomSource& Substitute() {
    static TRandomSource source;
    return source;
}

} // namespace

std::int32_t RandomNumber() {
    if (const TRandomSource& source = Substitute()) {
        return source();
    }
    std::uint8_t bytes[4];
    SystemRandomBytes(bytes);
    return LoadLittleEndian<std::int32_t>(bytes);
}

TRandomSource SetRandomSource(TRandomSource source) {
    return std::exchange(Substitute(), std::move(source));
}
