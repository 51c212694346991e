// The portable topics of the general utilities.
#include "lib/LumLX/LumLXUtils.h"

#include "rstr/LumLXUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"

namespace {

// The source name of the module's assertions, with the line numbers their texts carry.
constexpr std::u16string_view kAssertSource = u"LumLX\\LumLXUtils";

// Without options: Empty and Null equal only themselves and nothing else equals them.
bool ScalarsEqualExactly(const TLumVariant& a, const TLumVariant& b) {
    if (IsNullOrEmpty(a) || IsNullOrEmpty(b)) {
        return a.VarType() == b.VarType();
    }
    // A decimal counts as the currency amount it rounds to, as the data set stores money.
    auto asCompared = [](const TLumVariant& v) {
        return v.VarType() == varDecimal ? v.ChangeType(varCurrency) : v;
    };
    return VarSameValue(asCompared(a), asCompared(b));
}

bool ScalarsEqual(const TLumVariant& a, const TLumVariant& b, TLocateOptions options) {
    Assert(!a.IsArray() && !b.IsArray(), kAssertSource, 649,
           u"InternalError: Array type variants found.");
    try {
        if (options.Empty()) {
            return ScalarsEqualExactly(a, b);
        }
        return CompareTexts(a.AsWideString(), b.AsWideString(), options) == 0;
    } catch (const Exception&) {
        // A value that cannot take part in the comparison equals nothing.
        return false;
    }
}

int CompareScalars(const TLumVariant& a, const TLumVariant& b, TLocateOptions options) {
    Assert(!a.IsArray() && !b.IsArray(), kAssertSource, 717,
           u"InternalError: Array type variants found.");
    if (!options.Empty() && IsTextKind(a.VarType()) && IsTextKind(b.VarType())) {
        return CompareTexts(a.AsWideString(), b.AsWideString(), options);
    }
    switch (VarCompareValue(a, b)) {
    case vrLessThan:
        return -1;
    case vrGreaterThan:
        return 1;
    case vrEqual:
        return 0;
    case vrNotEqual:
    default:
        // Null and Empty sort before every value; other values that cannot be ordered tie.
        if (IsNullOrEmpty(a) != IsNullOrEmpty(b)) {
            return IsNullOrEmpty(a) ? -1 : 1;
        }
        return 0;
    }
}

// 64 x 64 bits to 128, in 32-bit halves: the i686 compiler has no 128-bit integer.
struct TUInt128 {
    std::uint64_t Hi;
    std::uint64_t Lo;
};

TUInt128 Multiply(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t mask = 0xFFFFFFFFu;
    std::uint64_t lowLow = (a & mask) * (b & mask);
    std::uint64_t lowHigh = (a & mask) * (b >> 32);
    std::uint64_t highLow = (a >> 32) * (b & mask);
    std::uint64_t highHigh = (a >> 32) * (b >> 32);
    std::uint64_t middle = (lowLow >> 32) + (lowHigh & mask) + (highLow & mask);
    return {highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32),
            (middle << 32) | (lowLow & mask)};
}

} // namespace

// ---- Variant comparison ----

int CompareTexts(std::u16string_view a, std::u16string_view b, TLocateOptions options) {
    if (options.Contains(loPartialKey) && a.size() > b.size()) {
        a = a.substr(0, b.size());
    }
    return LumCompareStrings(a, b, !options.Contains(loCaseInsensitive));
}

bool VariantsEqual(const TLumVariant& a, const TLumVariant& b, TLocateOptions options) {
    if (a.ArrayDimCount() != b.ArrayDimCount()) {
        return false;
    }
    if (a.ArrayDimCount() == 0) {
        return ScalarsEqual(a, b, options);
    }
    int low = a.ArrayLowBound();
    int high = a.ArrayHighBound();
    if (low != b.ArrayLowBound() || high != b.ArrayHighBound()) {
        return false;
    }
    // Counted in 64 bits: an array may end at INT_MAX.
    for (std::int64_t i = low; i <= high; ++i) {
        int index = static_cast<int>(i);
        if (!VariantsEqual(a.GetElement(index), b.GetElement(index), {})) {
            return false;
        }
    }
    return true;
}

int CompareVariants(const TLumVariant& a, const TLumVariant& b, TLocateOptions options) {
    Assert(a.ArrayDimCount() == b.ArrayDimCount(), kAssertSource, 744,
           u"CompareVariants: Must have same dim count.");
    if (a.ArrayDimCount() == 0) {
        return CompareScalars(a, b, options);
    }
    int low = a.ArrayLowBound();
    int high = a.ArrayHighBound();
    Assert(low == b.ArrayLowBound(), kAssertSource, 749,
           u"CompareVariants: Must have same lower bound.");
    Assert(high == b.ArrayHighBound(), kAssertSource, 750,
           u"CompareVariants: Must have same upper bound.");
    for (std::int64_t i = low; i <= high; ++i) {
        int index = static_cast<int>(i);
        if (int result = CompareVariants(a.GetElement(index), b.GetElement(index), options)) {
            return result;
        }
    }
    return 0;
}

bool IsNullOrEmpty(const TLumVariant& value) {
    return value.IsNull() || value.IsEmpty();
}

// ---- Numbers and texts ----

std::uint64_t MegaBytes(std::uint64_t x, std::uint64_t y, std::uint64_t z) {
    TUInt128 xy = Multiply(x, y);
    TUInt128 low = Multiply(xy.Lo, z);
    TUInt128 high = Multiply(xy.Hi, z);
    // The product as three 64-bit words, most significant first.
    std::uint64_t word1 = low.Hi + high.Lo;
    std::uint64_t word2 = high.Hi + (word1 < low.Hi ? 1 : 0);
    if (word2 != 0 || (word1 >> 20) != 0) {
        throw ELumInternalError(Format(LoadResString(LumLXUtils::SMegaBytesOverflow),
                                       UnsignedToText(x), UnsignedToText(y), UnsignedToText(z)));
    }
    return (word1 << 44) | (low.Lo >> 20);
}

std::u16string AppendWithSeparator(std::u16string_view text, std::u16string_view item,
                                   std::u16string_view separator) {
    std::u16string result(text);
    if (!result.empty()) {
        result += separator;
    }
    result += item;
    return result;
}

// ---- Shell execution ----

void CheckShellExecuteResult(std::intptr_t result, std::u16string_view verb,
                             std::u16string_view file) {
    if (result > 32) {
        return;
    }
    const TResStringRec* text = nullptr;
    switch (result) {
    case 0:
        text = &LumLXUtils::SShellOutOfResources;
        break;
    case 2:
        text = &LumLXUtils::SShellFileNotFound;
        break;
    case 3:
        text = &LumLXUtils::SShellPathNotFound;
        break;
    case 5:
        text = &LumLXUtils::SShellAccessDenied;
        break;
    case 8:
        text = &LumLXUtils::SShellNotEnoughMemory;
        break;
    case 11:
        text = &LumLXUtils::SShellBadFormat;
        break;
    case 26:
        text = &LumLXUtils::SShellSharingViolation;
        break;
    case 27:
        text = &LumLXUtils::SShellAssocIncomplete;
        break;
    case 28:
        text = &LumLXUtils::SShellDdeTimeout;
        break;
    case 29:
        text = &LumLXUtils::SShellDdeFail;
        break;
    case 30:
        text = &LumLXUtils::SShellDdeBusy;
        break;
    case 31:
        text = SameAsciiText(verb, u"print") ? &LumLXUtils::SShellNotPrintable
                                             : &LumLXUtils::SShellNoAssociation;
        break;
    case 32:
        text = &LumLXUtils::SShellDllNotFound;
        break;
    default:
        throw ELumInternalError(Format(LoadResString(LumLXUtils::SShellUnknownResult),
                                       static_cast<std::int64_t>(result), file));
    }
    throw ELumGeneralError(LoadResString(*text));
}

std::u16string PlatformName(std::uint32_t platformId) {
    switch (platformId) {
    case 0:
        return u"Win32s";
    case 1:
        return u"Win9x";
    case 2:
        return u"NT";
    default:
        return Format(u"%u", platformId);
    }
}

std::u16string OSVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                             std::uint32_t build, std::u16string_view servicePack) {
    return Format(u"%s %d.%d (Build %d) %s", PlatformName(platformId), major, minor, build,
                  servicePack);
}

std::u16string CodePageIsoName(std::uint32_t codePage) {
    switch (codePage) {
    case 1250:
        return u"ISO 8859-2,  Latin 2 (Central Europe)";
    case 1251:
        return u"ISO 8859-5,  Cyrillic (Slavic)";
    case 1252:
        return u"ISO 8859-1,  Latin 1 (ANSI)";
    case 1253:
        return u"ISO 8859-7,  Greek";
    case 1254:
        return u"ISO 8859-9,  Latin 5 (Turkish)";
    case 1255:
        return u"ISO 8859-8,  Hebrew";
    case 1256:
        return u"ISO 8859-6,  Arabic";
    case 1257:
        return u"ISO 8859-4,  Scandinavia and Baltic Rim";
    default:
        return u"(Unknown ISO equivalent)";
    }
}

std::u16string_view OfficeAppName(TOfficeApps app) {
    switch (app) {
    case oaExcel:
        return u"Excel";
    case oaOutlook:
        return u"Outlook";
    case oaAccess:
        return u"Access";
    case oaWord:
    default:
        return u"Word";
    }
}
