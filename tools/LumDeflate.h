#pragma once
// Deflating for the build tools, through the host's zlib (the program only inflates, with
// its own inflater: toolkit/base/LumInflate.h).

#include <cstdint>
#include <span>
#include <vector>

/// The bytes as raw deflate data (RFC 1951, no zlib or gzip wrapper) at zlib's best
/// compression. Raises std::runtime_error when zlib fails.
std::vector<std::uint8_t> Deflate(std::span<const std::uint8_t> bytes);
