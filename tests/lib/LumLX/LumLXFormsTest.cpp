// The extended form under Wine: own taskbar buttons and the main form's deferred close, the
// click on a form that a modal window disables, docking of an MDI child's bars, the menu
// fix-up and the texts of refused combinations.

#include "lib/LumLX/LumLXForms.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumPersist.h"
#include "toolkit/ui/LumComCtrls.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXFormsUnit};

// Each test has an application of its own: a main form's close ends it.
class FormLX : public ::testing::Test {
  protected:
    void SetUp() override { units_.emplace(kUnits); }
    void TearDown() override {
        units_->Stop();
        units_.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    static TLumFormLX* NewForm() { return TLumCustomForm::CreateNew<TLumFormLX>(Application()); }

    std::optional<TUnitSequence> units_;
};

HWND Owner(HWND window) {
    return GetWindow(window, GW_OWNER);
}

bool ThemesActive() {
    HMODULE themes = LoadLibraryW(L"uxtheme.dll");
    auto active = themes ? reinterpret_cast<BOOL(WINAPI*)()>(
                               reinterpret_cast<void*>(GetProcAddress(themes, "IsThemeActive")))
                         : nullptr;
    auto themed = themes ? reinterpret_cast<BOOL(WINAPI*)()>(
                               reinterpret_cast<void*>(GetProcAddress(themes, "IsAppThemed")))
                         : nullptr;
    bool result = active && themed && active() && themed();
    if (themes) {
        FreeLibrary(themes);
    }
    return result;
}

} // namespace

TEST_F(FormLX, TaskBarButtonMakesAnUnownedTopLevelWindow) {
    TLumFormLX* main = NewForm();
    Application()->SetMainForm(main);
    main->Show();
    HWND app = Application()->Handle();
    EXPECT_EQ(Owner(main->Handle()), app);
    EXPECT_TRUE(IsWindowVisible(app));

    main->SetTaskBarButton(true);
    EXPECT_EQ(Owner(main->Handle()), nullptr);
    EXPECT_TRUE(GetWindowLongW(main->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_FALSE(IsWindowVisible(app));
    EXPECT_EQ(TaskBarFormCount(), 1);

    TLumFormLX* second = NewForm();
    second->SetTaskBarButton(true);
    second->Show();
    EXPECT_EQ(Owner(second->Handle()), nullptr);
    EXPECT_TRUE(GetWindowLongW(second->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    TLumFormLX* plain = NewForm();
    plain->Show();
    EXPECT_EQ(Owner(plain->Handle()), app);
    EXPECT_FALSE(GetWindowLongW(plain->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(TaskBarFormCount(), 2);

    main->SetTaskBarButton(false);
    EXPECT_EQ(Owner(main->Handle()), app);
    EXPECT_TRUE(IsWindowVisible(app));
    EXPECT_EQ(RegisterWindowMessageW(L"Lum.BringToFront"), BringToFrontMessage());
}

// The main form with its own button waits, hidden, for the last other form with a button;
// switching that one's button off or freeing it closes the main form.
TEST_F(FormLX, MainFormCloseWaitsForTheOtherButtons) {
    for (bool byFree : {false, true}) {
        TLumFormLX* main = NewForm();
        Application()->SetMainForm(main);
        main->SetTaskBarButton(true);
        main->Show();
        TLumFormLX* second = NewForm();
        second->SetTaskBarButton(true);
        second->Show();

        main->Close();
        EXPECT_FALSE(Application()->Terminated());
        EXPECT_FALSE(main->Visible());
        EXPECT_FALSE(IsWindowVisible(main->Handle()));
        if (byFree) {
            second->Free();
        } else {
            second->SetTaskBarButton(false);
        }
        EXPECT_TRUE(Application()->Terminated()) << byFree;
        TearDown();
        SetUp();
    }
}

TEST_F(FormLX, MainFormAloneWithItsButtonClosesAtOnce) {
    TLumFormLX* main = NewForm();
    Application()->SetMainForm(main);
    main->SetTaskBarButton(true);
    main->Show();
    main->Close();
    EXPECT_TRUE(Application()->Terminated());
}

// A left click on a form that waits for a modal window activates that window, whether it is a
// dialog the form owns or a modal form of the application.
TEST_F(FormLX, ClickOnADisabledFormActivatesTheModalWindow) {
    TLumFormLX* main = NewForm();
    Application()->SetMainForm(main);
    main->Show();
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    LPARAM click = MAKELPARAM(HTERROR, WM_LBUTTONDOWN);

    HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME, L"STATIC", L"dialog",
                                  WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME, 10, 10, 100,
                                  80, main->Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    EnableWindow(main->Handle(), FALSE);
    SetActiveWindow(dialog);
    SetActiveWindow(other);
    ASSERT_EQ(GetActiveWindow(), other);
    // Only a left button press counts.
    SendMessageW(main->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(main->Handle()),
                 MAKELPARAM(HTERROR, WM_MOUSEMOVE));
    EXPECT_EQ(GetActiveWindow(), other);
    SendMessageW(main->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(main->Handle()), click);
    EXPECT_EQ(GetActiveWindow(), dialog);
    DestroyWindow(dialog);
    EnableWindow(main->Handle(), TRUE);

    // A toolkit form shown modally, found through the application's window.
    TLumFormLX* modal = NewForm();
    bool activated = false;
    main->SetMessageHandler(WM_USER + 7, [&](TMessage&) {
        SetActiveWindow(other);
        SendMessageW(main->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(main->Handle()), click);
        activated = GetActiveWindow() == modal->Handle();
        modal->SetModalResult(mrOk);
    });
    main->PostMessageToSelf(WM_USER + 7);
    EXPECT_EQ(modal->ShowModal(), mrOk);
    EXPECT_TRUE(activated);
    DestroyWindow(other);
}

TEST_F(FormLX, RefusedCombinationsRaiseTheirTexts) {
    TLumFormLX* main = NewForm();
    main->SetFormStyle(TFormStyle::fsMDIForm);
    Application()->SetMainForm(main);
    main->Show();
    TLumFormLX* child = NewForm();
    child->SetFormStyle(TFormStyle::fsMDIChild);
    ExpectRaises<ELumGeneralError>(
        [&] { child->SetTaskBarButton(true); }, "ELumGeneralError",
        u"A MDI child or a contained form can not have its own task bar button.");
    EXPECT_FALSE(child->TaskBarButton());
    EXPECT_EQ(TaskBarFormCount(), 0);

    TLumFormLX* own = NewForm();
    own->SetTaskBarButton(true);
    ExpectRaises<ELumInternalError>(
        [&] { own->SetFormStyle(TFormStyle::fsMDIChild); }, "ELumInternalError",
        u"Internal Error: An MDI child form can not have a taskbar button.");
    EXPECT_EQ(own->FormStyle(), TFormStyle::fsNormal);

    ExpectRaises<ELumInternalError>(
        [&] { own->MDIChild_UpdateMdiDockState(true); }, "ELumInternalError",
        u"Internal Error: MDIChild_UpdateMdiDockState can only be called from MDI child forms.");
}

// A form text sets the properties through their setters; once loaded the control bar has its
// colour and the status bar is hooked as soon as it has a window; they are written back in
// their order, the taskbar button only when on.
TEST_F(FormLX, PropertiesStreamInAndBack) {
    const std::string text = "object Frame: TLumFormLX\r\n"
                             "  FormStyle = fsMDIForm\r\n"
                             "  TaskBarButton = True\r\n"
                             "  MDIControlBar = Bar1\r\n"
                             "  MDIStatusBar = Status1\r\n"
                             "  object Bar1: TLumControlBar\r\n"
                             "    Align = alTop\r\n"
                             "  end\r\n"
                             "  object Status1: TLumStatusBar\r\n"
                             "    Align = alBottom\r\n"
                             "  end\r\n"
                             "end\r\n";
    TLumFormLX* form = NewForm();
    TLumMemoryStream binary(FormTextToBinary(text));
    ReadComponent(binary, *form);
    EXPECT_EQ(form->FormStyle(), TFormStyle::fsMDIForm);
    EXPECT_TRUE(form->TaskBarButton());
    EXPECT_EQ(TaskBarFormCount(), 1);
    ASSERT_EQ(form->MDIControlBar(), form->FindComponent(u"Bar1"));
    ASSERT_EQ(form->MDIStatusBar(), form->FindComponent(u"Status1"));
    EXPECT_EQ(form->MDIToolBar(), nullptr);
    EXPECT_EQ(form->MDIControlBar()->Color(), ThemesActive() ? clMenuBar : clMenu);
    form->Show();
    EXPECT_NE(GetWindowLongPtrW(form->MDIStatusBar()->Handle(), GWLP_WNDPROC),
              reinterpret_cast<LONG_PTR>(&LumWindowProc));

    TLumMemoryStream written;
    WriteComponent(written, *form);
    std::string back = FormBinaryToText(written.Bytes());
    size_t style = back.find("  FormStyle = fsMDIForm\r\n  TaskBarButton = True\r\n");
    size_t bars = back.find("  MDIControlBar = Bar1\r\n  MDIStatusBar = Status1\r\n");
    EXPECT_NE(style, std::string::npos) << back;
    EXPECT_NE(bars, std::string::npos) << back;
    EXPECT_LT(style, bars);
    form->SetTaskBarButton(false);
    TLumMemoryStream plain;
    WriteComponent(plain, *form);
    EXPECT_EQ(FormBinaryToText(plain.Bytes()).find("TaskBarButton"), std::string::npos);
}

TEST_F(FormLX, MenuIsFixedUpWhenSetAndWhenItChanges) {
    TLumFormLX* form = NewForm();
    auto* menu = new TLumMainMenu(form);
    menu->SetOwnerDraw(true);
    auto* item = new TLumMenuItem(form);
    item->SetCaption(u"&File");
    menu->Items()->Add(item);
    form->SetMenu(menu);
    form->Show();
    auto ownerDrawn = [&] {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        GetMenuItemInfoW(GetMenu(form->Handle()), 0, TRUE, &info);
        return (info.fType & MFT_OWNERDRAW) != 0;
    };
    EXPECT_FALSE(ownerDrawn());
    item->SetCaption(u"&Data");
    EXPECT_FALSE(ownerDrawn());
}

// The frame's bars and a child with bars of its own, and a second child without.
class MdiBars : public FormLX {
  protected:
    void SetUp() override {
        FormLX::SetUp();
        main_ = NewForm();
        Application()->SetMainForm(main_);
        main_->SetFormStyle(TFormStyle::fsMDIForm);
        main_->SetClientWidth(600);
        main_->SetClientHeight(400);
        Bars(main_, mainControlBar_, mainToolBar_, mainStatusBar_);
        mainStatusBar_->AddPanel(u"main", 50);
        mainStatusBar_->AddPanel(u"more", 80);
        mainStatusBar_->AddPanel(u"rest", 10);
        main_->Show();
        child_ = NewForm();
        child_->SetFormStyle(TFormStyle::fsMDIChild);
        Bars(child_, childControlBar_, childToolBar_, childStatusBar_);
        childStatusBar_->AddPanel(u"a", 70);
        childStatusBar_->AddPanel(u"b", 40);
        child_->Show();
        other_ = NewForm();
        other_->SetFormStyle(TFormStyle::fsMDIChild);
        other_->Show();
        SendMessageW(main_->ClientHandle(), WM_MDIACTIVATE,
                     reinterpret_cast<WPARAM>(child_->Handle()), 0);
        statusHeight_ = childStatusBar_->Height();
    }

    static void Bars(TLumFormLX* form, TLumControlBar*& control, TToolBar*& tools,
                     TLumStatusBar*& status) {
        control = new TLumControlBar(form);
        control->SetParent(form);
        control->SetAlign(TAlign::alTop);
        tools = new TToolBar(form);
        tools->SetParent(control);
        tools->SetBounds(0, 0, 100, 22);
        status = new TLumStatusBar(form);
        status->SetParent(form);
        status->SetAlign(TAlign::alBottom);
        form->SetMDIControlBar(control);
        form->SetMDIToolBar(tools);
        form->SetMDIStatusBar(status);
    }

    void ExpectUndocked(int line) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(child_->Docked());
        EXPECT_EQ(childToolBar_->Parent(), childControlBar_);
        EXPECT_EQ(childToolBar_->Left(), 0);
        EXPECT_EQ(childStatusBar_->Parent(), child_);
        EXPECT_EQ(childStatusBar_->Align(), TAlign::alBottom);
        EXPECT_TRUE(childStatusBar_->SizeGrip());
        // Back at the bottom edge of the child's client area, however large that is now.
        RECT bounds = childStatusBar_->BoundsRect();
        EXPECT_EQ(bounds.left, 0);
        EXPECT_EQ(bounds.right, child_->ClientWidth());
        EXPECT_EQ(bounds.bottom, child_->ClientHeight());
        EXPECT_EQ(bounds.bottom - bounds.top, statusHeight_);
        EXPECT_EQ(main_->DockedChildStatusBar(), nullptr);
        EXPECT_EQ(mainStatusBar_->WindowParts(), (std::vector<int>{50, 130, -1}));
    }

    TLumFormLX* main_ = nullptr;
    TLumControlBar* mainControlBar_ = nullptr;
    TToolBar* mainToolBar_ = nullptr;
    TLumStatusBar* mainStatusBar_ = nullptr;
    TLumFormLX* child_ = nullptr;
    TLumControlBar* childControlBar_ = nullptr;
    TToolBar* childToolBar_ = nullptr;
    TLumStatusBar* childStatusBar_ = nullptr;
    TLumFormLX* other_ = nullptr;
    int statusHeight_ = 0;
};

TEST_F(MdiBars, MaximisedActiveChildDocksItsBarsAndGivesThemBack) {
    ASSERT_EQ(main_->ActiveMDIChild(), child_);
    ExpectUndocked(__LINE__);
    EXPECT_EQ(mainControlBar_->Color(), ThemesActive() ? clMenuBar : clMenu);

    child_->SetWindowState(TWindowState::wsMaximized);
    ASSERT_TRUE(child_->Docked());
    EXPECT_EQ(childToolBar_->Parent(), mainControlBar_);
    EXPECT_EQ(GetParent(childToolBar_->Handle()), mainControlBar_->Handle());
    EXPECT_EQ(childToolBar_->Left(), mainToolBar_->Left() + mainToolBar_->Width());
    EXPECT_EQ(childStatusBar_->Parent(), mainStatusBar_);
    EXPECT_EQ(GetParent(childStatusBar_->Handle()), mainStatusBar_->Handle());
    EXPECT_EQ(main_->DockedChildStatusBar(), childStatusBar_);
    EXPECT_EQ(childStatusBar_->Left(), 52);
    EXPECT_EQ(childStatusBar_->Width(), 108);
    EXPECT_EQ(childStatusBar_->Height(), mainStatusBar_->Height());
    EXPECT_FALSE(childStatusBar_->SizeGrip());
    // The own parts after the first move right by the child's 110; the last still reaches
    // to the end.
    EXPECT_EQ(mainStatusBar_->WindowParts(), (std::vector<int>{160, 240, -1}));

    // Docking again, or setting a bar to the one it is, moves nothing.
    HWND toolWindow = childToolBar_->Handle();
    HWND statusWindow = childStatusBar_->Handle();
    child_->MDIChild_UpdateMdiDockState(true);
    child_->SetMDIToolBar(childToolBar_);
    child_->SetMDIStatusBar(childStatusBar_);
    child_->SetMDIControlBar(childControlBar_);
    EXPECT_EQ(childToolBar_->Handle(), toolWindow);
    EXPECT_EQ(childStatusBar_->Handle(), statusWindow);
    EXPECT_EQ(mainStatusBar_->WindowParts(), (std::vector<int>{160, 240, -1}));

    // Activating the other child gives the bars back; coming back docks them again.
    SendMessageW(main_->ClientHandle(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(other_->Handle()),
                 0);
    ASSERT_EQ(main_->ActiveMDIChild(), other_);
    ExpectUndocked(__LINE__);
    SendMessageW(main_->ClientHandle(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(child_->Handle()),
                 0);
    EXPECT_TRUE(child_->Docked());
    EXPECT_EQ(main_->DockedChildStatusBar(), childStatusBar_);

    child_->SetWindowState(TWindowState::wsNormal);
    ExpectUndocked(__LINE__);
}

// A child freed while its bars are docked leaves no trace in the main form's status bar.
TEST_F(MdiBars, FreeingADockedChildLeavesTheMainBarClean) {
    child_->SetWindowState(TWindowState::wsMaximized);
    ASSERT_TRUE(child_->Docked());
    child_->Free();
    EXPECT_EQ(main_->DockedChildStatusBar(), nullptr);
    EXPECT_EQ(mainStatusBar_->WindowParts(), (std::vector<int>{50, 130, -1}));
    UpdateWindow(mainStatusBar_->Handle());
    EXPECT_EQ(mainControlBar_->ControlCount(), 1);
}
