// The flash message under Wine: a caption strip of its designed width that only grows with
// its messages, the hourglass while notices are up, nested notices freed in reverse order.
#include "lib/LumLX/LumLXFlashMsg.h"

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumLX/LumLXUtilsWin.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumPersist.h"
#include "toolkit/res/LumResourceStream.h"
#include "toolkit/ui/LumInput.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit};

int WindowWidth(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect.right - rect.left;
}

std::u16string WindowCaption(HWND window) {
    wchar_t text[512];
    int length = GetWindowTextW(window, text, 512);
    return FromWinStr(text, static_cast<size_t>(length));
}

int TextWidth(HWND window, const std::u16string& text) {
    HDC dc = GetWindowDC(window);
    SIZE size{};
    GetTextExtentPoint32W(dc, WinStr(text), static_cast<int>(text.size()), &size);
    ReleaseDC(window, dc);
    return size.cx;
}

class FlashMsg : public TUnitsTest<kUnits> {};

} // namespace

// The form as streamed in writes back its stored text: the resource holds exactly the
// designed values.
TEST_F(FlashMsg, TheFormWritesBackItsStream) {
    TLumOwned<TLumFlashForm> form(TLumCustomForm::CreateNew<TLumFlashForm>(Application()));
    ReadFormResources(*form, TLumFlashForm::StaticClass(), TLumForm::StaticClass());
    TLumMemoryStream written;
    WriteComponent(written, *form);
    TLumResourceStream stored(MainInstance(), TResId(u"TLUMFLASHFORM"), RcDataType());
    EXPECT_EQ(FormBinaryToText(written.Bytes()),
              FormBinaryToText(std::string(reinterpret_cast<const char*>(stored.Memory()),
                                           static_cast<size_t>(stored.Size()))));
    EXPECT_EQ(form->Caption(), u"LumFlashForm");
    EXPECT_EQ(form->BorderStyle(), TFormBorderStyle::bsToolWindow);
    EXPECT_TRUE(form->BorderIcons().Empty());
}

TEST_F(FlashMsg, ACaptionStripThatOnlyGrows) {
    TLumOwned<TLumFlashForm> flash = ShowFlashMessage(u"");
    HWND window = flash->Handle();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.bottom, 0);
    EXPECT_EQ(flash->ClientWidth(), 216);
    const int designed = WindowWidth(window);
    EXPECT_EQ(WindowCaption(window), u"");

    flash->SetMessage(u"Short");
    EXPECT_EQ(WindowWidth(window), designed);
    EXPECT_EQ(WindowCaption(window), u"Short");

    std::u16string longer = u"Reading Translation Info for " + std::u16string(60, u'W') + u".exe";
    ASSERT_GT(TextWidth(window, longer), designed);
    flash->SetMessage(longer);
    EXPECT_EQ(WindowWidth(window), TextWidth(window, longer));
    EXPECT_EQ(WindowCaption(window), longer);

    flash->SetMessage(u"Short again");
    EXPECT_EQ(WindowWidth(window), TextWidth(window, longer));
}

TEST_F(FlashMsg, NestedNoticesKeepTheHourglassAndPutTheCursorBack) {
    SetScreenCursor(crCross);
    TLumOwned<TLumFlashForm> outer = ShowFlashMessage(u"Updating Translation Resource (x)");
    EXPECT_EQ(ScreenCursor(), crHourGlass);
    TLumOwned<TLumFlashForm> inner = ShowFlashMessage(u"Reading Translation Info for x");
    EXPECT_EQ(ScreenCursor(), crHourGlass);
    inner.reset();
    EXPECT_EQ(ScreenCursor(), crHourGlass);
    EXPECT_TRUE(IsWindowVisible(outer->Handle()));
    outer.reset();
    EXPECT_EQ(ScreenCursor(), crCross);
    // With nothing saved, popping shows the default cursor.
    PopCursor();
    EXPECT_EQ(ScreenCursor(), crDefault);
}
