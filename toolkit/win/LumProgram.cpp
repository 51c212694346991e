#include "toolkit/win/LumProgram.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

#include <optional>

namespace {

// Runs one step; shows what escapes it (but the silent abort) and says whether it completed.
template <class Step> bool Guarded(Step step) {
    try {
        step();
        return true;
    } catch (const EAbort&) {
        return false;
    } catch (const std::exception& error) {
        ShowFatalException(error);
        return false;
    }
}

} // namespace

void ShowFatalException(const std::exception& error) {
    auto lumError = dynamic_cast<const Exception*>(&error);
    std::u16string text = lumError ? lumError->Message() : Utf8ToWide(error.what());
    std::u16string caption = lumError ? AsciiToWide(lumError->ClassName()) : u"Error";
    MessageBoxW(nullptr, WinStr(text), WinStr(caption), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

int RunProgram(std::span<TUnit* const> units, void (*mainBlock)()) {
    std::optional<TUnitSequence> sequence;
    bool ok = Guarded([&] { sequence.emplace(units); });
    if (!ok) {
        return 1;
    }
    ok = Guarded(mainBlock);
    ok = Guarded([&] { sequence->Stop(); }) && ok;
    return ok ? 0 : 1;
}
