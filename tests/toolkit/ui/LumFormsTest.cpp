// The window toolkit under Wine: forms from resources, timers, the exception hook and the
// window procedures that hand to it, message filters, modal forms, painting, anchors, memo
// lines, canvas, clipboard and screen.

#include "toolkit/ui/LumForms.h"

#include "app/OstrinFrm.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumPersist.h"
#include "toolkit/res/LumResourceStream.h"
#include "toolkit/ui/LumBasicControls.h"
#include "toolkit/ui/LumClipboard.h"
#include "toolkit/ui/LumTimer.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumBasicControlsUnit, &LumTimerUnit};

// Handles messages for about `milliseconds`.
void Pump(int milliseconds) {
    DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        Application()->ProcessMessages();
        Sleep(5);
    }
}

std::string Text(const std::string& binary) {
    TLumMemoryStream in(binary);
    TLumMemoryStream out;
    ObjectBinaryToText(in, out);
    return out.Bytes();
}

class Toolkit : public TUnitsTest<kUnits> {
  protected:
    void TearDown() override { Application()->SetExceptionHook(nullptr); }
};

// A form laid out in code with a few controls.
struct DialogForm {
    TLumForm* Form;
    TLumButton* Ok;
    TLumButton* Cancel;
    TLumMemo* Memo;

    DialogForm() {
        Form = TLumCustomForm::CreateNew<TLumForm>(Application());
        Form->SetBorderStyle(TFormBorderStyle::bsDialog);
        Form->SetClientWidth(300);
        Form->SetClientHeight(200);
        Ok = new TLumButton(Form);
        Ok->SetParent(Form);
        Ok->SetBounds(210, 10, 80, 25);
        Ok->SetCaption(u"OK");
        Ok->SetModalResult(mrOk);
        Ok->SetDefault(true);
        Ok->SetAnchors({TAnchorKind::akTop, TAnchorKind::akRight});
        Cancel = new TLumButton(Form);
        Cancel->SetParent(Form);
        Cancel->SetBounds(210, 40, 80, 25);
        Cancel->SetCaption(u"Cancel");
        Cancel->SetModalResult(mrCancel);
        Cancel->SetCancel(true);
        Memo = new TLumMemo(Form);
        Memo->SetParent(Form);
        Memo->SetBounds(10, 10, 190, 180);
        Memo->SetAnchors(
            {TAnchorKind::akLeft, TAnchorKind::akTop, TAnchorKind::akRight, TAnchorKind::akBottom});
    }
    ~DialogForm() { Form->Free(); }
};

} // namespace

TEST_F(Toolkit, MainFormComesFromItsResource) {
    TOstrinForm* form = TLumCustomForm::Create<TOstrinForm>(Application());
    ASSERT_NE(form->Timer1, nullptr);
    // No message is handled here, so the timer cannot run the setup.
    EXPECT_EQ(form->Name(), u"OstrinForm");
    EXPECT_EQ(form->Caption(), u"CAPICOM 2.0 setup");
    EXPECT_EQ(form->ClientWidth(), 309);
    EXPECT_EQ(form->ClientHeight(), 1);
    EXPECT_EQ(form->BorderStyle(), TFormBorderStyle::bsDialog);
    EXPECT_TRUE(form->BorderIcons().Empty());
    EXPECT_EQ(form->Position(), TPosition::poScreenCenter);
    EXPECT_EQ(form->Font()->Name(), u"MS Shell Dlg 2");
    EXPECT_EQ(form->Font()->Height(), -11);
    EXPECT_EQ(form->Color(), clBtnFace);
    EXPECT_EQ(form->Timer1->Interval(), 250);
    EXPECT_TRUE(form->Timer1->Enabled());
    EXPECT_EQ(form->Timer1->OnTimer.MethodName(), "Timer1Timer");
    form->Timer1->SetEnabled(false);

    form->Show();
    HWND window = form->Handle();
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 309);
    EXPECT_EQ(client.bottom, 1);
    LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_NEAR(frame.left, (Screen()->Width() - (frame.right - frame.left)) / 2, 1);
    EXPECT_NEAR(frame.top, (Screen()->Height() - (frame.bottom - frame.top)) / 2, 1);
    wchar_t caption[64];
    GetWindowTextW(window, caption, 64);
    EXPECT_EQ(FromWinStr(caption), u"CAPICOM 2.0 setup");
    form->SetCaption(u"CAPICOM 2.0 setup - installing...");
    GetWindowTextW(window, caption, 64);
    EXPECT_EQ(FromWinStr(caption), u"CAPICOM 2.0 setup - installing...");
    form->Free();
}

// text -> binary (the build) -> component -> binary -> text gives the stored text again.
TEST_F(Toolkit, MainFormWritesBackItsOwnStream) {
    TOstrinForm* form = TLumCustomForm::Create<TOstrinForm>(Application());
    form->Timer1->SetEnabled(false);
    form->Timer1->SetEnabled(true);
    TLumResourceStream resource(MainInstance(), TResId(u"TOSTRINFORM"), RcDataType());
    std::string stored(reinterpret_cast<const char*>(resource.Memory()),
                       static_cast<size_t>(resource.Size()));
    TLumMemoryStream written;
    WriteComponent(written, *form);
    EXPECT_EQ(Text(written.Bytes()), Text(stored));
    form->Free();
}

TEST_F(Toolkit, FormWithoutResourceRaises) {
    struct TBareForm : TLumForm {
        using TLumForm::TLumForm;
        static const TLumClass& StaticClass() {
            static const TLumClass cls =
                TLumClassBuilder<TBareForm>("TBareForm", &TLumForm::StaticClass()).Build();
            return cls;
        }
        const TLumClass& ClassType() const override { return StaticClass(); }
    };
    int before = Application()->ComponentCount();
    try {
        TLumCustomForm::Create<TBareForm>(Application());
        FAIL() << "no exception";
    } catch (const EResNotFound& error) {
        EXPECT_EQ(error.Message(), u"Resource TBareForm not found");
    }
    EXPECT_EQ(Application()->ComponentCount(), before);
}

TEST_F(Toolkit, TimerFiresUntilItsHandlerDisablesIt) {
    TLumOwned<TLumTimer> timer(new TLumTimer(nullptr));
    int fired = 0;
    timer->SetInterval(30);
    timer->OnTimer = TNotifyEvent([&](TLumPersistent* sender) {
        ++fired;
        static_cast<TLumTimer*>(sender)->SetEnabled(false);
    });
    Pump(400);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer->Enabled());
}

TEST_F(Toolkit, ExceptionInAHandlerReachesTheHook) {
    DialogForm dialog;
    dialog.Form->Show();
    std::string className;
    std::u16string message;
    TLumPersistent* sender = nullptr;
    Application()->SetExceptionHook([&](TLumPersistent* s, Exception& error) {
        sender = s;
        className = error.ClassName();
        message = error.Message();
    });
    dialog.Ok->OnClick = TNotifyEvent([](TLumPersistent*) { throw ELumGeneralError(u"boom"); });
    SendMessageW(dialog.Ok->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(className, "ELumGeneralError");
    EXPECT_EQ(message, u"boom");
    EXPECT_EQ(sender, dialog.Form);

    // The silent abort never reaches the hook.
    className.clear();
    dialog.Ok->OnClick = TNotifyEvent([](TLumPersistent*) { Abort(); });
    SendMessageW(dialog.Ok->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(className, "");

    // Nor does anything escape a timer procedure.
    TLumOwned<TLumTimer> timer(new TLumTimer(nullptr));
    timer->SetInterval(20);
    timer->OnTimer = TNotifyEvent([](TLumPersistent* s) {
        static_cast<TLumTimer*>(s)->SetEnabled(false);
        throw EConvertError(u"from the timer");
    });
    Pump(200);
    EXPECT_EQ(className, "EConvertError");
    EXPECT_EQ(sender, timer.get());
}

// An exception from a close handler must not cross the window procedure that ran it: the
// form's own for WM_CLOSE to the form, the application window's for WM_CLOSE to it, which
// closes the main form. Either way the close is abandoned and the hook sees the exception.
TEST_F(Toolkit, CloseHandlersThatRaiseReachTheHook) {
    DialogForm dialog;
    dialog.Form->Show();
    std::u16string message;
    TLumPersistent* sender = nullptr;
    Application()->SetExceptionHook([&](TLumPersistent* s, Exception& error) {
        sender = s;
        message = error.Message();
    });
    dialog.Form->OnCloseQuery = TCloseQueryEvent(
        [](TLumPersistent*, bool&) { throw ELumGeneralError(u"not closing now"); });
    SendMessageW(dialog.Form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(message, u"not closing now");
    EXPECT_EQ(sender, dialog.Form);
    EXPECT_TRUE(IsWindowVisible(dialog.Form->Handle()));

    Application()->SetMainForm(dialog.Form);
    auto noMainForm = OnScopeExit([] { Application()->SetMainForm(nullptr); });
    message.clear();
    SendMessageW(Application()->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(message, u"not closing now");
    EXPECT_EQ(sender, static_cast<TLumPersistent*>(Application()));
    EXPECT_FALSE(Application()->Terminated());
    EXPECT_TRUE(IsWindowVisible(dialog.Form->Handle()));

    dialog.Form->OnCloseQuery = TCloseQueryEvent();
    dialog.Form->OnClose =
        TCloseEvent([](TLumPersistent*, TCloseAction&) { throw EConvertError(u"from OnClose"); });
    SendMessageW(Application()->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(message, u"from OnClose");
    EXPECT_FALSE(Application()->Terminated());
}

// Sees the messages for one window and handles those of one kind itself.
struct TRecordingFilter : TLumMessageFilter {
    TRecordingFilter(HWND window, UINT handled) : Window(window), Handled(handled) {}
    bool PreTranslateMessage(MSG& msg) override {
        if (msg.hwnd != Window) {
            return false;
        }
        Seen.push_back(msg.message);
        if (WhileLooking) {
            WhileLooking();
        }
        return msg.message == Handled;
    }

    HWND Window;
    UINT Handled;
    std::vector<UINT> Seen;
    std::function<void()> WhileLooking;
};

TEST_F(Toolkit, MessageFiltersSeeMessagesBeforeDispatch) {
    DialogForm dialog;
    const UINT one = WM_USER + 1;
    const UINT two = WM_USER + 2;
    const UINT three = WM_USER + 3;
    std::vector<UINT> dispatched;
    for (UINT message : {one, two, three}) {
        dialog.Form->SetMessageHandler(message,
                                       [&, message](TMessage&) { dispatched.push_back(message); });
    }
    TRecordingFilter first(dialog.Form->Handle(), one);
    TRecordingFilter second(dialog.Form->Handle(), two);
    Application()->AddMessageFilter(&first);
    Application()->AddMessageFilter(&second);
    auto remove = OnScopeExit([&] {
        Application()->RemoveMessageFilter(&first);
        Application()->RemoveMessageFilter(&second);
    });
    for (UINT message : {one, two, three}) {
        dialog.Form->PostMessageToSelf(message);
    }
    Application()->ProcessMessages();
    // In the order added; one that handles a message ends its way.
    EXPECT_EQ(first.Seen, (std::vector<UINT>{one, two, three}));
    EXPECT_EQ(second.Seen, (std::vector<UINT>{two, three}));
    EXPECT_EQ(dispatched, (std::vector<UINT>{three}));

    // A filter may take itself and others out of the chain while it looks at a message.
    first.WhileLooking = [&] {
        Application()->RemoveMessageFilter(&first);
        Application()->RemoveMessageFilter(&second);
    };
    dialog.Form->PostMessageToSelf(two);
    dialog.Form->PostMessageToSelf(one);
    Application()->ProcessMessages();
    EXPECT_EQ(first.Seen, (std::vector<UINT>{one, two, three, two}));
    EXPECT_EQ(second.Seen, (std::vector<UINT>{two, three}));
    EXPECT_EQ(dispatched, (std::vector<UINT>{three, two, one}));
}

// Raises in the message loop for one message of one window.
struct TRaisingFilter : TLumMessageFilter {
    TRaisingFilter(HWND window, UINT message) : Window(window), Message(message) {}
    bool PreTranslateMessage(MSG& msg) override {
        if (msg.hwnd == Window && msg.message == Message) {
            throw EConvertError(u"from the loop");
        }
        return false;
    }

    HWND Window;
    UINT Message;
};

TEST_F(Toolkit, ModalStateEndsWhenTheModalLoopRaises) {
    DialogForm other;
    other.Form->Show();
    DialogForm dialog;
    bool otherDisabled = false;
    dialog.Form->OnShow = TNotifyEvent(
        [&](TLumPersistent*) { otherDisabled = !IsWindowEnabled(other.Form->Handle()); });
    TRaisingFilter raising(dialog.Form->Handle(), WM_USER + 7);
    Application()->AddMessageFilter(&raising);
    auto remove = OnScopeExit([&] { Application()->RemoveMessageFilter(&raising); });
    dialog.Form->PostMessageToSelf(WM_USER + 7);
    EXPECT_THROW(dialog.Form->ShowModal(), EConvertError);
    EXPECT_TRUE(otherDisabled);
    EXPECT_TRUE(IsWindowEnabled(other.Form->Handle()));
    EXPECT_FALSE(dialog.Form->Modal());
}

TEST_F(Toolkit, PaintingThatRaisesReachesTheHookAndLetsGoOfTheContext) {
    DialogForm dialog;
    dialog.Form->Show();
    std::u16string message;
    Application()->SetExceptionHook(
        [&](TLumPersistent*, Exception& error) { message = error.Message(); });
    bool hadContext = false;
    dialog.Form->OnPaint = TNotifyEvent([&](TLumPersistent*) {
        hadContext = dialog.Form->Canvas().HandleAllocated();
        dialog.Form->Canvas().TextOut(4, 4, u"painted");
        throw EConvertError(u"from painting");
    });
    InvalidateRect(dialog.Form->Handle(), nullptr, TRUE);
    UpdateWindow(dialog.Form->Handle());
    EXPECT_TRUE(hadContext);
    EXPECT_EQ(message, u"from painting");
    EXPECT_FALSE(dialog.Form->Canvas().HandleAllocated());
}

TEST_F(Toolkit, ModalFormReturnsItsModalResult) {
    DialogForm dialog;
    dialog.Form->HandleNeeded();
    PostMessageW(dialog.Ok->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.Form->ShowModal(), mrOk);
    EXPECT_FALSE(dialog.Form->Visible());
    EXPECT_FALSE(dialog.Form->Modal());

    // Escape presses the cancel button through the dialog keys.
    dialog.Form->SetActiveControl(dialog.Ok);
    PostMessageW(dialog.Ok->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(dialog.Form->ShowModal(), mrCancel);

    // The form sees keys before its controls when it asks to.
    std::uint16_t seen = 0;
    dialog.Form->SetKeyPreview(true);
    dialog.Form->OnKeyDown = TKeyEvent([&](TLumPersistent*, std::uint16_t& key, TShiftState) {
        seen = key;
        if (key == 'Q') {
            dialog.Form->SetModalResult(mrAbort);
        }
    });
    PostMessageW(dialog.Memo->Handle(), WM_KEYDOWN, 'Q', 0);
    EXPECT_EQ(dialog.Form->ShowModal(), mrAbort);
    EXPECT_EQ(seen, 'Q');

    dialog.Form->Show();
    try {
        dialog.Form->ShowModal();
        FAIL() << "no exception";
    } catch (const EInvalidOperation& error) {
        EXPECT_EQ(error.Message(), u"Cannot make a visible window modal");
    }
}

TEST_F(Toolkit, AnchorsFollowTheParentsSize) {
    DialogForm dialog;
    dialog.Form->Show();
    dialog.Form->SetClientWidth(400);
    dialog.Form->SetClientHeight(260);
    EXPECT_EQ(dialog.Ok->Left(), 310);
    EXPECT_EQ(dialog.Ok->Width(), 80);
    EXPECT_EQ(dialog.Cancel->Left(), 210); // anchored left and top
    EXPECT_EQ(dialog.Memo->Width(), 290);
    EXPECT_EQ(dialog.Memo->Height(), 240);
    // A control moved by hand keeps its new place relative to the new size.
    dialog.Ok->SetTop(100);
    dialog.Form->SetClientWidth(300);
    EXPECT_EQ(dialog.Ok->Left(), 210);
    EXPECT_EQ(dialog.Ok->Top(), 100);
}

TEST_F(Toolkit, MemoLinesAndTheirStream) {
    DialogForm dialog;
    dialog.Form->SetName(u"Dialog");
    dialog.Memo->SetName(u"Memo");
    dialog.Memo->Lines()->Add(u"first");
    dialog.Memo->Lines()->Add(u"second");
    dialog.Form->Show();
    dialog.Memo->Lines()->Insert(1, u"middle");
    EXPECT_EQ(dialog.Memo->Lines()->Count(), 3);
    EXPECT_EQ(dialog.Memo->Lines()->Get(1), u"middle");
    EXPECT_EQ(dialog.Memo->Text(), u"first\r\nmiddle\r\nsecond\r\n");
    EXPECT_THROW(dialog.Memo->Lines()->Get(3), EStringListError);

    TLumMemoryStream stream;
    WriteComponent(stream, *dialog.Form);
    std::string text = Text(stream.Bytes());
    EXPECT_NE(
        text.find("    Lines.Strings = (\r\n      'first'\r\n      'middle'\r\n      'second')"),
        std::string::npos)
        << text;

    TLumForm* copy = TLumCustomForm::CreateNew<TLumForm>(Application());
    stream.SetPosition(0);
    ReadComponent(stream, *copy);
    auto memo = dynamic_cast<TLumMemo*>(copy->FindComponent(u"Memo"));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->Lines()->Count(), 3);
    EXPECT_EQ(memo->Parent(), copy);
    EXPECT_EQ(memo->Lines()->Get(2), u"second");
    copy->Free();
}

TEST_F(Toolkit, CanvasMeasuresText) {
    DialogForm dialog;
    TLumCanvas& canvas = dialog.Form->Canvas();
    SIZE size = canvas.TextExtent(u"Wg");
    EXPECT_GT(size.cx, 0);
    EXPECT_GT(size.cy, 0);
    std::u16string words = u"one two three four five six seven eight nine ten";
    RECT wide{0, 0, 1000, 1000};
    RECT narrow{0, 0, 60, 1000};
    int oneLine = canvas.DrawText(words, wide, DT_CALCRECT | DT_WORDBREAK);
    int wrapped = canvas.DrawText(words, narrow, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL);
    EXPECT_EQ(oneLine, size.cy);
    EXPECT_GT(wrapped, 2 * oneLine);
}

TEST_F(Toolkit, ClipboardCarriesAnsiAndUnicodeText) {
    ClipboardSetText("report\r\nline \xE9");
    EXPECT_EQ(ClipboardText(), "report\r\nline \xE9");
    ClipboardSetWideText(u"details \u0416");
    EXPECT_EQ(ClipboardWideText(), u"details \u0416");
}

TEST_F(Toolkit, ScreenFontsAndCursor) {
    const auto& fonts = Screen()->Fonts();
    ASSERT_FALSE(fonts.empty());
    EXPECT_TRUE(Screen()->HasFont(AsciiUpperCase(fonts.front())));
    EXPECT_FALSE(Screen()->HasFont(u"No Such Font Anywhere"));
    Screen()->SetCursor(crHourGlass);
    EXPECT_EQ(Screen()->Cursor(), crHourGlass);
    Screen()->SetCursor(crDefault);
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    EXPECT_GT(Screen()->Width(), 0);
}

TEST_F(Toolkit, HintsShowTheirShortPart) {
    DialogForm dialog;
    dialog.Form->SetShowHint(true);
    dialog.Ok->SetHint(u"Accept|Closes the dialog and keeps the changes");
    dialog.Cancel->SetHint(u"Hidden hint");
    dialog.Cancel->SetShowHint(false);
    dialog.Form->Show();
    HWND tooltip = dialog.Form->HintWindow();
    ASSERT_NE(tooltip, nullptr);
    ASSERT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t text[80] = {};
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = text;
    ASSERT_TRUE(SendMessageW(tooltip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(FromWinStr(text), u"Accept");
    EXPECT_EQ(tool.uId, reinterpret_cast<UINT_PTR>(dialog.Ok->Handle()));
}

TEST_F(Toolkit, AFormWhoseHintsDoNotShowGetsATooltipOnlyOnceOneDoes) {
    DialogForm dialog;
    dialog.Form->SetShowHint(true);
    dialog.Cancel->SetHint(u"Hidden hint");
    dialog.Cancel->SetShowHint(false);
    dialog.Form->Show();
    EXPECT_EQ(dialog.Form->HintWindow(), nullptr);
    dialog.Ok->SetHint(u"Accept");
    dialog.Form->UpdateHints();
    HWND tooltip = dialog.Form->HintWindow();
    ASSERT_NE(tooltip, nullptr);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
    dialog.Ok->SetHint(u"");
    dialog.Form->UpdateHints();
    EXPECT_EQ(dialog.Form->HintWindow(), nullptr);
    EXPECT_FALSE(IsWindow(tooltip));
}
