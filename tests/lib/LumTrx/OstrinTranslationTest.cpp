// Ostrin.exe with translation modules beside it, in a Wine prefix of its own: the modules are
// made by the test from the built program, the program is run from a folder of the test, and
// its message boxes and the caption of its main form are read from its windows.

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "tests/lib/LumTrx/LumTrxTestModules.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumBuildIdentity.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char16_t kEnglish[] = u"CAPICOM 2.0 setup";
constexpr char16_t kGerman[] = u"CAPICOM 2.0 einrichten";
constexpr char16_t kCaptionId[] = u"OstrinForm.Caption";
constexpr char16_t kNoticeId[] = u"LumTrxSysInit_SNotPrepared";
constexpr char16_t kGermanNotice[] = u"Die \u00DCbersetzung war nicht richtig vorbereitet.  Das "
                                     u"Programm l\u00E4uft ohne \u00DCbersetzung.";
constexpr char16_t kOtherBuild[] = u"{01234567-89AB-CDEF-0123-456789ABCDEF}";
constexpr char16_t kNotPrepared[] = u"The translation resource was not properly prepared.  The "
                                    u"application will run without a translation.";

// The program, started; ended by force if it still runs when the test is over.
class Started {
  public:
    /// The program started by another process (a shell), as far as it can be opened.
    explicit Started(DWORD processId)
        : process_(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId)), id_(processId) {
        EXPECT_TRUE(process_) << "cannot open process " << processId;
    }
    explicit Started(const std::u16string& exe, std::u16string_view arguments = {}) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::u16string commandLine = u"\"" + exe + u"\" " + std::u16string(arguments);
        PROCESS_INFORMATION pi{};
        EXPECT_TRUE(CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.data()), nullptr,
                                   nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        process_.Reset(pi.hProcess);
        CloseHandle(pi.hThread);
        id_ = pi.dwProcessId;
    }
    ~Started() {
        if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.Get(), 1);
            WaitForSingleObject(process_.Get(), 5000);
        }
    }

    /// The main form once it shows the caption; null when it never does.
    HWND WaitForForm(std::u16string_view caption) {
        return WaitForProcessWindowWithCaption(id_, L"TLumForm", caption, 20000);
    }
    /// The message box's text, after pressing its OK button; nothing when none appears.
    std::optional<TAnsweredBox> AnswerMessageBox() {
        HWND box = WaitForProcessWindow(id_, L"#32770", 20000);
        if (!box) {
            return std::nullopt;
        }
        TAnsweredBox answered{WindowText(box), MessageBoxText(box)};
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        return answered;
    }
    bool Ends(DWORD milliseconds = 30000) {
        return WaitForSingleObject(process_.Get(), milliseconds) == WAIT_OBJECT_0;
    }
    int MessageBoxes() { return CountProcessWindows(id_, L"#32770"); }
    /// The captions of the program's forms seen until one of them is `last`, looked at every
    /// few milliseconds: a notice that is up only while the program works is seen too. Its
    /// title is read without a message, which a program at work would not answer.
    std::vector<std::u16string> CaptionsUntil(std::u16string_view last) {
        std::vector<std::u16string> seen;
        DWORD end = GetTickCount() + 30000;
        while (static_cast<int>(end - GetTickCount()) > 0 &&
               std::find(seen.begin(), seen.end(), last) == seen.end()) {
            for (HWND form : ProcessWindows(id_, L"TLumForm")) {
                wchar_t title[512] = {};
                GetWindowTextW(form, title, 512);
                std::u16string caption = FromWinStr(title);
                if (std::find(seen.begin(), seen.end(), caption) == seen.end()) {
                    seen.push_back(caption);
                }
            }
            Sleep(2);
        }
        return seen;
    }

  private:
    TScopedKernelHandle process_;
    DWORD id_ = 0;
};

// The id of the first process of that executable name, waiting for one to start; nothing
// when none does.
std::optional<DWORD> WaitForProcessNamed(std::u16string_view exeName) {
    for (int waited = 0; waited < 20000; waited += 50) {
        TScopedKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
             more = Process32NextW(snapshot.Get(), &entry)) {
            if (SameAsciiText(FromWinStr(entry.szExeFile), exeName)) {
                return entry.th32ProcessID;
            }
        }
        Sleep(50);
    }
    return std::nullopt;
}

// Starts the program through a shell (Wine starts a Unix program as a process of its own)
// whose writes to any file stop at `kilobytes`, as on a full disk; answers the program's
// process id.
std::optional<DWORD> StartWithFileSizeLimit(const std::u16string& exe, size_t kilobytes) {
    SetEnvironmentVariableA("LUM_FILE_LIMIT", std::to_string(kilobytes).c_str());
    SetEnvironmentVariableW(L"LUM_PROGRAM", WinStr(exe));
    std::string commandLine =
        "/bin/bash -c \"trap '' XFSZ; ulimit -f $LUM_FILE_LIMIT; exec wine \\\"$LUM_PROGRAM\\\"\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA("Z:\\bin\\bash", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        ADD_FAILURE() << "no shell: " << GetLastError();
        return std::nullopt;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::u16string name = exe.substr(exe.rfind(u'\\') + 1);
    return WaitForProcessNamed(name);
}

// Runs the translator's tool with the arguments and answers its exit code.
DWORD Lumtrx(std::initializer_list<std::u16string_view> arguments) {
    std::u16string commandLine = u"\"" + TestBuildFolder() + u"\\app\\lumtrx\\lumtrx.exe\"";
    for (std::u16string_view argument : arguments) {
        commandLine += u" \"" + std::u16string(argument) + u"\"";
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.data()), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "lumtrx did not start: " << GetLastError();
        return 255;
    }
    TScopedKernelHandle process(pi.hProcess);
    CloseHandle(pi.hThread);
    DWORD code = 255;
    if (WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.Get(), &code);
    }
    return code;
}

class OstrinTranslation : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        ASSERT_TRUE(CopyFileW(WinStr(built_), WinStr(exe_), FALSE));
        exeLong_ = LongPathName(exe_);
        // The programs this test starts inherit it and write their start-up trace there.
        SetEnvironmentVariableW(L"LUM_STARTUP_TRACE", WinStr(trace_));
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"LUM_STARTUP_TRACE", nullptr);
        Configure(std::nullopt);
        RemoveTree(folder_);
    }

    /// The marks of the last program that ended, one line each.
    std::string Trace() const {
        std::vector<std::uint8_t> bytes = ReadTestFile(trace_);
        return std::string(bytes.begin(), bytes.end());
    }

    void Configure(std::optional<std::u16string> ext) { ConfigureTranslation(exeLong_, ext); }

    /// The German module as the program names it: beside the long path of the executable.
    std::u16string ModuleLongName() const { return ResourceModuleFileName(exeLong_, u"DEU"); }

    /// Ostrin.DEU as a translator makes it with lumtrx (the main form's caption and one
    /// resource string translated), then as the program sees it once rebuilt with other
    /// resources: of another build identity.
    void MakeTranslatedModuleOfAnotherBuild() {
        std::u16string module = ResourceModuleFileName(exe_, u"DEU");
        ASSERT_EQ(Lumtrx({u"create", exe_, u"DEU"}), 0u);
        ASSERT_EQ(Lumtrx({u"set", module, kCaptionId, kGerman}), 0u);
        ASSERT_EQ(Lumtrx({u"set", module, kNoticeId, kGermanNotice}), 0u);
        SetModuleIdentity(module, kOtherBuild);
    }

    void MakeModule(std::u16string_view ext, const TTestModuleOptions& options) {
        MakeTestModule(container_, built_, ResourceModuleFileName(exe_, ext), options);
    }

    std::u16string folder_ = SystemTempPath() + u"OstrinTranslation";
    std::u16string built_ = TestBuildFolder() + u"\\app\\Ostrin.exe";
    std::u16string container_ = TestBuildFolder() + u"\\standin\\capicom1\\capicom.dll";
    std::u16string exe_ = folder_ + u"\\Ostrin.exe";
    std::u16string exeLong_;
    std::u16string trace_ = folder_ + u"\\trace.txt";
};

constexpr char kLanguageTableMark[] = "table of languages made";

} // namespace

TEST_F(OstrinTranslation, TheConfiguredModuleOfThisBuildTranslatesTheMainForm) {
    MakeModule(u"DEU", TTestModuleOptions().WithCaption(kGerman));
    Configure(u"DEU");
    Started program(exe_);
    // A message box would keep the form from being created at all.
    EXPECT_TRUE(program.WaitForForm(kGerman));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, AModuleCreatedFromTheProgramIsTakenAtStartUp) {
    std::u16string module;
    {
        TUnit* const units[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit,
                                &LumTrxUtilsUnit};
        TUnitSequence started(units);
        module = CreateTranslation(exe_, 0x0407);
    }
    ASSERT_EQ(module, ResourceModuleFileName(exe_, u"DEU"));
    EXPECT_TRUE(IsModulePrepared(module));
    // A translator's change shows that the program's texts come from the module.
    SetModuleCaption(module, kGerman);
    Configure(u"DEU");
    Started program(exe_);
    EXPECT_TRUE(program.WaitForForm(kGerman));
    EXPECT_EQ(program.MessageBoxes(), 0);
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, AnEmptyConfiguredExtensionFallsThroughToTheThreadLocale) {
    std::u16string abbreviation = ThreadLocaleAbbreviation();
    ASSERT_EQ(abbreviation.size(), 3u);
    MakeModule(abbreviation.substr(0, 2), TTestModuleOptions().WithCaption(kGerman));
    Configure(u"");
    {
        Started program(exe_);
        EXPECT_TRUE(program.WaitForForm(kGerman));
        EXPECT_TRUE(program.Ends());
    }
    MakeModule(abbreviation, TTestModuleOptions().WithCaption(u"CAPICOM 2.0 (three letters)"));
    Started program(exe_);
    EXPECT_TRUE(program.WaitForForm(u"CAPICOM 2.0 (three letters)"));
    EXPECT_TRUE(program.Ends());
}

// Nor does any part of the translation runtime run that only a module needs.
TEST_F(OstrinTranslation, WithoutAModuleNothingIsShownBeforeTheForm) {
    Configure(u"DEU");
    Started program(exe_);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    ASSERT_TRUE(program.Ends());
    std::string trace = Trace();
    EXPECT_NE(trace.find("main form created"), std::string::npos) << trace;
    EXPECT_EQ(trace.find(kLanguageTableMark), std::string::npos) << trace;
}

TEST_F(OstrinTranslation, AModuleWithoutIdentityIsReportedAndTheProgramsTextsAreUsed) {
    MakeModule(u"DEU", TTestModuleOptions().WithCaption(kGerman).WithIdentity(
                           std::u16string(kBuildIdentityPlaceholder)));
    Configure(u"DEU");
    Started program(exe_);
    std::optional<TAnsweredBox> box = program.AnswerMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Caption, u"");
    EXPECT_EQ(box->Text, kNotPrepared);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
}

// The notice comes from the executable's own strings, not from the module put aside.
TEST_F(OstrinTranslation, AnUnpreparedModuleWithoutStringsIsReportedInTheProgramsWords) {
    MakeModule(u"DEU", TTestModuleOptions()
                           .WithIdentity(std::u16string(kBuildIdentityPlaceholder))
                           .WithoutStrings());
    Configure(u"DEU");
    Started program(exe_);
    std::optional<TAnsweredBox> box = program.AnswerMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Text, kNotPrepared);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, ATruncatedModuleIsReportedAndDoesNotStopTheProgram) {
    MakeModule(u"DEU", TTestModuleOptions().WithCaption(kGerman));
    std::u16string module = ResourceModuleFileName(exe_, u"DEU");
    std::vector<std::uint8_t> bytes = ReadTestFile(module);
    bytes.resize(bytes.size() * 2 / 3);
    WriteTestBytes(module, bytes);
    Configure(u"DEU");
    Started program(exe_);
    std::optional<TAnsweredBox> box = program.AnswerMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Text, kNotPrepared);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, AModuleOfAnotherBuildIsRebuiltWithItsTranslationsBeforeTheForm) {
    std::u16string module = ResourceModuleFileName(exe_, u"DEU");
    ASSERT_NO_FATAL_FAILURE(MakeTranslatedModuleOfAnotherBuild());
    Configure(u"DEU");

    Started program(exe_);
    std::vector<std::u16string> captions = program.CaptionsUntil(kGerman);
    EXPECT_NE(std::find(captions.begin(), captions.end(),
                        u"Updating Translation Resource (" + ModuleLongName() + u")"),
              captions.end());
    // The main form was made once, from the rebuilt module.
    EXPECT_EQ(std::find(captions.begin(), captions.end(), kEnglish), captions.end());
    EXPECT_EQ(captions.back(), kGerman);
    EXPECT_EQ(program.MessageBoxes(), 0);
    ASSERT_TRUE(program.Ends());
    EXPECT_NE(Trace().find(kLanguageTableMark), std::string::npos) << Trace();

    EXPECT_TRUE(SameBuildIdentity(exe_, module));
    EXPECT_FALSE(PathExists(module + u".tmp"));
    EXPECT_EQ(ModuleString(module, ResourceStringId(exe_, "LumTrxSysInit_SNotPrepared")),
              kGermanNotice);
    std::u16string marks = ModuleText(module, u"LUM.XRS");
    EXPECT_NE(marks.find(std::u16string(kCaptionId) + u"=TRUE\r\n"), std::u16string::npos);
    EXPECT_NE(marks.find(std::u16string(kNoticeId) + u"=TRUE\r\n"), std::u16string::npos);
}

TEST_F(OstrinTranslation, ARebuildThatFailsHalfWayKeepsTheOldModuleAndRunsInEnglish) {
    {
        // The library current, the limited run writes nothing but the new module.
        Started program(exe_);
        EXPECT_TRUE(program.WaitForForm(kEnglish));
        ASSERT_TRUE(program.Ends());
    }
    ASSERT_NO_FATAL_FAILURE(MakeTranslatedModuleOfAnotherBuild());
    std::u16string module = ResourceModuleFileName(exe_, u"DEU");
    std::vector<std::uint8_t> old = ReadTestFile(module);
    Configure(u"DEU");
    // Writes stop at half the module's size, as on a full disk.
    std::optional<DWORD> started = StartWithFileSizeLimit(exe_, old.size() / 2 / 1024);
    ASSERT_TRUE(started);
    Started program(*started);
    std::optional<TAnsweredBox> box = program.AnswerMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Caption, u"");
    // The system's error of the failed write; Wine's resource update sets no error code.
    EXPECT_TRUE(box->Text.starts_with(u"System Error.  Code: 112.\r\n") ||
                box->Text == u"A call to an OS function failed")
        << WideToUtf8(box->Text);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
    EXPECT_EQ(ReadTestFile(module), old);
    EXPECT_FALSE(PathExists(module + u".tmp"));
}

TEST_F(OstrinTranslation, UnattendedTheNoticeWaitsForNoAnswer) {
    MakeModule(u"DEU",
               TTestModuleOptions().WithIdentity(std::u16string(kBuildIdentityPlaceholder)));
    Configure(u"DEU");
    Started program(exe_, u"/S");
    // A message box would keep the program from ending.
    bool ended = false;
    int boxes = 0;
    for (int waited = 0; waited < 30000 && !ended; waited += 100) {
        boxes = std::max(boxes, program.MessageBoxes());
        ended = program.Ends(100);
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(boxes, 0);
}
