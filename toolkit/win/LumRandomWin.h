#pragma once
// The system's cryptographic random source, for names that another process must not be able
// to guess (temporary files and folders).

#include <cstdint>
#include <span>

/// Fills the buffer from the system's cryptographic random source: BCryptGenRandom of
/// bcrypt.dll, or RtlGenRandom (advapi32's SystemFunction036) where the system has no bcrypt
/// or it fails. Both are loaded by full path from the system folder on first use and kept.
/// Raises EOSError when neither source gives the bytes.
void SystemRandomBytes(std::span<std::uint8_t> buffer);
