#include "toolkit/ui/LumScreen.h"

#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/ui/LumGraphics.h"

#include <algorithm>
#include <exception>

namespace {

TLumScreen* screen = nullptr;

// The fonts found, and a failure to raise once the system's enumeration is over: nothing may
// unwind through the system's code.
struct FontList {
    std::vector<std::u16string>* Names;
    std::exception_ptr Failure;
};

int CALLBACK CollectFont(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM data) {
    auto* fonts = reinterpret_cast<FontList*>(data);
    try {
        std::u16string name = FromWinStr(font->lfFaceName);
        // Vertical variants ("@Name") are no screen fonts of their own.
        if (!name.empty() && name[0] != u'@') {
            fonts->Names->push_back(name);
        }
        return 1;
    } catch (...) {
        fonts->Failure = std::current_exception();
        return 0;
    }
}

void Start() {
    screen = new TLumScreen();
}

void Stop() {
    delete screen;
    screen = nullptr;
}

} // namespace

TUnit LumScreenUnit("LumScreen", &Start, &Stop);

TLumScreen* Screen() {
    return screen;
}

TLumWinControl* TLumScreen::ActiveControl() const {
    return TLumWinControl::FindControl(GetFocus());
}

TLumCustomForm* TLumScreen::ActiveForm() const {
    return dynamic_cast<TLumCustomForm*>(TLumWinControl::FindControl(GetActiveWindow()));
}

const std::vector<std::u16string>& TLumScreen::Fonts() {
    if (fonts_.empty()) {
        FontList found{&fonts_, nullptr};
        {
            TLumClientDC dc(nullptr);
            LOGFONTW query{};
            query.lfCharSet = DEFAULT_CHARSET;
            EnumFontFamiliesExW(dc.Handle(), &query, &CollectFont, reinterpret_cast<LPARAM>(&found),
                                0);
        }
        if (found.Failure) {
            fonts_.clear();
            std::rethrow_exception(found.Failure);
        }
        auto lessNoCase = [](const std::u16string& a, const std::u16string& b) {
            return AsciiUpperCase(a) < AsciiUpperCase(b);
        };
        std::sort(fonts_.begin(), fonts_.end(), lessNoCase);
        fonts_.erase(std::unique(fonts_.begin(), fonts_.end(),
                                 [](const std::u16string& a, const std::u16string& b) {
                                     return SameAsciiText(a, b);
                                 }),
                     fonts_.end());
    }
    return fonts_;
}

bool TLumScreen::HasFont(const std::u16string& name) {
    const auto& fonts = Fonts();
    return std::any_of(fonts.begin(), fonts.end(),
                       [&](const std::u16string& f) { return SameAsciiText(f, name); });
}
