// Form text: string literals, and the conversions between form text and the binary form
// stream (whose reader and writer are LumFormStream.cpp).
#include "toolkit/persist/LumFormStream.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumParser.h"

#include <cmath>
#include <limits>

namespace {

// A string literal's line holds this many characters; binary data lines this many bytes.
constexpr size_t kLiteralLine = 64;
constexpr size_t kBinaryLine = 32;

[[noreturn]] void ReadError(const TResStringRec& text) {
    throw EReadError(LoadResString(text));
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
    std::string text = ShortestText(value);
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
    return SameAsciiText(name, "object") || SameAsciiText(name, "inherited") ||
           SameAsciiText(name, "inline") || SameAsciiText(name, "end");
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
        if (++depth_ > kFormMaxDepth) {
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
        if (++depth_ > kFormMaxDepth) {
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
        constexpr size_t kLongestClass = kFormPrefixMarker - 1;
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

std::string FormBinaryToText(std::string_view binary) {
    TLumMemoryStream input(binary);
    TLumMemoryStream output;
    ObjectBinaryToText(input, output);
    return output.Bytes();
}

std::string FormTextToBinary(std::string_view text) {
    TLumMemoryStream input(text);
    TLumMemoryStream output;
    ObjectTextToBinary(input, output);
    return output.Bytes();
}
