#include "toolkit/persist/LumFormStream.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/persist/LumParser.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr char kSignature[4] = {'L', 'P', 'F', '0'};
constexpr std::uint8_t kPrefixMarker = 0xF0;
constexpr std::uint8_t kKnownFlags = ffInherited | ffChildPos | ffInline;
// Objects, lists and collections nest at most this deep; a corrupt stream or text must not be
// able to exhaust the stack.
constexpr int kMaxDepth = 100;
// A string literal's line holds this many characters; binary data lines this many bytes.
constexpr size_t kLiteralLine = 64;
constexpr size_t kBinaryLine = 32;

[[noreturn]] void ReadError(const TResStringRec& text) {
    throw EReadError(LoadResString(text));
}

[[noreturn]] void InvalidName(std::string_view name) {
    throw EWriteError(Format(LoadResString(LumRtlConsts::SInvalidName), name));
}

template <class T> T FromLittleEndian(const std::uint8_t* bytes) {
    using Unsigned = std::make_unsigned_t<T>;
    Unsigned value = 0;
    for (size_t i = sizeof(T); i-- > 0;) {
        value = static_cast<Unsigned>(value << 8 | bytes[i]);
    }
    return static_cast<T>(value);
}

template <class T> void ToLittleEndian(T value, std::uint8_t* bytes) {
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

bool IsIdentifier(std::string_view name) {
    auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (name.empty() || !letter(name[0])) {
        return false;
    }
    for (char c : name) {
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '.') {
            return false;
        }
    }
    return true;
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
    std::uint8_t byte = 0;
    stream_.ReadBuffer(&byte, 1);
    return byte;
}

std::uint32_t TLumFormReader::ReadLength() {
    std::uint8_t bytes[4];
    stream_.ReadBuffer(bytes, 4);
    std::uint32_t length = FromLittleEndian<std::uint32_t>(bytes);
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
    std::uint8_t bytes[8];
    switch (ReadValue()) {
    case vaInt8:
        stream_.ReadBuffer(bytes, 1);
        return FromLittleEndian<std::int8_t>(bytes);
    case vaInt16:
        stream_.ReadBuffer(bytes, 2);
        return FromLittleEndian<std::int16_t>(bytes);
    case vaInt32:
        stream_.ReadBuffer(bytes, 4);
        return FromLittleEndian<std::int32_t>(bytes);
    case vaInt64:
        stream_.ReadBuffer(bytes, 8);
        return FromLittleEndian<std::int64_t>(bytes);
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
    std::uint8_t bytes[8];
    switch (NextValue()) {
    case vaDouble:
    case vaDate: {
        ReadValue();
        stream_.ReadBuffer(bytes, 8);
        double value;
        std::uint64_t bits = FromLittleEndian<std::uint64_t>(bytes);
        std::memcpy(&value, &bits, 8);
        return value;
    }
    case vaSingle: {
        ReadValue();
        stream_.ReadBuffer(bytes, 4);
        float value;
        std::uint32_t bits = FromLittleEndian<std::uint32_t>(bytes);
        std::memcpy(&value, &bits, 4);
        return value;
    }
    case vaCurrency:
        ReadValue();
        stream_.ReadBuffer(bytes, 8);
        return static_cast<double>(FromLittleEndian<std::int64_t>(bytes)) / 10000;
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
        std::uint8_t bytes[8];
        stream_.ReadBuffer(bytes, 8);
        return FromLittleEndian<std::int64_t>(bytes);
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
        std::uint8_t bytes[4];
        stream_.ReadBuffer(bytes, 4);
        std::uint32_t count = FromLittleEndian<std::uint32_t>(bytes);
        CheckAvailable(std::uint64_t(count) * 2);
        std::string raw(size_t(count) * 2, '\0');
        stream_.ReadBuffer(raw.data(), raw.size());
        std::u16string text(count, u'\0');
        for (size_t i = 0; i < count; ++i) {
            text[i] = FromLittleEndian<char16_t>(reinterpret_cast<const std::uint8_t*>(raw.data()) +
                                                 2 * i);
        }
        return text;
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
    if (depth > kMaxDepth) {
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
    std::uint8_t bytes[4];
    ToLittleEndian(static_cast<std::uint32_t>(length), bytes);
    WriteBytes(bytes, 4);
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
    std::uint8_t bytes[9];
    size_t size;
    if (value >= INT8_MIN && value <= INT8_MAX) {
        bytes[0] = vaInt8;
        size = 1;
    } else if (value >= INT16_MIN && value <= INT16_MAX) {
        bytes[0] = vaInt16;
        size = 2;
    } else if (value >= INT32_MIN && value <= INT32_MAX) {
        bytes[0] = vaInt32;
        size = 4;
    } else {
        bytes[0] = vaInt64;
        size = 8;
    }
    ToLittleEndian(value, bytes + 1);
    WriteBytes(bytes, 1 + size);
}

void TLumFormWriter::WriteFloat(double value) {
    std::uint8_t bytes[9] = {vaDouble};
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    ToLittleEndian(bits, bytes + 1);
    WriteBytes(bytes, 9);
}

void TLumFormWriter::WriteSingle(float value) {
    std::uint8_t bytes[5] = {vaSingle};
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    ToLittleEndian(bits, bytes + 1);
    WriteBytes(bytes, 5);
}

void TLumFormWriter::WriteCurrency(std::int64_t value) {
    std::uint8_t bytes[9] = {vaCurrency};
    ToLittleEndian(value, bytes + 1);
    WriteBytes(bytes, 9);
}

void TLumFormWriter::WriteDate(double value) {
    std::uint8_t bytes[9] = {vaDate};
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    ToLittleEndian(bits, bytes + 1);
    WriteBytes(bytes, 9);
}

void TLumFormWriter::WriteString(std::u16string_view text) {
    bool ascii = true;
    for (char16_t c : text) {
        ascii = ascii && c < 128;
    }
    if (!ascii) {
        WriteValue(vaWString);
        WriteLength(text.size());
        std::string bytes(text.size() * 2, '\0');
        for (size_t i = 0; i < text.size(); ++i) {
            ToLittleEndian(text[i], reinterpret_cast<std::uint8_t*>(bytes.data()) + 2 * i);
        }
        WriteBytes(bytes.data(), bytes.size());
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

// ---------------------------------------------------------------------------------------------
// String literals

std::string FormStringLiteral(std::u16string_view text, std::string_view indent) {
    if (text.empty()) {
        return "''";
    }
    auto quotable = [](char16_t c) { return c >= 32 && c <= 127 && c != u'\''; };
    std::string out;
    if (text.size() > kLiteralLine) {
        out += "\r\n";
        out += indent;
    }
    size_t lineStart = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (!quotable(text[i])) {
            out += '#';
            out += std::to_string(static_cast<unsigned>(text[i]));
            ++i;
        } else {
            out += '\'';
            while (i < text.size() && quotable(text[i]) && i < lineStart + kLiteralLine) {
                out += static_cast<char>(text[i]);
                ++i;
            }
            out += '\'';
        }
        if (i - lineStart >= kLiteralLine && i < text.size()) {
            out += " +\r\n";
            out += indent;
            lineStart = i;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Binary to text

namespace {

std::string Indent(int level) {
    return std::string(static_cast<size_t>(level) * 2, ' ');
}

// The shortest text that reads back as the same number, always marked as a float.
template <class T> std::string FloatText(T value) {
    if (!std::isfinite(value)) {
        ReadError(LumRtlConsts::SInvalidPropertyValue);
    }
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    std::string text(buffer, end);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string CurrencyText(std::int64_t value) {
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    while (fraction.size() > 1 && fraction.back() == '0') {
        fraction.pop_back();
    }
    return (value < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction + "c";
}

bool IsKeyword(std::string_view name) {
    return SameAsciiText(name, "object") || SameAsciiText(name, "inherited") || SameAsciiText(name, "inline") ||
           SameAsciiText(name, "end");
}

class TBinaryToText {
  public:
    explicit TBinaryToText(TLumStream& input) : reader_(input) {}

    std::string Convert() {
        reader_.ReadSignature();
        Object(0);
        return std::move(out_);
    }

  private:
    // Names go into the text as they are, so each must read back as one identifier.
    static const std::string& CheckIdentifier(const std::string& name) {
        if (!IsIdentifier(name)) {
            ReadError(LumRtlConsts::SInvalidImage);
        }
        return name;
    }

    void Enter() {
        if (++depth_ > kMaxDepth) {
            ReadError(LumRtlConsts::SStreamTooDeep);
        }
    }

    void Object(int level) {
        Enter();
        TObjectHeader header = reader_.ReadObjectHeader();
        CheckIdentifier(header.ClassName);
        out_ += Indent(level);
        out_ += header.Flags & ffInline      ? "inline "
                : header.Flags & ffInherited ? "inherited "
                                             : "object ";
        if (!header.ObjectName.empty()) {
            out_ += CheckIdentifier(header.ObjectName);
            out_ += ": ";
        }
        out_ += header.ClassName;
        if (header.Flags & ffChildPos) {
            out_ += " [" + std::to_string(header.ChildPos) + "]";
        }
        out_ += "\r\n";
        while (!reader_.EndOfList()) {
            Property(level + 1);
        }
        reader_.ReadListEnd();
        while (!reader_.EndOfList()) {
            Object(level + 1);
        }
        reader_.ReadListEnd();
        out_ += Indent(level) + "end\r\n";
        --depth_;
    }

    void Property(int level) {
        std::string name = CheckIdentifier(reader_.ReadPropName());
        // Such a name would read back as the start or end of an object.
        if (IsKeyword(name)) {
            ReadError(LumRtlConsts::SInvalidImage);
        }
        out_ += Indent(level) + name + " = ";
        Value(level + 1, false);
        out_ += "\r\n";
    }

    // `level` is the indentation of the lines that continue the value; `ownLine` says that the
    // value starts a line of its own (a list item), so that a long string needs no line break
    // before it.
    void Value(int level, bool ownLine) {
        switch (reader_.NextValue()) {
        case vaList:
            List(level);
            break;
        case vaInt8:
        case vaInt16:
        case vaInt32:
        case vaInt64:
            out_ += std::to_string(reader_.ReadInt64());
            break;
        case vaDouble:
            out_ += FloatText(reader_.ReadFloat());
            break;
        case vaSingle:
            out_ += FloatText(reader_.ReadSingle()) + "s";
            break;
        case vaCurrency:
            out_ += CurrencyText(reader_.ReadCurrency());
            break;
        case vaDate:
            out_ += FloatText(reader_.ReadDate()) + "d";
            break;
        case vaString:
        case vaLString:
        case vaWString: {
            std::string indent = Indent(level);
            std::string literal = FormStringLiteral(reader_.ReadString(), indent);
            if (ownLine && literal.starts_with("\r\n")) {
                literal.erase(0, 2 + indent.size());
            }
            out_ += literal;
            break;
        }
        case vaIdent:
        case vaFalse:
        case vaTrue:
        case vaNil:
        case vaNull:
            out_ += CheckIdentifier(reader_.ReadIdent());
            break;
        case vaBinary:
            Binary(level);
            break;
        case vaSet: {
            out_ += "[";
            std::vector<std::string> elements = reader_.ReadSet();
            for (size_t i = 0; i < elements.size(); ++i) {
                out_ += (i > 0 ? ", " : "") + CheckIdentifier(elements[i]);
            }
            out_ += "]";
            break;
        }
        case vaCollection:
            Collection(level);
            break;
        default:
            ReadError(LumRtlConsts::SInvalidPropertyValue);
        }
    }

    void List(int level) {
        Enter();
        reader_.ReadListBegin();
        out_ += "(";
        while (!reader_.EndOfList()) {
            out_ += "\r\n" + Indent(level);
            Value(level + 1, true);
        }
        reader_.ReadListEnd();
        out_ += ")";
        --depth_;
    }

    void Binary(int level) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::vector<std::uint8_t> bytes = reader_.ReadBinary();
        out_ += "{";
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i % kBinaryLine == 0) {
                out_ += "\r\n" + Indent(level);
            }
            out_ += kHex[bytes[i] >> 4];
            out_ += kHex[bytes[i] & 15];
        }
        out_ += "}";
    }

    void Collection(int level) {
        Enter();
        reader_.ReadCollectionBegin();
        out_ += "<";
        while (!reader_.EndOfList()) {
            std::optional<std::int32_t> order = reader_.ReadCollectionItemBegin();
            out_ += "\r\n" + Indent(level) + "item";
            if (order) {
                out_ += " [" + std::to_string(*order) + "]";
            }
            out_ += "\r\n";
            while (!reader_.EndOfList()) {
                Property(level + 1);
            }
            reader_.ReadListEnd();
            out_ += Indent(level) + "end";
        }
        reader_.ReadListEnd();
        out_ += ">";
        --depth_;
    }

    TLumFormReader reader_;
    std::string out_;
    int depth_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Text to binary

class TTextToBinary {
  public:
    TTextToBinary(TLumStream& input, TLumStream& output) : parser_(input), writer_(output) {}

    void Convert() {
        writer_.WriteSignature();
        Object();
        if (parser_.Token() != toEOF) {
            parser_.Error(LoadResString(LumRtlConsts::SEndOfTextExpected));
        }
    }

  private:
    void Enter() {
        if (++depth_ > kMaxDepth) {
            parser_.Error(LoadResString(LumRtlConsts::SStreamTooDeep));
        }
    }

    bool AtObject() const {
        return parser_.TokenSymbolIs("object") || parser_.TokenSymbolIs("inherited") ||
               parser_.TokenSymbolIs("inline");
    }

    // The current identifier, checked against the longest name the stream can hold.
    std::string Name(size_t longest) const {
        parser_.CheckToken(toSymbol);
        std::string name = parser_.TokenString();
        if (name.size() > longest) {
            parser_.Error(Format(LoadResString(LumRtlConsts::SInvalidName), name));
        }
        return name;
    }

    void Object() {
        Enter();
        if (!AtObject()) {
            parser_.Error(LoadResString(LumRtlConsts::SObjectExpected));
        }
        TObjectHeader header;
        header.Flags = parser_.TokenSymbolIs("inline")      ? ffInline
                       : parser_.TokenSymbolIs("inherited") ? ffInherited
                                                            : 0;
        parser_.NextToken();
        // A class name must stay below the prefix marker; see the stream layout.
        constexpr size_t kLongestClass = kPrefixMarker - 1;
        std::string first = Name(255);
        if (parser_.NextToken() == ':') {
            parser_.NextToken();
            header.ObjectName = first;
            header.ClassName = Name(kLongestClass);
            parser_.NextToken();
        } else {
            header.ClassName = first;
            if (first.size() > kLongestClass) {
                parser_.Error(Format(LoadResString(LumRtlConsts::SInvalidName), first));
            }
        }
        if (parser_.Token() == '[') {
            parser_.NextToken();
            header.ChildPos = Int32();
            header.Flags |= ffChildPos;
            parser_.NextToken();
            parser_.CheckToken(']');
            parser_.NextToken();
        }
        writer_.WriteObjectHeader(header);
        while (!AtObject() && !parser_.TokenSymbolIs("end")) {
            if (parser_.Token() != toSymbol) {
                parser_.CheckTokenSymbol("end");
            }
            Property();
        }
        writer_.WriteListEnd();
        while (!parser_.TokenSymbolIs("end")) {
            if (!AtObject()) {
                parser_.CheckTokenSymbol("end");
            }
            Object();
        }
        writer_.WriteListEnd();
        parser_.NextToken();
        --depth_;
    }

    std::int32_t Int32() const {
        parser_.CheckToken(toInteger);
        std::int64_t value = parser_.TokenInt();
        if (value < std::numeric_limits<std::int32_t>::min() ||
            value > std::numeric_limits<std::int32_t>::max()) {
            parser_.Error(LoadResString(LumRtlConsts::SInvalidNumber));
        }
        return static_cast<std::int32_t>(value);
    }

    void Property() {
        writer_.WritePropName(Name(255));
        parser_.NextToken();
        parser_.CheckToken('=');
        parser_.NextToken();
        Value();
    }

    void Value() {
        switch (parser_.Token()) {
        case '(':
            Enter();
            parser_.NextToken();
            writer_.WriteListBegin();
            while (parser_.Token() != ')') {
                Value();
            }
            writer_.WriteListEnd();
            parser_.NextToken();
            --depth_;
            break;
        case toInteger:
            writer_.WriteInteger(parser_.TokenInt());
            parser_.NextToken();
            break;
        case toFloat:
            switch (parser_.FloatType()) {
            case 's':
                writer_.WriteSingle(parser_.TokenSingle());
                break;
            case 'c':
                writer_.WriteCurrency(parser_.TokenCurrency());
                break;
            case 'd':
                writer_.WriteDate(parser_.TokenFloat());
                break;
            default:
                writer_.WriteFloat(parser_.TokenFloat());
            }
            parser_.NextToken();
            break;
        case toString:
        case toWString:
            writer_.WriteString(parser_.ReadStringValue());
            break;
        case toSymbol:
            writer_.WriteIdent(Name(255));
            parser_.NextToken();
            break;
        case '[':
            Set();
            break;
        case '{':
            writer_.WriteBinary(parser_.ReadBinary());
            break;
        case '<':
            Collection();
            break;
        default:
            parser_.Error(LoadResString(LumRtlConsts::SInvalidPropertyValue));
        }
    }

    void Set() {
        std::vector<std::string> elements;
        if (parser_.NextToken() != ']') {
            for (;;) {
                elements.push_back(Name(255));
                if (parser_.NextToken() == ']') {
                    break;
                }
                parser_.CheckToken(',');
                parser_.NextToken();
            }
        }
        writer_.WriteSet(elements);
        parser_.NextToken();
    }

    void Collection() {
        Enter();
        parser_.NextToken();
        writer_.WriteCollectionBegin();
        while (parser_.Token() != '>') {
            parser_.CheckTokenSymbol("item");
            std::optional<std::int32_t> order;
            if (parser_.NextToken() == '[') {
                parser_.NextToken();
                order = Int32();
                parser_.NextToken();
                parser_.CheckToken(']');
                parser_.NextToken();
            }
            writer_.WriteCollectionItemBegin(order);
            while (!parser_.TokenSymbolIs("end")) {
                Property();
            }
            writer_.WriteListEnd();
            parser_.NextToken();
        }
        writer_.WriteListEnd();
        parser_.NextToken();
        --depth_;
    }

    TLumParser parser_;
    TLumFormWriter writer_;
    int depth_ = 0;
};

} // namespace

void ObjectBinaryToText(TLumStream& input, TLumStream& output) {
    std::string text = TBinaryToText(input).Convert();
    output.WriteBuffer(text.data(), text.size());
}

void ObjectTextToBinary(TLumStream& input, TLumStream& output) {
    // Built in memory first, so that malformed text leaves nothing half-written behind.
    TLumMemoryStream binary;
    TTextToBinary(input, binary).Convert();
    binary.SaveToStream(output);
}
