// libFuzzer target for the packed debug information (section LUM.DBG). The first byte chooses:
// odd, the rest is a section to read in either form (packed, or deflated), and looking
// addresses up in it must answer or answer nothing, never fail; even, the rest describes
// procedures and lines, which are packed and read back, and every procedure must be found
// again at its start.
#include "debuginfo/LumDebugInfo.h"
#include "toolkit/base/LumByteIO.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <string>

namespace {

void ReadSection(std::span<const std::uint8_t> bytes) {
    TDebugSection section(bytes);
    // Addresses from the data itself hit its rows; a few fixed ones the edges.
    TByteReader in(bytes);
    for (int i = 0; i < 64 && in.Remaining() >= 4; ++i) {
        section.Lookup(in.U32());
    }
    for (std::uint32_t address : {0u, 1u, 0x1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        section.Lookup(address);
    }
}

// Up to 64 procedures (two index blocks) and lines from the bytes: small numbers, so that they
// meet and overlap.
TDebugInfo Described(std::span<const std::uint8_t> bytes) {
    TDebugInfo info;
    TByteReader in(bytes);
    while (in.Remaining() >= 4 && info.Procedures.size() < 64) {
        std::uint8_t kind = in.U8();
        std::uint32_t start = in.U16();
        std::uint8_t size = in.U8();
        if (kind & 1) {
            info.Lines.push_back({start, size, "F" + std::to_string(kind >> 4) + ".cpp"});
        } else {
            info.Procedures.push_back({start, size, kind & 2 ? "" : "U" + std::to_string(kind >> 4),
                                       "P" + std::to_string(start), size / 2u});
        }
    }
    return info;
}

void PackAndFind(std::span<const std::uint8_t> bytes) {
    TDebugInfo info = Described(bytes);
    std::vector<std::uint8_t> packed = PackDebugInfo(info);
    std::optional<TDebugInfoReader> reader = TDebugInfoReader::Open(packed);
    if (!reader) {
        std::abort();
    }
    // A procedure that is not empty and the only one starting where it starts is found at its
    // start, under its name.
    std::map<std::uint32_t, int> starts;
    for (const TDebugProcedure& procedure : info.Procedures) {
        ++starts[procedure.Start];
    }
    for (const TDebugProcedure& procedure : info.Procedures) {
        if (procedure.Size == 0 || starts[procedure.Start] > 1) {
            continue;
        }
        std::optional<TDebugLocation> found = reader->Lookup(procedure.Start);
        if (!found || found->ProcedureName != procedure.Name || found->UnitName != procedure.Unit ||
            found->OffsetFromProcedure != 0) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] & 1) {
        ReadSection(rest);
    } else {
        PackAndFind(rest);
    }
    return 0;
}
