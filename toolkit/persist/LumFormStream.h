#pragma once
// The toolkit's binary form stream and its conversions to and from form text.
//
// Binary layout (all numbers little endian):
//   stream     = "LPF0" object
//   object     = [prefix] shortstr(class name) shortstr(object name)
//                { property } 0x00 { object } 0x00
//   prefix     = one byte 0xF0 | flags (ffInherited 1, ffChildPos 2, ffInline 4), then, with
//                ffChildPos, the child position as an integer value. A class name is never
//                0xF0 bytes or longer, so its length byte cannot be taken for a prefix.
//   property   = shortstr(name, not empty) value
//   shortstr   = length byte, that many ANSI bytes
//   value      = type byte (TValueType) and its data:
//     vaNull, vaFalse, vaTrue, vaNil   nothing
//     vaInt8 / vaInt16 / vaInt32 / vaInt64    1 / 2 / 4 / 8 bytes, signed
//     vaDouble 8 bytes IEEE; vaSingle 4 bytes IEEE; vaDate 8 bytes IEEE (days since
//     1899-12-30); vaCurrency 8 bytes signed, the amount times 10000
//     vaString   shortstr (ANSI)        vaLString  4-byte length, ANSI bytes
//     vaWString  4-byte count of UTF-16 code units, the units
//     vaIdent    shortstr               vaSet      shortstr elements, ended by an empty one
//     vaBinary   4-byte length, bytes   vaList     values, ended by 0x00 (vaNull)
//     vaCollection  items, ended by 0x00; an item is an optional integer value (its order),
//                   vaList, properties, 0x00
//
// Strings are stored as ANSI (vaString up to 255 bytes, vaLString beyond) when every character
// is below 128, and as UTF-16 (vaWString) otherwise: ASCII means the same in every code page,
// so a stream reads back the same on every machine, and form text writes every character
// above 127 as a "#" code, which text-to-binary then stores as UTF-16 again.
//
// Form text (ANSI, CR LF lines, two spaces per level) as ObjectBinaryToText writes it:
//   object Name: TClass            ("inherited" or "inline" for those flags; "object TClass"
//     Prop = value                  for an unnamed object; " [n]" after the class for a
//     object Child: TChild          child position)
//     end
//   end
// Values: integers in decimal; floats in their shortest exact form, always with "." or an
// exponent, followed by s (single), c (currency: up to four decimals) or d (date); string
// literals ('It'#39's', lines of 64 characters joined by " +", texts over 64 characters
// starting on the next line); identifiers, True, False, nil, Null; sets "[a, b]"; lists
// "(" with one item per line and ")" after the last; binary data "{" with lines of 64
// hexadecimal digits and "}" after the last; collections "<" with "item" (or "item [n]" for
// an order value), the item's properties and "end", and ">" after the last "end"; "<>",
// "()", "[]", "{}" when empty. Lines that continue a value are indented one level deeper
// than the line the value starts on. Text-to-binary reads tokens and ignores the layout.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TLumStream;

/// Objects, lists and collections nest at most this deep in a stream or in form text; a corrupt
/// stream or text must not be able to exhaust the stack.
inline constexpr int kFormMaxDepth = 100;
/// The first byte of an object's prefix (0xF0 | flags); class names stay shorter than this.
inline constexpr std::uint8_t kFormPrefixMarker = 0xF0;

enum TValueType : std::uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaInt64 = 5,
    vaDouble = 6,
    vaSingle = 7,
    vaCurrency = 8,
    vaDate = 9,
    vaString = 10,
    vaLString = 11,
    vaWString = 12,
    vaIdent = 13,
    vaFalse = 14,
    vaTrue = 15,
    vaBinary = 16,
    vaSet = 17,
    vaNil = 18,
    vaCollection = 19,
};

enum TFilerFlag : std::uint8_t {
    /// The object comes from an ancestor's stream; only its differences are stored.
    ffInherited = 1,
    /// The object carries its position among its parent's children.
    ffChildPos = 2,
    /// The object is a frame embedded with its own class's stream.
    ffInline = 4,
};

/// What precedes an object's properties.
struct TObjectHeader {
    std::uint8_t Flags = 0;
    std::int32_t ChildPos = 0;
    std::string ClassName;
    std::string ObjectName;
};

/// Reads a binary form stream. Every read is checked against the stream's end: a truncated or
/// corrupt stream raises EReadError ("Stream read error" when data is missing, "Invalid stream
/// format" for a bad signature, prefix or name, "Invalid property value" for a value of an
/// unknown or unexpected type); no read goes past the end.
class TLumFormReader {
  public:
    explicit TLumFormReader(TLumStream& stream);

    /// Reads the "LPF0" signature.
    void ReadSignature();
    /// The type of the next value, without reading it.
    TValueType NextValue();
    /// Reads a type byte.
    TValueType ReadValue();
    /// Whether the next byte is the end marker of a list (not read).
    bool EndOfList();
    /// Reads vaList.
    void ReadListBegin();
    /// Reads the end marker of a list.
    void ReadListEnd();

    /// Reads the optional prefix; without one, flags and position are 0.
    void ReadPrefix(std::uint8_t& flags, std::int32_t& childPos);
    /// Reads the prefix, class name (not empty, below 240 bytes) and object name.
    TObjectHeader ReadObjectHeader();
    /// Reads a length-prefixed ANSI name.
    std::string ReadStr();
    /// Reads a property name (not empty).
    std::string ReadPropName();

    /// vaInt8, vaInt16, vaInt32, or vaInt64 within 32 bits.
    std::int32_t ReadInteger();
    /// Any integer value.
    std::int64_t ReadInt64();
    /// vaDouble, vaSingle, vaDate, vaCurrency or any integer value.
    double ReadFloat();
    /// vaSingle, or any value ReadFloat takes.
    float ReadSingle();
    /// vaCurrency (amount times 10000), or any value ReadFloat takes, converted.
    std::int64_t ReadCurrency();
    /// vaDate, or any value ReadFloat takes.
    double ReadDate();
    /// vaString, vaLString (converted from ANSI) or vaWString.
    std::u16string ReadString();
    /// vaIdent; vaFalse, vaTrue, vaNil and vaNull as "False", "True", "nil" and "Null".
    std::string ReadIdent();
    /// vaFalse or vaTrue.
    bool ReadBoolean();
    /// vaSet: the element names.
    std::vector<std::string> ReadSet();
    /// vaBinary.
    std::vector<std::uint8_t> ReadBinary();
    /// Reads vaCollection.
    void ReadCollectionBegin();
    /// Reads the start of a collection item: its order value, if any, and vaList. The item's
    /// properties and ReadListEnd follow; after the last item, ReadListEnd ends the collection.
    std::optional<std::int32_t> ReadCollectionItemBegin();
    /// Reads and drops a value of any type.
    void SkipValue();

  private:
    std::uint8_t ReadByte();
    /// A little-endian value of T's size.
    template <class T> T ReadFixed();
    std::uint32_t ReadLength();
    void CheckAvailable(std::uint64_t bytes);
    void SkipValue(int depth);

    TLumStream& stream_;
};

/// Writes a binary form stream.
class TLumFormWriter {
  public:
    explicit TLumFormWriter(TLumStream& stream);

    void WriteSignature();
    /// Writes a type byte alone (vaNull, vaNil and the like).
    void WriteValue(TValueType type);
    void WriteListBegin();
    void WriteListEnd();
    /// Writes the prefix when flags are not 0 (the position only with ffChildPos).
    void WritePrefix(std::uint8_t flags, std::int32_t childPos);
    /// Writes prefix, class name and object name. A class name that is empty or 240 bytes or
    /// longer, or an object name longer than 255 bytes, raises EWriteError "Invalid name '%s'".
    void WriteObjectHeader(const TObjectHeader& header);
    /// Writes a name of up to 255 bytes; a longer one raises EWriteError "Invalid name '%s'".
    void WriteStr(std::string_view text);
    /// Writes a property name; an empty or too long name raises EWriteError.
    void WritePropName(std::string_view name);

    /// Writes the smallest integer type that holds the value.
    void WriteInteger(std::int64_t value);
    void WriteFloat(double value);
    void WriteSingle(float value);
    void WriteCurrency(std::int64_t value);
    void WriteDate(double value);
    /// Writes vaString or vaLString when every character is below 128, vaWString otherwise.
    void WriteString(std::u16string_view text);
    /// Writes vaIdent, or vaFalse, vaTrue, vaNil, vaNull for "False", "True", "nil" and
    /// "Null" in any case.
    void WriteIdent(std::string_view ident);
    void WriteBoolean(bool value);
    /// Writes vaSet; an empty or too long element raises EWriteError.
    void WriteSet(std::span<const std::string> elements);
    void WriteBinary(std::span<const std::uint8_t> bytes);
    void WriteCollectionBegin();
    /// Writes the order value, if any, and vaList; properties and WriteListEnd follow.
    void WriteCollectionItemBegin(std::optional<std::int32_t> order);

  private:
    void WriteBytes(const void* data, size_t count);
    void WriteLength(size_t length);
    /// A type byte and a little-endian value of T's size.
    template <class T> void WriteTyped(TValueType type, T value);

    TLumStream& stream_;
};

// ---- Form text (LumFormText.cpp) ----

/// The text of a string literal as form text writes it: "''" for the empty text; otherwise
/// runs of characters 32..127 other than the apostrophe in quotes and every other character
/// as "#" and its decimal code; after each 64 characters " +", CR LF and `indent` when more
/// follow; a text over 64 characters starts with CR LF and `indent`.
std::string FormStringLiteral(std::u16string_view text, std::string_view indent = {});

/// Converts the binary form stream at the input's position into form text, written at the
/// output's position; bytes after the object stay unread. Raises EReadError for a corrupt stream;
/// values that form text cannot show (a non-finite float, a name that is no identifier) raise it
/// too.
void ObjectBinaryToText(TLumStream& input, TLumStream& output);

/// Converts the form text (the rest of the input) into a binary form stream at the output's
/// position. Malformed text raises EParserError "<what> on line <n>".
void ObjectTextToBinary(TLumStream& input, TLumStream& output);

/// The binary form stream's form text (ObjectBinaryToText on the bytes).
std::string FormBinaryToText(std::string_view binary);

/// The form text's binary form stream (ObjectTextToBinary on the text).
std::string FormTextToBinary(std::string_view text);
