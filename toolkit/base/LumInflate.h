#pragma once
// Inflating raw deflate data (RFC 1951: stored, fixed and dynamic Huffman blocks) whose
// inflated size the caller knows. Every length, distance and code is checked before it is
// used, and nothing is written beyond the announced size: malformed data is refused, never
// read or written out of bounds.
//
// Part of lum_toolkit_text, like the byte reader whose error it raises: the debug section's
// reader needs it, and the build tools link that reader.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// The bytes that `deflated` inflates to. The data must be one complete deflate stream that
/// ends in its last byte (only the padding bits of that byte may be left over) and inflates to
/// exactly `inflatedSize` bytes. Raises EByteReadError, at the offset where the fault shows,
/// for anything else: a truncated stream, block type 3, a stored block whose length does not
/// match its complement, code lengths that over-subscribe or leave a code incomplete (but the
/// one-code case deflate allows), a code that is not in its code, a distance before the start
/// of the output, more or fewer bytes than announced, bytes after the end of the stream.
std::vector<std::uint8_t> Inflate(std::span<const std::uint8_t> deflated, size_t inflatedSize);

/// As Inflate, without raising: nothing where Inflate raises. For readers that must not raise
/// (the stack traces' debug information is read while an exception is being reported).
std::optional<std::vector<std::uint8_t>> TryInflate(std::span<const std::uint8_t> deflated,
                                                    size_t inflatedSize);
