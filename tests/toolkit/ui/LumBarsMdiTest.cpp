// The toolkit's window procedure thunks, menus, bars, alignment and MDI under Wine.

#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumPersist.h"
#include "toolkit/ui/LumComCtrls.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/ui/LumMenus.h"
#include "toolkit/ui/LumThunks.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit};

class Bars : public TUnitsTest<kUnits> {
  protected:
    void TearDown() override { Application()->SetExceptionHook(nullptr); }
};

// A component to stand as the object a thunk is bound to.
struct Recorder : TLumComponent {
    explicit Recorder(int id) : TLumComponent(nullptr), Id(id) {}
    int Id;
    std::vector<UINT> Seen;
};

HWND PlainWindow() {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(window, nullptr);
    return window;
}

} // namespace

// Each thunk reaches its own object; more thunks than fit in one page work the same; what a
// handler raises goes to the exception hook and the message answers 0.
TEST_F(Bars, ThunksBindWindowProceduresToTheirObjects) {
    constexpr int kCount = 300;
    std::vector<std::unique_ptr<Recorder>> objects;
    std::vector<std::unique_ptr<TLumWndProcThunk>> thunks;
    for (int i = 0; i < kCount; ++i) {
        objects.push_back(std::make_unique<Recorder>(i));
        Recorder* object = objects.back().get();
        thunks.push_back(std::make_unique<TLumWndProcThunk>(
            object, [object](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
                object->Seen.push_back(msg);
                return object->Id * 1000 + static_cast<LRESULT>(wParam + lParam);
            }));
    }
    for (int i = 0; i < kCount; i += 37) {
        EXPECT_EQ(CallWindowProcW(thunks[i]->Proc(), nullptr, WM_USER, 3, 4), i * 1000 + 7);
        EXPECT_EQ(objects[i]->Seen, std::vector<UINT>{WM_USER});
    }

    HWND window = PlainWindow();
    {
        TLumWindowHook hook;
        hook.Install(window, thunks[5]->Proc());
        EXPECT_EQ(SendMessageW(window, WM_USER + 1, 1, 1), 5002);
        EXPECT_EQ(objects[5]->Seen.back(), static_cast<UINT>(WM_USER + 1));
    }
    // The hook gave the window its own procedure back.
    objects[5]->Seen.clear();
    SendMessageW(window, WM_USER + 1, 0, 0);
    EXPECT_TRUE(objects[5]->Seen.empty());
    DestroyWindow(window);

    std::u16string hooked;
    Application()->SetExceptionHook(
        [&](TLumPersistent*, Exception& error) { hooked = error.Message(); });
    Recorder sender(0);
    TLumWndProcThunk raising(&sender, [](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
        throw EConvertError(u"from the handler");
    });
    EXPECT_EQ(CallWindowProcW(raising.Proc(), nullptr, WM_USER, 0, 0), 0);
    EXPECT_EQ(hooked, u"from the handler");
}

// The menu bar shows the items with their shortcuts, a command clicks its item, a change is
// shown at once, and a shortcut key clicks the item through the form.
TEST_F(Bars, MainMenuCommandsAndChanges) {
    auto* form = TLumCustomForm::CreateNew<TLumForm>(Application());
    auto* menu = new TLumMainMenu(form);
    auto* file = new TLumMenuItem(form);
    file->SetCaption(u"&File");
    menu->Items()->Add(file);
    auto* open = new TLumMenuItem(form);
    open->SetCaption(u"&Open");
    open->SetShortCut(ShortCut('O', {TShiftStateFlag::ssCtrl}));
    file->Add(open);
    int clicks = 0;
    open->OnClick = TNotifyEvent([&](TLumPersistent*) { ++clicks; });
    form->SetMenu(menu);
    form->Show();

    HMENU bar = GetMenu(form->Handle());
    ASSERT_EQ(bar, menu->Handle());
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    HMENU popup = GetSubMenu(bar, 0);
    ASSERT_EQ(popup, file->Handle());
    wchar_t text[64];
    GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
    EXPECT_EQ(FromWinStr(text), u"&Open\tCtrl+O");

    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(open->Command(), 0), 0);
    EXPECT_EQ(clicks, 1);
    std::uint16_t key = 'O';
    EXPECT_FALSE(form->PreviewKeyDown(key, {TShiftStateFlag::ssCtrl}));
    EXPECT_EQ(clicks, 2);
    open->SetEnabled(false);
    key = 'O';
    EXPECT_TRUE(form->PreviewKeyDown(key, {TShiftStateFlag::ssCtrl}));
    EXPECT_EQ(clicks, 2);

    auto* help = new TLumMenuItem(form);
    help->SetCaption(u"&Help");
    menu->Items()->Add(help);
    EXPECT_EQ(GetMenu(form->Handle()), menu->Handle());
    EXPECT_EQ(GetMenuItemCount(GetMenu(form->Handle())), 2);

    // The menu going leaves the form without a menu bar.
    menu->Free();
    EXPECT_EQ(form->Menu(), nullptr);
    EXPECT_EQ(GetMenu(form->Handle()), nullptr);
    form->Free();
}

// Owner-drawn top-level items that draw nothing of their own become string items again.
TEST_F(Bars, MenuFixUpTurnsBareOwnerDrawnItemsIntoStrings) {
    TLumOwned<TLumMainMenu> menu(new TLumMainMenu(nullptr));
    menu->SetOwnerDraw(true);
    TLumMenuItem* items[3];
    for (auto*& item : items) {
        item = new TLumMenuItem(menu.get());
        item->SetCaption(u"&Item");
        menu->Items()->Add(item);
    }
    items[1]->SetImageIndex(0);
    items[2]->OnDrawItem = TMenuDrawItemEvent([](TLumPersistent*, HDC, const RECT&, bool) {});
    auto type = [&](UINT position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        EXPECT_TRUE(GetMenuItemInfoW(menu->Handle(), position, TRUE, &info));
        return info.fType;
    };
    EXPECT_TRUE(type(0) & MFT_OWNERDRAW);
    FixUpMainMenu(menu.get());
    EXPECT_FALSE(type(0) & MFT_OWNERDRAW);
    wchar_t text[16];
    GetMenuStringW(menu->Handle(), 0, text, 16, MF_BYPOSITION);
    EXPECT_EQ(FromWinStr(text), u"&Item");
    EXPECT_TRUE(type(1) & MFT_OWNERDRAW);
    EXPECT_TRUE(type(2) & MFT_OWNERDRAW);
}

// Aligned bars take the edges, the status bar sends its parts, a tool button's command
// clicks it, and a band given the left of another plus one comes right after it.
TEST_F(Bars, AlignedBarsPanelsButtonsAndBands) {
    auto* form = TLumCustomForm::CreateNew<TLumForm>(Application());
    form->SetClientWidth(400);
    form->SetClientHeight(300);
    auto* top = new TLumControlBar(form);
    top->SetParent(form);
    top->SetAlign(TAlign::alTop);
    auto* tools = new TToolBar(form);
    tools->SetParent(top);
    tools->SetBounds(0, 0, 120, 22);
    auto* more = new TToolBar(form);
    more->SetParent(top);
    more->SetBounds(1, 0, 80, 22);
    auto* status = new TLumStatusBar(form);
    status->SetParent(form);
    status->SetAlign(TAlign::alBottom);
    status->AddPanel(u"one", 60);
    status->AddPanel(u"two", 90);
    status->AddPanel(u"rest", 10);
    auto* button = new TToolButton(form);
    button->SetCaption(u"Go");
    tools->AddButton(button);
    int clicks = 0;
    button->OnClick = TNotifyEvent([&](TLumPersistent*) { ++clicks; });
    form->Show();

    EXPECT_EQ(more->Left(), 120);
    EXPECT_EQ(top->Top(), 0);
    EXPECT_EQ(top->Width(), 400);
    EXPECT_EQ(status->Top(), 300 - status->Height());
    EXPECT_EQ(status->Width(), 400);
    form->SetClientHeight(200);
    EXPECT_EQ(status->Top(), 200 - status->Height());

    EXPECT_EQ(status->WindowParts(), (std::vector<int>{60, 150, -1}));
    status->SetSimplePanel(true);
    EXPECT_TRUE(SendMessageW(status->Handle(), SB_ISSIMPLE, 0, 0));
    status->SetSimplePanel(false);
    EXPECT_FALSE(SendMessageW(status->Handle(), SB_ISSIMPLE, 0, 0));

    EXPECT_EQ(SendMessageW(tools->Handle(), TB_BUTTONCOUNT, 0, 0), 1);
    TBBUTTON tb{};
    SendMessageW(tools->Handle(), TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&tb));
    SendMessageW(top->Handle(), WM_COMMAND, MAKEWPARAM(tb.idCommand, BN_CLICKED),
                 reinterpret_cast<LPARAM>(tools->Handle()));
    EXPECT_EQ(clicks, 1);
    form->Free();
}

// A form text with a menu, bars, buttons and panels reads in and writes back the same.
TEST_F(Bars, BarsAndMenusStreamBackTheSame) {
    const std::string text = "object BarForm: TLumForm\r\n"
                             "  Menu = MainMenu1\r\n"
                             "  object ControlBar1: TLumControlBar\r\n"
                             "    Left = 0\r\n"
                             "    Top = 0\r\n"
                             "    Width = 200\r\n"
                             "    Height = 26\r\n"
                             "    Align = alTop\r\n"
                             "    object ToolBar1: TToolBar\r\n"
                             "      Left = 0\r\n"
                             "      Top = 0\r\n"
                             "      Width = 150\r\n"
                             "      Height = 22\r\n"
                             "      object ToolButton1: TToolButton\r\n"
                             "        Caption = 'Go'\r\n"
                             "      end\r\n"
                             "    end\r\n"
                             "  end\r\n"
                             "  object StatusBar1: TLumStatusBar\r\n"
                             "    Left = 0\r\n"
                             "    Top = 0\r\n"
                             "    Width = 200\r\n"
                             "    Height = 19\r\n"
                             "    Align = alBottom\r\n"
                             "    Panels = <\r\n"
                             "      item\r\n"
                             "        Text = 'Ready'\r\n"
                             "        Width = 80\r\n"
                             "      end>\r\n"
                             "  end\r\n"
                             "  object MainMenu1: TLumMainMenu\r\n"
                             "    object File1: TLumMenuItem\r\n"
                             "      Caption = '&File'\r\n"
                             "      object Exit1: TLumMenuItem\r\n"
                             "        Caption = 'E&xit'\r\n"
                             "        ShortCut = 16472\r\n"
                             "      end\r\n"
                             "    end\r\n"
                             "  end\r\n"
                             "end\r\n";
    auto* form = TLumCustomForm::CreateNew<TLumForm>(Application());
    TLumMemoryStream binary(FormTextToBinary(text));
    ReadComponent(binary, *form);
    ASSERT_NE(form->Menu(), nullptr);
    ASSERT_EQ(form->Menu()->Items()->Count(), 1);
    EXPECT_EQ(form->Menu()->Items()->Items(0)->Items(0)->Caption(), u"E&xit");
    auto* status = dynamic_cast<TLumStatusBar*>(form->FindComponent(u"StatusBar1"));
    ASSERT_NE(status, nullptr);
    ASSERT_EQ(status->PanelCount(), 1);
    EXPECT_EQ(status->Panels(0).Text, u"Ready");
    auto* tools = dynamic_cast<TToolBar*>(form->FindComponent(u"ToolBar1"));
    ASSERT_NE(tools, nullptr);
    ASSERT_EQ(tools->ButtonCount(), 1);

    TLumMemoryStream written;
    WriteComponent(written, *form);
    // The form's own size lines differ from the text above; the rest must be the same.
    std::string back = FormBinaryToText(written.Bytes());
    for (const char* part :
         {"  Menu = MainMenu1\r\n", "    Align = alTop\r\n", "        Caption = 'Go'\r\n",
          "    Panels = <\r\n      item\r\n        Text = 'Ready'\r\n        Width = 80\r\n",
          "        ShortCut = 16472\r\n"}) {
        EXPECT_NE(back.find(part), std::string::npos) << part;
    }
    form->Free();
}

// An MDI frame holds its children in the client area the bars leave; the window menu lists
// them; maximising, activation, cascading and closing go through the MDI client.
TEST_F(Bars, MdiFrameAndChildren) {
    auto* frame = TLumCustomForm::CreateNew<TLumForm>(Application());
    TLumCustomForm* previousMain = Application()->MainForm();
    Application()->SetMainForm(frame);
    frame->SetFormStyle(TFormStyle::fsMDIForm);
    frame->SetClientWidth(500);
    frame->SetClientHeight(400);
    auto* menu = new TLumMainMenu(frame);
    auto* window = new TLumMenuItem(frame);
    window->SetCaption(u"&Window");
    menu->Items()->Add(window);
    auto* cascade = new TLumMenuItem(frame);
    cascade->SetCaption(u"&Cascade");
    window->Add(cascade);
    frame->SetMenu(menu);
    frame->SetWindowMenu(window);
    auto* status = new TLumStatusBar(frame);
    status->SetParent(frame);
    status->SetAlign(TAlign::alBottom);
    frame->Show();

    ASSERT_NE(frame->ClientHandle(), nullptr);
    RECT client;
    GetWindowRect(frame->ClientHandle(), &client);
    MapWindowPoints(nullptr, frame->Handle(), reinterpret_cast<POINT*>(&client), 2);
    EXPECT_EQ(client.bottom, status->Top());

    TLumCustomForm* children[2];
    for (auto*& child : children) {
        child = TLumCustomForm::CreateNew<TLumForm>(Application());
        child->SetFormStyle(TFormStyle::fsMDIChild);
        child->SetCaption(u"Child");
        child->Show();
    }
    EXPECT_EQ(GetParent(children[0]->Handle()), frame->ClientHandle());
    EXPECT_EQ(frame->MDIChildCount(), 2);
    EXPECT_EQ(frame->ActiveMDIChild(), children[1]);
    // The window menu: the own item, a separator and the two children.
    SendMessageW(frame->ClientHandle(), WM_MDIREFRESHMENU, 0, 0);
    EXPECT_EQ(GetMenuItemCount(window->Handle()), 4);

    children[1]->SetWindowState(TWindowState::wsMaximized);
    EXPECT_TRUE(IsZoomed(children[1]->Handle()));
    frame->Next();
    EXPECT_EQ(frame->ActiveMDIChild(), children[0]);
    // The MDI client keeps a maximised child's state for the next active one.
    EXPECT_EQ(children[0]->WindowState(), TWindowState::wsMaximized);
    children[0]->SetWindowState(TWindowState::wsNormal);
    frame->Cascade();
    EXPECT_FALSE(IsZoomed(children[0]->Handle()));

    children[1]->Free();
    EXPECT_EQ(frame->MDIChildCount(), 1);
    children[0]->Free();
    EXPECT_EQ(frame->MDIChildCount(), 0);

    // A child without an MDI form to hold it cannot be shown.
    Application()->SetMainForm(previousMain);
    auto* orphan = TLumCustomForm::CreateNew<TLumForm>(Application());
    orphan->SetFormStyle(TFormStyle::fsMDIChild);
    try {
        orphan->Show();
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidOperation& error) {
        EXPECT_EQ(error.Message(), u"Cannot create form. No MDI forms are currently active");
    }
    orphan->Free();
    frame->Free();
}
