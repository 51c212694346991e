#pragma once
// The template of a new translation module: a 32-bit library of resources only (no code, no
// exports), made by the build from lib/LumTrx/minimum/. It loads as a data file and takes
// resource updates; its own two RCDATA resources go when resources are first copied into it.

#include <cstdint>
#include <span>

/// The template's bytes, a complete library file.
std::span<const std::uint8_t> MinimumDllImage();
