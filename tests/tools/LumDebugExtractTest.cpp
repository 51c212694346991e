// From an unstripped i686 link to the packed debug information: readable names, and the
// fixture program (tests/tools/DebugFixture.cpp) that the host build compiles with the cross
// compiler, read back through the packed section.

#include "tools/LumDebugExtract.h"
#include "debuginfo/LumDebugInfo.h"
#include "toolkit/res/LumPeImage.h"
#include "tools/LumDeflate.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

TEST(DebugExtract, DemangledNamesLoseWhatAStackLineDoesNotNeed) {
    const std::pair<const char*, const char*> cases[] = {
        {"TOstrinForm::Timer1Timer(TLumPersistent*)", "TOstrinForm::Timer1Timer"},
        {"TOstrinForm::Timer1Timer(TLumPersistent*) [clone .cold]", "TOstrinForm::Timer1Timer"},
        {"int ns::Max<int>(int, int) const [clone .isra.0] [clone .cold]", "ns::Max<int>"},
        {"std::basic_ostream<char, std::char_traits<char> >& std::__ostream_insert<char, "
         "std::char_traits<char> >(std::basic_ostream<char, std::char_traits<char> >&, char "
         "const*, int)",
         "std::__ostream_insert<char, std::char_traits<char> >"},
        {"std::string::operator[](unsigned int) const", "std::string::operator[]"},
        {"std::string::operator=(std::string&&) &", "std::string::operator="},
        {"bool std::operator< <char>(std::string const&, std::string const&)",
         "std::operator< <char>"},
        {"std::ostream::operator<<(int)", "std::ostream::operator<<"},
        {"Foo::operator()(int)", "Foo::operator()"},
        {"Foo::operator int() const", "Foo::operator int"},
        {"RunProgram(std::span<TUnit* const, 4294967295u>, void (*)())::{lambda()#1}::operator()()"
         " const",
         "RunProgram(std::span<TUnit* const, 4294967295u>, void (*)())::{lambda()#1}::operator()"},
        {"(anonymous namespace)::Guarded(int)", "(anonymous namespace)::Guarded"},
        {"operator new(unsigned int)", "operator new"},
        {"main", "main"},
    };
    for (auto [demangled, readable] : cases) {
        SCOPED_TRACE(demangled);
        EXPECT_EQ(ReadableName(demangled), readable);
    }
}

TEST(DebugExtract, BriefNamesKeepOneLevelOfTemplateArguments) {
    const std::pair<const char*, const char*> cases[] = {
        {"TOstrinForm::Timer1Timer", "TOstrinForm::Timer1Timer"},
        {"fixture::Twice<int>", "fixture::Twice<int>"},
        {"std::vector<std::basic_string<char16_t, std::char_traits<char16_t> >, "
         "std::allocator<std::basic_string<char16_t> > >::_M_realloc_insert<std::u16string>",
         "std::vector<std::basic_string<...>, std::allocator<...> >::_M_realloc_insert"
         "<std::u16string>"},
        {"A<B<C<D> >, E>::F<G<H> >", "A<B<...>, E>::F<G<...> >"},
        {"std::operator< <std::pair<int, int> >", "std::operator< <std::pair<int, int> >"},
        {"A<B<C> >::operator<<", "A<B<...> >::operator<<"},
        {"V<M<int (*)(A<B>::operator=(C<D>)::{lambda()#1})> >::Visit", "V<M<...> >::Visit"},
        {"Unbalanced<A<B", "Unbalanced<A<..."},
        {"Closed>>Twice", "Closed>>Twice"},
    };
    for (auto [name, brief] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(BriefName(name), brief);
    }
}

TEST(DebugExtract, SymbolNamesOfTheI686SymbolTable) {
    const std::pair<const char*, const char*> cases[] = {
        {"__ZN11TOstrinForm11Timer1TimerEP14TLumPersistent", "TOstrinForm::Timer1Timer"},
        {"__ZN11TOstrinForm11Timer1TimerEP14TLumPersistent.cold", "TOstrinForm::Timer1Timer"},
        {"__ZSt20__throw_out_of_rangePKc", "std::__throw_out_of_range"},
        {"_malloc", "malloc"},
        {"___chkstk_ms", "__chkstk_ms"},
        {"_GetTickCount@0", "GetTickCount"},
        {"@FastCall@8", "FastCall"},
        {"__Z_not_mangled", "_Z_not_mangled"},
        {"_name@with@text", "name@with@text"},
    };
    for (auto [symbol, readable] : cases) {
        SCOPED_TRACE(symbol);
        EXPECT_EQ(ReadableSymbolName(symbol), readable);
    }
}

TEST(DebugExtract, ScopesMissingFromDwarfComeFromTheSymbol) {
    const char* timer = "__ZN11TOstrinForm11Timer1TimerEP14TLumPersistent";
    EXPECT_EQ(ScopedName("Timer1Timer", timer), "TOstrinForm::Timer1Timer");
    EXPECT_EQ(ScopedName("TOstrinForm::Timer1Timer", timer), "TOstrinForm::Timer1Timer");
    // Code the linker folded: the symbol names another function.
    EXPECT_EQ(ScopedName("Timer2Timer", timer), "Timer2Timer");
    EXPECT_EQ(ScopedName("NotifyThrow", "__ZN12_GLOBAL__N_111NotifyThrowEPvPSt9type_infoPKj"),
              "NotifyThrow");
    EXPECT_EQ(
        ScopedName("operator()",
                   "__ZZN11TOstrinForm11Timer1TimerEP14TLumPersistentENKUl10TSetupStepE_clES2_"),
        "operator()");
    EXPECT_EQ(ScopedName("OleCheck", "__Z8OleChecki"), "OleCheck");
    EXPECT_EQ(ScopedName("_M_dispose",
                         "__ZNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEE10_M_disposeEv"),
              "std::__cxx11::basic_string<char16_t, std::char_traits<char16_t>, "
              "std::allocator<char16_t> >::_M_dispose");
}

TEST(DebugExtract, UnitsAndFilesFromPaths) {
    EXPECT_EQ(UnitOfFile("/work/main/app/OstrinFrm.cpp"), "OstrinFrm");
    EXPECT_EQ(UnitOfFile("./mingw-w64-crt/crt/crtexe.c"), "crtexe");
    EXPECT_EQ(UnitOfFile("C:\\src\\Unit.Name.pas"), "Unit.Name");
    EXPECT_EQ(UnitOfFile("Makefile"), "Makefile");
    EXPECT_EQ(UnitOfFile(".hidden"), ".hidden");
    EXPECT_EQ(FileNameOf("/usr/include/c++/12/bits/basic_string.h"), "basic_string.h");
    EXPECT_EQ(FileNameOf("plain.cpp"), "plain.cpp");
}

TEST(DebugExtract, BytesThatAreNoImageRaise) {
    std::vector<std::uint8_t> bytes(512, 0);
    EXPECT_THROW(ExtractDebugInfo(bytes), std::runtime_error);
}

namespace {

class Fixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::ifstream in(LUM_DEBUG_FIXTURE, std::ios::binary);
        bytes_ = new std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
        info_ = new TDebugInfo(ExtractDebugInfo(*bytes_));
    }
    static void TearDownTestSuite() {
        delete info_;
        delete bytes_;
    }

    static const TDebugProcedure* Procedure(const std::string& name) {
        for (const auto& p : info_->Procedures) {
            if (p.Name == name) {
                return &p;
            }
        }
        return nullptr;
    }

    static std::vector<std::uint8_t>* bytes_;
    static TDebugInfo* info_;
};

std::vector<std::uint8_t>* Fixture::bytes_;
TDebugInfo* Fixture::info_;

} // namespace

TEST_F(Fixture, FunctionsHaveTheirUnitNameAndFirstLine) {
    struct Case {
        const char* Name;
        const char* Unit;
        std::uint32_t FirstLine;
    };
    const Case cases[] = {
        {"fixture::Shape::Area", "DebugFixture", 19},
        {"fixture::Twice<int>", "DebugFixture", 23},
        {"fixture::Helper", "DebugFixture", 28},
        {"PlainC", "DebugFixture", 35},
        {"main", "DebugFixture", 39},
        // The runtime's start-up code has DWARF of its own.
        {"__tmainCRTStartup", "crtexe", 222},
        // The C++ library has none: its functions are named by their symbols.
        {"std::__throw_out_of_range_fmt", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const TDebugProcedure* p = Procedure(c.Name);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Unit, c.Unit);
        EXPECT_EQ(p->FirstLine, c.FirstLine);
        EXPECT_GT(p->Size, 0u);
    }
}

TEST_F(Fixture, EverythingLiesInTheCodeSection) {
    auto image = TPeImage::Parse(*bytes_);
    ASSERT_TRUE(image);
    const TPeSection* text = image->FindSection(".text");
    ASSERT_NE(text, nullptr);
    for (const auto& p : info_->Procedures) {
        EXPECT_GE(p.Start, text->VirtualAddress) << p.Name;
        EXPECT_LE(p.Start + p.Size, text->VirtualAddress + text->VirtualSize) << p.Name;
    }
    for (const auto& l : info_->Lines) {
        EXPECT_GE(l.Address, text->VirtualAddress);
        EXPECT_LE(l.Address, text->VirtualAddress + text->VirtualSize);
        EXPECT_EQ(l.File.find_first_of("/\\"), std::string::npos) << l.File;
    }
}

TEST_F(Fixture, PackedAndReadBackEachAddressHasItsLine) {
    auto packed = PackDebugInfo(*info_);
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    const TDebugProcedure* area = Procedure("fixture::Shape::Area");
    ASSERT_NE(area, nullptr);
    auto entry = reader->Lookup(area->Start);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->UnitName, "DebugFixture");
    EXPECT_EQ(entry->ProcedureName, "fixture::Shape::Area");
    EXPECT_EQ(entry->OffsetFromProcedure, 0u);
    EXPECT_EQ(entry->ProcedureFirstLine, 19u);
    EXPECT_EQ(entry->SourceName, "DebugFixture.cpp");
    // The function's code is its body's line (20) and its closing brace (21).
    std::map<std::uint32_t, int> lines;
    for (std::uint32_t at = area->Start; at < area->Start + area->Size; ++at) {
        auto found = reader->Lookup(at);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->ProcedureName, "fixture::Shape::Area");
        ++lines[found->LineNumber];
    }
    for (auto [line, count] : lines) {
        EXPECT_TRUE(line == 20 || line == 21) << line;
    }
    EXPECT_TRUE(lines.count(20));
    auto library = reader->Lookup(Procedure("std::__throw_out_of_range_fmt")->Start + 3);
    ASSERT_TRUE(library);
    EXPECT_EQ(library->UnitName, "");
    EXPECT_EQ(library->LineNumber, 0u);
    EXPECT_EQ(library->OffsetFromProcedure, 3u);
}

// The section as lumdbg writes it: deflated by zlib, inflated by the program's own code.
TEST_F(Fixture, DeflatedSectionAnswersAsThePackedInformation) {
    auto packed = PackDebugInfo(*info_);
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    auto deflated = Deflate(packed);
    auto bytes = DeflatedDebugSection(static_cast<std::uint32_t>(packed.size()), deflated);
    EXPECT_LT(bytes.size(), packed.size() / 2);
    TDebugSection section(bytes);
    auto describe = [](const std::optional<TDebugLocation>& l) {
        return l ? l->UnitName + "|" + l->ProcedureName + "|" + std::to_string(l->LineNumber) +
                       "|" + l->SourceName + "|" + std::to_string(l->OffsetFromLine)
                 : std::string("none");
    };
    for (const TDebugProcedure& p : info_->Procedures) {
        for (std::uint32_t address : {p.Start, p.Start + p.Size / 2, p.Start + p.Size}) {
            SCOPED_TRACE(address);
            EXPECT_EQ(describe(section.Lookup(address)), describe(reader->Lookup(address)));
        }
    }
    EXPECT_EQ(section.Lookup(Procedure("main")->Start)->ProcedureName, "main");
}

TEST_F(Fixture, LibraryCodeInlinedIntoAFunctionHasTheLineThatCalledIt) {
    // main's vector is built, read and freed by the C++ library's inlined code, whose own
    // rows name its headers.
    auto packed = PackDebugInfo(*info_);
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    const TDebugProcedure* main = Procedure("main");
    ASSERT_NE(main, nullptr);
    std::map<std::uint32_t, int> lines;
    for (std::uint32_t at = main->Start; at < main->Start + main->Size; ++at) {
        auto found = reader->Lookup(at);
        ASSERT_TRUE(found);
        if (found->LineNumber != 0) {
            EXPECT_EQ(found->SourceName, "DebugFixture.cpp") << std::hex << at;
            ++lines[found->LineNumber];
        }
    }
    for (auto [line, count] : lines) {
        // The body's lines, and Shape's constructor (line 12), inlined from this same file.
        EXPECT_TRUE(line == 12 || (line >= 39 && line <= 45)) << line;
    }
    EXPECT_TRUE(lines.count(41));
}
