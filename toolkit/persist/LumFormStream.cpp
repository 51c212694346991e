// The binary form stream: its reader and writer. Form text is LumFormText.cpp.
#include "toolkit/persist/LumFormStream.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumByteIO.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr char kSignature[4] = {'L', 'P', 'F', '0'};
constexpr std::uint8_t kPrefixMarker = kFormPrefixMarker;
constexpr std::uint8_t kKnownFlags = ffInherited | ffChildPos | ffInline;

[[noreturn]] void ReadError(const TResStringRec& text) {
    throw EReadError(LoadResString(text));
}

[[noreturn]] void InvalidName(std::string_view name) {
    throw EWriteError(Format(LoadResString(LumRtlConsts::SInvalidName), name));
}

// A little-endian value of the value's size.
template <class T> void PutValue(TLumStream& stream, T value) {
    std::uint8_t bytes[sizeof(T)];
    StoreLittleEndian(value, bytes);
    stream.WriteBuffer(bytes, sizeof bytes);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Reader

TLumFormReader::TLumFormReader(TLumStream& stream) : stream_(stream) {}

void TLumFormReader::CheckAvailable(std::uint64_t bytes) {
    std::int64_t left = stream_.Size() - stream_.Position();
    if (left < 0 || static_cast<std::uint64_t>(left) < bytes) {
        ReadError(LumRtlConsts::SReadError);
    }
}

std::uint8_t TLumFormReader::ReadByte() {
    return ReadFixed<std::uint8_t>();
}

template <class T> T TLumFormReader::ReadFixed() {
    std::uint8_t bytes[sizeof(T)];
    stream_.ReadBuffer(bytes, sizeof bytes);
    return LoadLittleEndian<T>(bytes);
}

std::uint32_t TLumFormReader::ReadLength() {
    std::uint32_t length = ReadFixed<std::uint32_t>();
    CheckAvailable(length);
    return length;
}

void TLumFormReader::ReadSignature() {
    char signature[4] = {};
    if (stream_.Read(signature, 4) != 4 || std::memcmp(signature, kSignature, 4) != 0) {
        ReadError(LumRtlConsts::SInvalidImage);
    }
}

TValueType TLumFormReader::NextValue() {
    TValueType type = ReadValue();
    stream_.Seek(-1, soCurrent);
    return type;
}

TValueType TLumFormReader::ReadValue() {
    return static_cast<TValueType>(ReadByte());
}

bool TLumFormReader::EndOfList() {
    return NextValue() == vaNull;
}

void TLumFormReader::ReadListBegin() {
    if (ReadValue() != vaList) {
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
}

void TLumFormReader::ReadListEnd() {
    if (ReadValue() != vaNull) {
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
}

void TLumFormReader::ReadPrefix(std::uint8_t& flags, std::int32_t& childPos) {
    flags = 0;
    childPos = 0;
    std::uint8_t first = ReadByte();
    if ((first & kPrefixMarker) != kPrefixMarker) {
        stream_.Seek(-1, soCurrent);
        return;
    }
    flags = first & ~kPrefixMarker;
    if ((flags & ~kKnownFlags) != 0) {
        ReadError(LumRtlConsts::SInvalidImage);
    }
    if (flags & ffChildPos) {
        childPos = ReadInteger();
    }
}

TObjectHeader TLumFormReader::ReadObjectHeader() {
    TObjectHeader header;
    ReadPrefix(header.Flags, header.ChildPos);
    header.ClassName = ReadStr();
    if (header.ClassName.empty() || header.ClassName.size() >= kPrefixMarker) {
        ReadError(LumRtlConsts::SInvalidImage);
    }
    header.ObjectName = ReadStr();
    return header;
}

std::string TLumFormReader::ReadStr() {
    std::uint8_t length = ReadByte();
    std::string text(length, '\0');
    stream_.ReadBuffer(text.data(), length);
    return text;
}

std::string TLumFormReader::ReadPropName() {
    std::string name = ReadStr();
    if (name.empty()) {
        ReadError(LumRtlConsts::SInvalidImage);
    }
    return name;
}

std::int64_t TLumFormReader::ReadInt64() {
    switch (ReadValue()) {
    case vaInt8:
        return ReadFixed<std::int8_t>();
    case vaInt16:
        return ReadFixed<std::int16_t>();
    case vaInt32:
        return ReadFixed<std::int32_t>();
    case vaInt64:
        return ReadFixed<std::int64_t>();
    default:
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
}

std::int32_t TLumFormReader::ReadInteger() {
    std::int64_t value = ReadInt64();
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
    return static_cast<std::int32_t>(value);
}

double TLumFormReader::ReadFloat() {
    switch (NextValue()) {
    case vaDouble:
    case vaDate: {
        ReadValue();
        double value;
        std::uint64_t bits = ReadFixed<std::uint64_t>();
        std::memcpy(&value, &bits, 8);
        return value;
    }
    case vaSingle: {
        ReadValue();
        float value;
        std::uint32_t bits = ReadFixed<std::uint32_t>();
        std::memcpy(&value, &bits, 4);
        return value;
    }
    case vaCurrency:
        ReadValue();
        return static_cast<double>(ReadFixed<std::int64_t>()) / 10000;
    default:
        return static_cast<double>(ReadInt64());
    }
}

float TLumFormReader::ReadSingle() {
    return static_cast<float>(ReadFloat());
}

std::int64_t TLumFormReader::ReadCurrency() {
    if (NextValue() == vaCurrency) {
        ReadValue();
        return ReadFixed<std::int64_t>();
    }
    double amount = std::round(ReadFloat() * 10000);
    // Beyond 2^63 the conversion would be undefined; such an amount is no currency value.
    if (!(std::fabs(amount) < 9.2233720368547758e18)) {
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
    return static_cast<std::int64_t>(amount);
}

double TLumFormReader::ReadDate() {
    return ReadFloat();
}

std::u16string TLumFormReader::ReadString() {
    switch (ReadValue()) {
    case vaString: {
        std::uint8_t length = ReadByte();
        std::string text(length, '\0');
        stream_.ReadBuffer(text.data(), length);
        return AnsiToWide(text);
    }
    case vaLString: {
        std::string text(ReadLength(), '\0');
        stream_.ReadBuffer(text.data(), text.size());
        return AnsiToWide(text);
    }
    case vaWString: {
        std::uint32_t count = ReadFixed<std::uint32_t>();
        CheckAvailable(std::uint64_t(count) * 2);
        std::vector<std::uint8_t> raw(size_t(count) * 2);
        stream_.ReadBuffer(raw.data(), raw.size());
        return TByteReader(raw).Utf16(count);
    }
    default:
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
}

std::string TLumFormReader::ReadIdent() {
    switch (ReadValue()) {
    case vaIdent:
        return ReadStr();
    case vaFalse:
        return "False";
    case vaTrue:
        return "True";
    case vaNil:
        return "nil";
    case vaNull:
        return "Null";
    default:
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
}

bool TLumFormReader::ReadBoolean() {
    switch (ReadValue()) {
    case vaFalse:
        return false;
    case vaTrue:
        return true;
    default:
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
}

std::vector<std::string> TLumFormReader::ReadSet() {
    if (ReadValue() != vaSet) {
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
    std::vector<std::string> elements;
    for (std::string element = ReadStr(); !element.empty(); element = ReadStr()) {
        elements.push_back(std::move(element));
    }
    return elements;
}

std::vector<std::uint8_t> TLumFormReader::ReadBinary() {
    if (ReadValue() != vaBinary) {
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
    std::vector<std::uint8_t> bytes(ReadLength());
    stream_.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

void TLumFormReader::ReadCollectionBegin() {
    if (ReadValue() != vaCollection) {
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
}

std::optional<std::int32_t> TLumFormReader::ReadCollectionItemBegin() {
    std::optional<std::int32_t> order;
    TValueType next = NextValue();
    if (next == vaInt8 || next == vaInt16 || next == vaInt32 || next == vaInt64) {
        order = ReadInteger();
    }
    ReadListBegin();
    return order;
}

void TLumFormReader::SkipValue() {
    SkipValue(0);
}

void TLumFormReader::SkipValue(int depth) {
    if (depth > kFormMaxDepth) {
        ReadError(LumRtlConsts::SStreamTooDeep);
    }
    switch (NextValue()) {
    case vaList:
        ReadValue();
        while (!EndOfList()) {
            SkipValue(depth + 1);
        }
        ReadListEnd();
        break;
    case vaInt8:
    case vaInt16:
    case vaInt32:
    case vaInt64:
        ReadInt64();
        break;
    case vaDouble:
    case vaSingle:
    case vaCurrency:
    case vaDate:
        ReadFloat();
        break;
    case vaString:
    case vaLString:
    case vaWString:
        ReadString();
        break;
    case vaIdent:
    case vaFalse:
    case vaTrue:
    case vaNil:
    case vaNull:
        ReadIdent();
        break;
    case vaBinary:
        ReadBinary();
        break;
    case vaSet:
        ReadSet();
        break;
    case vaCollection:
        ReadValue();
        while (!EndOfList()) {
            ReadCollectionItemBegin();
            while (!EndOfList()) {
                ReadPropName();
                SkipValue(depth + 1);
            }
            ReadListEnd();
        }
        ReadListEnd();
        break;
    default:
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
}

// ---------------------------------------------------------------------------------------------
// Writer

TLumFormWriter::TLumFormWriter(TLumStream& stream) : stream_(stream) {}

void TLumFormWriter::WriteBytes(const void* data, size_t count) {
    stream_.WriteBuffer(data, count);
}

void TLumFormWriter::WriteLength(size_t length) {
    if (length > std::numeric_limits<std::uint32_t>::max()) {
        throw EWriteError(LoadResString(LumRtlConsts::SWriteError));
    }
    PutValue(stream_, static_cast<std::uint32_t>(length));
}

void TLumFormWriter::WriteSignature() {
    WriteBytes(kSignature, 4);
}

void TLumFormWriter::WriteValue(TValueType type) {
    WriteBytes(&type, 1);
}

void TLumFormWriter::WriteListBegin() {
    WriteValue(vaList);
}

void TLumFormWriter::WriteListEnd() {
    WriteValue(vaNull);
}

void TLumFormWriter::WritePrefix(std::uint8_t flags, std::int32_t childPos) {
    if (flags == 0) {
        return;
    }
    std::uint8_t prefix = kPrefixMarker | (flags & kKnownFlags);
    WriteBytes(&prefix, 1);
    if (flags & ffChildPos) {
        WriteInteger(childPos);
    }
}

void TLumFormWriter::WriteObjectHeader(const TObjectHeader& header) {
    if (header.ClassName.empty() || header.ClassName.size() >= kPrefixMarker) {
        InvalidName(header.ClassName);
    }
    WritePrefix(header.Flags, header.ChildPos);
    WriteStr(header.ClassName);
    WriteStr(header.ObjectName);
}

void TLumFormWriter::WriteStr(std::string_view text) {
    if (text.size() > 255) {
        InvalidName(text);
    }
    auto length = static_cast<std::uint8_t>(text.size());
    WriteBytes(&length, 1);
    WriteBytes(text.data(), text.size());
}

void TLumFormWriter::WritePropName(std::string_view name) {
    if (name.empty()) {
        InvalidName(name);
    }
    WriteStr(name);
}

void TLumFormWriter::WriteInteger(std::int64_t value) {
    // The type byte and the value in one write.
    TByteWriter out;
    if (value >= INT8_MIN && value <= INT8_MAX) {
        out.U8(vaInt8);
        out.I8(static_cast<std::int8_t>(value));
    } else if (value >= INT16_MIN && value <= INT16_MAX) {
        out.U8(vaInt16);
        out.I16(static_cast<std::int16_t>(value));
    } else if (value >= INT32_MIN && value <= INT32_MAX) {
        out.U8(vaInt32);
        out.I32(static_cast<std::int32_t>(value));
    } else {
        out.U8(vaInt64);
        out.I64(value);
    }
    WriteBytes(out.Data().data(), out.Size());
}

void TLumFormWriter::WriteFloat(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    WriteTyped(vaDouble, bits);
}

void TLumFormWriter::WriteSingle(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    WriteTyped(vaSingle, bits);
}

void TLumFormWriter::WriteCurrency(std::int64_t value) {
    WriteTyped(vaCurrency, value);
}

void TLumFormWriter::WriteDate(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    WriteTyped(vaDate, bits);
}

template <class T> void TLumFormWriter::WriteTyped(TValueType type, T value) {
    TByteWriter out;
    out.U8(type);
    out.Write(value);
    WriteBytes(out.Data().data(), out.Size());
}

void TLumFormWriter::WriteString(std::u16string_view text) {
    bool ascii = true;
    for (char16_t c : text) {
        ascii = ascii && c < 128;
    }
    if (!ascii) {
        WriteValue(vaWString);
        WriteLength(text.size());
        TByteWriter units;
        units.Utf16(text);
        WriteBytes(units.Data().data(), units.Size());
        return;
    }
    std::string ansi(text.begin(), text.end());
    if (ansi.size() <= 255) {
        WriteValue(vaString);
        WriteStr(ansi);
    } else {
        WriteValue(vaLString);
        WriteLength(ansi.size());
        WriteBytes(ansi.data(), ansi.size());
    }
}

void TLumFormWriter::WriteIdent(std::string_view ident) {
    static constexpr struct {
        std::string_view name;
        TValueType type;
    } kSpecial[] = {{"False", vaFalse}, {"True", vaTrue}, {"nil", vaNil}, {"Null", vaNull}};
    for (const auto& special : kSpecial) {
        if (SameAsciiText(ident, special.name)) {
            WriteValue(special.type);
            return;
        }
    }
    WriteValue(vaIdent);
    WriteStr(ident);
}

void TLumFormWriter::WriteBoolean(bool value) {
    WriteValue(value ? vaTrue : vaFalse);
}

void TLumFormWriter::WriteSet(std::span<const std::string> elements) {
    // Checked before anything is written; an empty element would end the set early.
    for (const std::string& element : elements) {
        if (element.empty() || element.size() > 255) {
            InvalidName(element);
        }
    }
    WriteValue(vaSet);
    for (const std::string& element : elements) {
        WriteStr(element);
    }
    WriteStr({});
}

void TLumFormWriter::WriteBinary(std::span<const std::uint8_t> bytes) {
    WriteValue(vaBinary);
    WriteLength(bytes.size());
    WriteBytes(bytes.data(), bytes.size());
}

void TLumFormWriter::WriteCollectionBegin() {
    WriteValue(vaCollection);
}

void TLumFormWriter::WriteCollectionItemBegin(std::optional<std::int32_t> order) {
    if (order) {
        WriteInteger(*order);
    }
    WriteListBegin();
}
