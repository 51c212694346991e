#pragma once
// TLumParser: the tokenizer of form text (ANSI text). Tokens are identifiers (letters, digits,
// "_" and "."), integers (decimal with an optional "-", or "$" and hexadecimal digits),
// floating-point numbers (with an optional type letter: s single, c currency, d date), string
// literals and single symbol characters such as = : , + - ( ) < > [ ] { }.
//
// A string literal is a sequence of adjacent pieces: quoted runs ('It''s') whose bytes are
// ANSI text, and character codes (#13, #8364) that are UTF-16 code units. Errors raise
// EParserError with the text "%s on line %d" (lines counted from 1; CR LF, LF and CR each end
// a line).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TLumStream;

/// Token kinds. Any other token is a symbol character and is its own kind.
constexpr char toEOF = 0;
constexpr char toSymbol = 1;
/// A string literal whose characters are all at most 255.
constexpr char toString = 2;
constexpr char toInteger = 3;
constexpr char toFloat = 4;
/// A string literal with a character above 255.
constexpr char toWString = 5;

class TLumParser {
  public:
    /// Starts at the first token of the text.
    explicit TLumParser(std::string_view text);
    /// Takes the rest of the stream as the text.
    explicit TLumParser(TLumStream& stream);

    char Token() const { return token_; }
    /// Moves to the next token and returns its kind.
    char NextToken();
    /// The line of the current token.
    int SourceLine() const { return tokenLine_; }

    /// Raises "<message> on line <n>" for the current token's line.
    [[noreturn]] void Error(std::u16string_view message) const;
    /// Raises unless the current token is of the kind: "Identifier expected",
    /// "String expected" (a wide string is a string too), "Number expected" or "'x' expected".
    void CheckToken(char kind) const;
    /// Raises "'symbol' expected" unless the token is that identifier (ignoring ASCII case).
    void CheckTokenSymbol(std::string_view symbol) const;
    bool TokenSymbolIs(std::string_view symbol) const;

    /// A string token's value in ANSI; the text of any other token (a number without its
    /// type letter).
    std::string TokenString() const;
    /// A string token's value; the text of any other token.
    std::u16string TokenWideString() const;
    /// The integer token's value; "$" numbers are taken as 64-bit patterns. A number outside
    /// 64 bits raises "Invalid numeric value".
    std::int64_t TokenInt() const;
    /// The value of a float or integer token.
    double TokenFloat() const;
    /// The float token read as a single-precision number.
    float TokenSingle() const;
    /// The float or integer token as currency: the decimal value times 10000, exactly, with
    /// further decimals rounded half away from zero.
    std::int64_t TokenCurrency() const;
    /// The float token's type letter in lower case ('s', 'c', 'd'), or 0.
    char FloatType() const { return floatType_; }

    /// Reads a string value: a string token, then further string tokens each after a "+";
    /// returns them joined and moves past them. Raises "String expected" at a token that
    /// should be a string and is not.
    std::u16string ReadStringValue();
    /// At a "{" token: reads hexadecimal digit pairs (blanks and line breaks between them
    /// allowed) up to "}" and moves to the token after it. Raises "Invalid binary value".
    std::vector<std::uint8_t> ReadBinary();

  private:
    void SkipBlanks();
    void ScanString();
    void ScanNumber();

    std::string text_;
    size_t pos_ = 0;
    int line_ = 1;
    int tokenLine_ = 1;
    char token_ = toEOF;
    size_t tokenStart_ = 0;
    size_t tokenEnd_ = 0;
    char floatType_ = 0;
    std::u16string value_;
};
