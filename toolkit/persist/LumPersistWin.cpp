// Form resources: the layout of each class of a form, read through the active resource module.
#include "toolkit/persist/LumPersist.h"

#include "rstr/LumSysConst.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumResourceStream.h"
#include "toolkit/win/LumResModule.h"

#include <vector>

void ReadFormResources(TLumComponent& instance, const TLumClass& cls,
                       const TLumClass& rootAncestor) {
    std::vector<const TLumClass*> chain;
    for (const TLumClass* c = &cls; c && c != &rootAncestor; c = c->Parent) {
        chain.push_back(c);
    }
    HINSTANCE module = FindResourceHInstance(MainInstance());
    bool found = false;
    // The ancestors' layouts first; each descendant stores only its differences.
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        std::u16string name = AsciiUpperCase(AsciiToWide((*it)->Name));
        if (!FindResourceW(module, WinStr(name), MAKEINTRESOURCEW(10))) {
            continue;
        }
        TLumResourceStream stream(module, TResId(std::u16string_view(name)), RcDataType());
        ReadComponent(stream, instance);
        found = true;
    }
    if (!found) {
        throw EResNotFound(Format(LoadResString(LumSysConst::SResNotFound), AsciiToWide(cls.Name)));
    }
}
