// The build's debug information tool.
//
//   lumdbg IMAGE OUT
//       Reads the DWARF and the symbol table of the unstripped link IMAGE and writes the
//       packed debug information, deflated (section LUM.DBG, version 2), to OUT, rewritten
//       only when it changes.

#include "debuginfo/LumDebugInfo.h"
#include "tools/LumDebugExtract.h"
#include "tools/LumDeflate.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteIfChanged(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (std::ifstream(path, std::ios::binary) && ReadBytes(path) == bytes) {
        return;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumdbg IMAGE OUT\n");
        return 2;
    }
    try {
        std::vector<std::uint8_t> packed = PackDebugInfo(ExtractDebugInfo(ReadBytes(argv[1])));
        WriteIfChanged(argv[2], DeflatedDebugSection(static_cast<std::uint32_t>(packed.size()),
                                                     Deflate(packed)));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumdbg: %s: %s\n", argv[1], error.what());
        return 1;
    }
}
