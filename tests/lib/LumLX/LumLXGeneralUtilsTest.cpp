// The portable general utilities: consistency checks, comparison of variants, paths, numbers
// and the texts of shell execution results.
#include "lib/LumLX/LumLXUtils.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

const TLocateOptions kNone{};
const TLocateOptions kCase{loCaseInsensitive};
const TLocateOptions kPartial{loPartialKey};
const TLocateOptions kBoth{loCaseInsensitive, loPartialKey};

TLumVariant Dec(std::u16string_view text) {
    return TLumVariant(TDecimal::FromText(text));
}

TLumVariant Cur(std::int64_t tenThousandths) {
    return TLumVariant(TCurrency{tenThousandths});
}

// An array from lowBound holding the values.
TLumVariant Array(int lowBound, std::vector<TLumVariant> values) {
    auto highBound = static_cast<int>(std::int64_t{lowBound} + std::ssize(values) - 1);
    TLumVariant array = VarArrayCreate(lowBound, highBound);
    for (std::size_t i = 0; i < values.size(); ++i) {
        array.PutElement(lowBound + static_cast<int>(i), values[i]);
    }
    return array;
}

std::string Describe(const TLumVariant& value) {
    if (value.IsArray()) {
        return "array";
    }
    try {
        return WideToUtf8(VarTypeAsText(value.VarType()) + u" " + value.AsWideString());
    } catch (const Exception&) {
        return WideToUtf8(VarTypeAsText(value.VarType()));
    }
}

} // namespace

// ---- Consistency checks ----

TEST(LXGeneralUtils, CheckRaisesTheBaseExceptionWithTheMessage) {
    Check(true, u"never raised");
    ExpectRaises<Exception>([] { Check(false, u"Index is broken"); }, "Exception",
                            u"Index is broken");
}

TEST(LXGeneralUtils, CheckAssignedNamesTheMissingObject) {
    int object = 0;
    CheckAssigned(&object, u"Widget");
    ExpectRaises<ELumInternalError>([] { CheckAssigned(nullptr, u"GarbageCollectedFileList"); },
                                    "ELumInternalError",
                                    u"Internal Error: GarbageCollectedFileList not assigned.");
}

// ---- Variant comparison ----

TEST(LXGeneralUtils, CompareTexts) {
    struct Case {
        const char16_t* A;
        const char16_t* B;
        TLocateOptions Options;
        int Expected;
    };
    const Case cases[] = {
        {u"abc", u"abc", kNone, 0},
        {u"abcdef", u"abc", kNone, 1},
        {u"abc", u"abd", kNone, -1},
        // A partial key matches a text that begins with it, not the other way round.
        {u"abcdef", u"abc", kPartial, 0},
        {u"abc", u"abcdef", kPartial, -1},
        {u"abd", u"abc", kPartial, 1},
        {u"abc", u"", kPartial, 0},
        {u"", u"abc", kPartial, -1},
        // Case matters unless told otherwise.
        {u"ABC", u"abc", kNone, 1},
        {u"abc", u"ABC", kNone, -1},
        {u"ABC", u"abc", kCase, 0},
        {u"a", u"B", kCase, -1},
        {u"ABCdef", u"abc", kBoth, 0},
        {u"ABCdef", u"abc", kCase, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.A) + " / " + WideToUtf8(c.B) + " / " +
                     std::to_string(c.Options.Bits()));
        EXPECT_EQ(CompareTexts(c.A, c.B, c.Options), c.Expected);
    }
}

TEST(LXGeneralUtils, LocateOptionBits) {
    EXPECT_EQ(kCase.Bits(), 1u);
    EXPECT_EQ(kPartial.Bits(), 2u);
}

TEST(LXGeneralUtils, ScalarsEqual) {
    struct Case {
        const char* Name;
        TLumVariant A;
        TLumVariant B;
        TLocateOptions Options;
        bool Expected;
    };
    const Case cases[] = {
        {"Empty = Empty", TLumVariant(), TLumVariant(), kNone, true},
        {"Null = Null", TLumVariant::Null(), TLumVariant::Null(), kNone, true},
        {"Empty <> Null", TLumVariant(), TLumVariant::Null(), kNone, false},
        {"Null <> Empty", TLumVariant::Null(), TLumVariant(), kNone, false},
        {"Empty <> 0", TLumVariant(), TLumVariant(0), kNone, false},
        {"0 <> Empty", TLumVariant(0), TLumVariant(), kNone, false},
        {"Empty <> ''", TLumVariant(), TLumVariant(u""), kNone, false},
        {"Null <> 0", TLumVariant::Null(), TLumVariant(0), kNone, false},
        {"5 = 5.0", TLumVariant(5), TLumVariant(5.0), kNone, true},
        {"5 = '5'", TLumVariant(5), TLumVariant(u"5"), kNone, true},
        {"5 <> 6", TLumVariant(5), TLumVariant(std::int64_t{6}), kNone, false},
        {"'abc' = 'abc'", TLumVariant(u"abc"), TLumVariant("abc"), kNone, true},
        {"'ABC' <> 'abc'", TLumVariant(u"ABC"), TLumVariant(u"abc"), kNone, false},
        {"'abc' <> 5", TLumVariant(u"abc"), TLumVariant(5), kNone, false},
        // Decimals count as the currency amount they round to.
        {"decimal = currency", Dec(u"12.5"), Cur(125000), kNone, true},
        {"currency = decimal", Cur(125000), Dec(u"12.5"), kNone, true},
        {"rounded decimal = currency", Dec(u"1.23456"), Cur(12346), kNone, true},
        {"currency = rounded decimal", Cur(12346), Dec(u"1.23456"), kNone, true},
        {"decimals as currency", Dec(u"1.23456"), Dec(u"1.23459"), kNone, true},
        {"decimal <> currency", Dec(u"1.2347"), Cur(12346), kNone, false},
        // With options both are compared as texts.
        {"'ABC' = 'abc' ignoring case", TLumVariant(u"ABC"), TLumVariant(u"abc"), kCase, true},
        {"'abcdef' = 'abc' partly", TLumVariant(u"abcdef"), TLumVariant(u"abc"), kPartial, true},
        {"'abc' <> 'abcdef' partly", TLumVariant(u"abc"), TLumVariant(u"abcdef"), kPartial, false},
        {"'ABCdef' = 'abc'", TLumVariant("ABCdef"), TLumVariant(u"abc"), kBoth, true},
        {"12 = '12' as texts", TLumVariant(12), TLumVariant(u"12"), kCase, true},
        {"125 = '12' partly", TLumVariant(125), TLumVariant(u"12"), kPartial, true},
        {"Empty = '' as texts", TLumVariant(), TLumVariant(u""), kCase, true},
        // Null has no text: under options it equals nothing, not even Null.
        {"Null <> Null as texts", TLumVariant::Null(), TLumVariant::Null(), kCase, false},
        {"Null <> '' as texts", TLumVariant::Null(), TLumVariant(u""), kCase, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(VariantsEqual(c.A, c.B, c.Options), c.Expected);
    }
}

TEST(LXGeneralUtils, ArraysEqual) {
    struct Case {
        const char* Name;
        TLumVariant A;
        TLumVariant B;
        TLocateOptions Options;
        bool Expected;
    };
    const Case cases[] = {
        {"same elements", Array(0, {1, u"x", TLumVariant::Null()}),
         Array(0, {1.0, u"x", TLumVariant::Null()}), kNone, true},
        {"one element differs", Array(0, {1, 2, 3}), Array(0, {1, 5, 3}), kNone, false},
        {"Null <> Empty inside", Array(0, {1, TLumVariant::Null()}), Array(0, {1, TLumVariant()}),
         kNone, false},
        {"other low bound", Array(0, {1, 2}), Array(1, {1, 2}), kNone, false},
        {"other high bound", Array(0, {1, 2}), Array(0, {1, 2, 3}), kNone, false},
        {"no elements", VarArrayCreate(0, -1), VarArrayCreate(0, -1), kNone, true},
        {"no elements, other bounds", VarArrayCreate(0, -1), VarArrayCreate(1, 0), kNone, false},
        {"array <> scalar", Array(0, {1}), TLumVariant(1), kNone, false},
        {"scalar <> array", TLumVariant(1), Array(0, {1}), kNone, false},
        {"typed and variant arrays", VarArrayCreate(1, 2, varInteger), Array(1, {0, 0}), kNone,
         true},
        // The caller's options are not passed on to the elements.
        {"case counts inside", Array(0, {u"ABC"}), Array(0, {u"abc"}), kCase, false},
        {"whole elements inside", Array(0, {u"abcdef"}), Array(0, {u"abc"}), kPartial, false},
        {"Null = Null inside", Array(0, {TLumVariant::Null()}), Array(0, {TLumVariant::Null()}),
         kCase, true},
        {"nested arrays", Array(0, {Array(2, {u"a", 1})}), Array(0, {Array(2, {u"a", 1})}), kNone,
         true},
        {"nested arrays differ", Array(0, {Array(2, {u"a", 1})}), Array(0, {Array(2, {u"A", 1})}),
         kCase, false},
        // The walk over the elements stops at the last index, also when it is INT_MAX.
        {"ending at INT_MAX", Array(INT_MAX - 1, {1, 2}), Array(INT_MAX - 1, {1, 2}), kNone, true},
        {"last at INT_MAX differs", Array(INT_MAX - 1, {1, 2}), Array(INT_MAX - 1, {1, 3}), kNone,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(VariantsEqual(c.A, c.B, c.Options), c.Expected);
    }
}

TEST(LXGeneralUtils, CompareScalars) {
    struct Case {
        TLumVariant A;
        TLumVariant B;
        TLocateOptions Options;
        int Expected;
    };
    const Case cases[] = {
        // Null and Empty come before every value and tie with each other.
        {TLumVariant::Null(), TLumVariant(5), kNone, -1},
        {TLumVariant(5), TLumVariant::Null(), kNone, 1},
        {TLumVariant::Null(), TLumVariant(), kNone, 0},
        {TLumVariant(), TLumVariant::Null(), kNone, 0},
        {TLumVariant::Null(), TLumVariant::Null(), kNone, 0},
        {TLumVariant(), TLumVariant(), kNone, 0},
        {TLumVariant(), TLumVariant(u""), kNone, -1},
        {TLumVariant(u"a"), TLumVariant(), kNone, 1},
        {TLumVariant::Null(), TLumVariant(u"a"), kCase, -1},
        {TLumVariant(-7), TLumVariant::Null(), kCase, 1},
        // Values by the runtime's relation.
        {TLumVariant(3), TLumVariant(5), kNone, -1},
        {TLumVariant(5), TLumVariant(3.5), kNone, 1},
        {TLumVariant(5), TLumVariant(5.0), kNone, 0},
        {Dec(u"1.5"), Cur(15000), kNone, 0},
        {TLumVariant(u"10"), TLumVariant(9), kCase, 1},
        {TLumVariant(true), TLumVariant(0), kNone, -1},
        // Values the relation cannot order tie.
        {TLumVariant(u"abc"), TLumVariant(5), kNone, 0},
        {TLumVariant(5), TLumVariant(u"abc"), kCase, 0},
        // Texts.
        {TLumVariant(u"b"), TLumVariant(u"a"), kNone, 1},
        {TLumVariant(u"a"), TLumVariant(u"B"), kNone, -1},
        {TLumVariant(u"ABC"), TLumVariant(u"abc"), kNone, 1},
        {TLumVariant(u"ABC"), TLumVariant("abc"), kCase, 0},
        {TLumVariant(u"abcdef"), TLumVariant(u"abc"), kPartial, 0},
        {TLumVariant(u"abc"), TLumVariant(u"abcdef"), kPartial, -1},
        {TLumVariant(u"abcdef"), TLumVariant(u"abc"), kNone, 1},
        {TLumVariant("ABCdef"), TLumVariant(u"abc"), kBoth, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.A) + " / " + Describe(c.B) + " / " +
                     std::to_string(c.Options.Bits()));
        EXPECT_EQ(CompareVariants(c.A, c.B, c.Options), c.Expected);
    }
}

TEST(LXGeneralUtils, CompareArrays) {
    struct Case {
        const char* Name;
        TLumVariant A;
        TLumVariant B;
        TLocateOptions Options;
        int Expected;
    };
    const Case cases[] = {
        {"equal", Array(1, {1, u"a"}), Array(1, {1, u"a"}), kNone, 0},
        {"first difference decides", Array(0, {1, 2, 9}), Array(0, {1, 5, 0}), kNone, -1},
        {"later elements do not count", Array(0, {2, 0}), Array(0, {1, 9}), kNone, 1},
        {"Null first inside", Array(0, {1, TLumVariant::Null()}), Array(0, {1, 0}), kNone, -1},
        {"no elements", VarArrayCreate(3, 2), VarArrayCreate(3, 2), kNone, 0},
        // Unlike equality, ordering passes the options on to the elements.
        {"options inside", Array(0, {u"abcdef", u"X"}), Array(0, {u"abc", u"x"}), kBoth, 0},
        {"case inside", Array(0, {u"X"}), Array(0, {u"x"}), kNone, 1},
        {"ending at INT_MAX", Array(INT_MAX - 1, {1, 2}), Array(INT_MAX - 1, {1, 2}), kNone, 0},
        {"last at INT_MAX decides", Array(INT_MAX, {2}), Array(INT_MAX, {1}), kNone, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(CompareVariants(c.A, c.B, c.Options), c.Expected);
    }
}

TEST(LXGeneralUtils, CompareArraysOfOtherShapesAsserts) {
    ExpectRaises<EAssertionFailed>(
        [] { CompareVariants(Array(0, {1}), TLumVariant(1), kNone); }, "EAssertionFailed",
        u"CompareVariants: Must have same dim count. (LumLX\\LumLXUtils, line 744)");
    ExpectRaises<EAssertionFailed>(
        [] { CompareVariants(TLumVariant::Null(), VarArrayCreate(0, -1), kNone); },
        "EAssertionFailed",
        u"CompareVariants: Must have same dim count. (LumLX\\LumLXUtils, line 744)");
    ExpectRaises<EAssertionFailed>(
        [] {
            CompareVariants(Array(0, {1, 2}), Array(1, {1, 2}), kNone);
        },
        "EAssertionFailed",
        u"CompareVariants: Must have same lower bound. (LumLX\\LumLXUtils, line 749)");
    ExpectRaises<EAssertionFailed>(
        [] {
            CompareVariants(Array(0, {1, 2}), Array(0, {1, 2, 3}), kNone);
        },
        "EAssertionFailed",
        u"CompareVariants: Must have same upper bound. (LumLX\\LumLXUtils, line 750)");
    // Inside an array, elements of other shapes assert too.
    ExpectRaises<EAssertionFailed>(
        [] { CompareVariants(Array(0, {Array(0, {1})}), Array(0, {1}), kNone); },
        "EAssertionFailed",
        u"CompareVariants: Must have same dim count. (LumLX\\LumLXUtils, line 744)");
}

TEST(LXGeneralUtils, IsNullOrEmpty) {
    EXPECT_TRUE(IsNullOrEmpty(TLumVariant()));
    EXPECT_TRUE(IsNullOrEmpty(TLumVariant::Null()));
    EXPECT_FALSE(IsNullOrEmpty(TLumVariant(0)));
    EXPECT_FALSE(IsNullOrEmpty(TLumVariant(u"")));
    EXPECT_FALSE(IsNullOrEmpty(TLumVariant(false)));
    EXPECT_FALSE(IsNullOrEmpty(VarArrayCreate(0, -1)));
}

// ---- Paths ----

TEST(LXGeneralUtils, TrailingBackslash) {
    struct Case {
        const char16_t* Path;
        const char16_t* Included;
        const char16_t* Excluded;
    };
    const Case cases[] = {
        {u"", u"\\", u""},
        {u"\\", u"\\", u""},
        {u"C:", u"C:\\", u"C:"},
        {u"C:\\", u"C:\\", u"C:"},
        {u"C:\\Temp", u"C:\\Temp\\", u"C:\\Temp"},
        {u"C:\\Temp\\", u"C:\\Temp\\", u"C:\\Temp"},
        // Only one backslash goes.
        {u"C:\\Temp\\\\", u"C:\\Temp\\\\", u"C:\\Temp\\"},
        {u"C:/Temp/", u"C:/Temp/\\", u"C:/Temp/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Path));
        EXPECT_EQ(IncludeTrailingBackslash(c.Path), c.Included);
        EXPECT_EQ(ExcludeTrailingBackslash(c.Path), c.Excluded);
    }
}

TEST(LXGeneralUtils, FileNameWithoutExtension) {
    struct Case {
        const char16_t* Path;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {u"C:\\Program Files\\Ostrin.exe", u"Ostrin"},
        {u"C:\\dir.ext\\file", u"file"},
        {u"C:\\dir\\archive.tar.gz", u"archive.tar"},
        {u"C:file.txt", u"file"},
        {u"D:", u""},
        {u"file.txt", u"file"},
        {u"file", u"file"},
        {u".profile", u""},
        {u"C:\\dir\\", u""},
        {u"C:\\dir\\name.", u"name"},
        {u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Path));
        EXPECT_EQ(FileNameWithoutExtension(c.Path), c.Expected);
    }
}

TEST(LXGeneralUtils, PathFolder) {
    struct Case {
        const char16_t* Path;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {u"C:\\a\\b", u"C:\\a"},
        {u"C:\\a\\b\\", u"C:\\a\\b"},
        {u"C:\\a", u"C:\\"},
        {u"C:\\", u"C:\\"},
        {u"C:", u"C:"},
        {u"C:a", u"C:"},
        {u"\\a", u"\\"},
        {u"\\", u"\\"},
        {u"\\\\server\\share", u"\\\\server"},
        {u"\\\\server", u"\\\\"},
        {u"a\\b", u"a"},
        {u"a", u""},
        {u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Path));
        EXPECT_EQ(PathFolder(c.Path), c.Expected);
    }
}

// ---- Numbers and texts ----

TEST(LXGeneralUtils, MegaBytes) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        std::uint64_t X, Y, Z;
        std::uint64_t Expected;
    };
    const Case cases[] = {
        {1, 1, 1048576, 1},
        {1, 1, 1048575, 0},
        {0, 512, 8, 0},
        {8, 512, 1000000, 3906},
        // Beyond 32 bits, and beyond 64 bits before the division.
        {4096, 4096, 4096, 65536},
        {std::uint64_t{1} << 40, std::uint64_t{1} << 20, 1024, std::uint64_t{1} << 50},
        {kMax, 1, 1048576, kMax},
        {kMax, 1048575, 1, 18446726481523507199u},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFu, 18446726472933580800u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.X) + " x " + std::to_string(c.Y) + " x " +
                     std::to_string(c.Z));
        EXPECT_EQ(MegaBytes(c.X, c.Y, c.Z), c.Expected);
    }
    ExpectRaises<ELumInternalError>(
        [] { MegaBytes(kMax, 1048577, 1); }, "ELumInternalError",
        u"Internal Error: 18446744073709551615 x 1048577 x 1 bytes do not fit in a count of "
        u"megabytes.");
    ExpectRaises<ELumInternalError>(
        [] { MegaBytes(std::uint64_t{1} << 42, std::uint64_t{1} << 42, 1); }, "ELumInternalError",
        u"Internal Error: 4398046511104 x 4398046511104 x 1 bytes do not fit in a count of "
        u"megabytes.");
}

TEST(LXGeneralUtils, AppendWithSeparator) {
    struct Case {
        const char16_t* Text;
        const char16_t* Item;
        const char16_t* Separator;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {u"", u"Word", u", ", u"Word"}, {u"Word", u"Excel", u", ", u"Word, Excel"},
        {u"a", u"", u";", u"a;"},       {u"", u"", u";", u""},
        {u"a", u"b", u"", u"ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Text) + "|" + WideToUtf8(c.Item));
        EXPECT_EQ(AppendWithSeparator(c.Text, c.Item, c.Separator), c.Expected);
    }
}

// ---- Shell execution ----

TEST(LXGeneralUtils, ShellExecuteResultTexts) {
    struct Case {
        std::intptr_t Result;
        const char16_t* Verb;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {0, u"open", u"The operating system is out of memory or resources."},
        {2, u"open", u"The specified file was not found."},
        {3, u"open", u"The specified path was not found."},
        {5, u"open", u"The operating system denied access to the specified file."},
        {8, u"open", u"There was not enough memory to complete the operation."},
        {11, u"open",
         u"The .exe file is invalid (non-Microsoft Win32\u00AE .exe or error in .exe image)."},
        {26, u"open", u"A sharing violation occurred."},
        {27, u"open", u"The file name association is incomplete or invalid."},
        {28, u"open", u"The DDE transaction could not be completed because the request timed out."},
        {29, u"open", u"The DDE transaction failed."},
        {30, u"open",
         u"The Dynamic Data Exchange (DDE) transaction could not be completed because other DDE "
         u"transactions were being processed."},
        {31, u"open", u"There is no application associated with the given file name extension."},
        {31, u"", u"There is no application associated with the given file name extension."},
        {31, u"printto", u"There is no application associated with the given file name extension."},
        {31, u"print", u"The specified file is not printable."},
        {31, u"PRINT", u"The specified file is not printable."},
        {31, u"Print", u"The specified file is not printable."},
        {32, u"open", u"The specified dynamic-link library (DLL) was not found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Result) + " " + WideToUtf8(c.Verb));
        ExpectRaises<ELumGeneralError>(
            [&] { CheckShellExecuteResult(c.Result, c.Verb, u"C:\\report.txt"); },
            "ELumGeneralError", c.Expected);
    }
}

TEST(LXGeneralUtils, ShellExecuteResultWithoutMeaning) {
    for (std::intptr_t result : {1, 4, 6, 25, -1}) {
        SCOPED_TRACE(result);
        ExpectRaises<ELumInternalError>(
            [&] { CheckShellExecuteResult(result, u"open", u"C:\\a b.txt"); }, "ELumInternalError",
            u"Internal Error: ShellExecute() returned code " + AsciiToWide(std::to_string(result)) +
                u" for \"C:\\a b.txt\".");
    }
}

TEST(LXGeneralUtils, ShellExecuteSuccess) {
    for (std::intptr_t result : {33, 42, 0x400000}) {
        SCOPED_TRACE(result);
        EXPECT_NO_THROW(CheckShellExecuteResult(result, u"print", u"C:\\a.txt"));
    }
}
