#include "lib/LumTrx/LumTrxForms.h"

#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"

#include <vector>

// ---------------------------------------------------------------------------------------------
// TLumTrxStringList

TLumTrxStringList::TLumTrxStringList() {
    SetSorted(true);
    SetDuplicates(dupIgnore);
    SetCaseSensitive(false);
}

const TLumClass& TLumTrxStringList::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumTrxStringList>("TLumTrxStringList", &TLumPersistent::StaticClass())
            .Build();
    return cls;
}

namespace {

std::vector<std::u16string> StringsOf(const TLumStringList& list) {
    std::vector<std::u16string> strings;
    for (int i = 0; i < list.Count(); ++i) {
        strings.push_back(list.Strings(i));
    }
    return strings;
}

bool SameStrings(const TLumStringList& a, const TLumStringList& b) {
    return StringsOf(a) == StringsOf(b);
}

} // namespace

void TLumTrxStringList::DefineProperties(TLumFiler& filer) {
    TLumPersistent::DefineProperties(filer);
    // An empty list is stored only to override an ancestor's list that is not empty.
    auto ancestor = dynamic_cast<const TLumStringList*>(filer.Ancestor());
    bool hasData = Count() > 0 || (ancestor && !SameStrings(*ancestor, *this));
    filer.DefineProperty(
        "WideStrings",
        [this](TLumFormReader& reader) {
            BeginUpdate();
            auto endUpdate = OnScopeExit([this] { EndUpdate(); });
            Clear();
            reader.ReadListBegin();
            while (!reader.EndOfList()) {
                Add(reader.ReadString());
            }
            reader.ReadListEnd();
        },
        [this](TLumFormWriter& writer) {
            writer.WriteListBegin();
            for (int i = 0; i < Count(); ++i) {
                writer.WriteString(Strings(i));
            }
            writer.WriteListEnd();
        },
        hasData);
}

void TLumTrxStringList::ReplaceWith(const TLumStringList& source) {
    // A copy first: the source may be this very list.
    ReplaceWith(StringsOf(source));
}

void TLumTrxStringList::ReplaceWith(std::vector<std::u16string> strings) {
    BeginUpdate();
    auto endUpdate = OnScopeExit([this] { EndUpdate(); });
    Clear();
    for (std::u16string& text : strings) {
        Add(std::move(text));
    }
}

const TLumClass& TLumTrxTranslatableProps::StaticClass() {
    static const TLumClass cls = TLumClassBuilder<TLumTrxTranslatableProps>(
                                     "TLumTrxTranslatableProps", &TLumTrxStringList::StaticClass())
                                     .Build();
    return cls;
}

const TLumClass& TLumTrxInlineClasses::StaticClass() {
    static const TLumClass cls = TLumClassBuilder<TLumTrxInlineClasses>(
                                     "TLumTrxInlineClasses", &TLumTrxStringList::StaticClass())
                                     .Build();
    return cls;
}

// ---------------------------------------------------------------------------------------------
// TLumTrxForm

const TLumClass& TLumTrxForm::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumTrxForm>("TLumTrxForm", &TLumTrxFormBase::StaticClass())
            .Object<&TLumTrxForm::LumTranslatableProps>("LumTranslatableProps")
            .Object<&TLumTrxForm::LumInlineClasses>("LumInlineClasses")
            .Build();
    return cls;
}

void TLumTrxForm::SetLumTranslatableProps(const TLumStringList& props) {
    translatableProps_.ReplaceWith(props);
}

void TLumTrxForm::SetLumInlineClasses(const TLumStringList& classes) {
    inlineClasses_.ReplaceWith(classes);
}

HRESULT STDMETHODCALLTYPE TLumTrxForm::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    if (IsEqualGUID(iid, IID_ILumTrxForm) || IsEqualGUID(iid, __uuidof(IUnknown))) {
        *object = static_cast<ILumTrxForm*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

void TLumTrxForm::ValidateRename(TLumComponent* component, const std::u16string& currentName,
                                 const std::u16string& newName) {
    TLumTrxFormBase::ValidateRename(component, currentName, newName);
    if (currentName.empty() || newName.empty()) {
        return;
    }
    std::vector<std::u16string> entries = StringsOf(translatableProps_);
    for (std::u16string& entry : entries) {
        size_t dot = entry.rfind(u'.');
        if (dot != std::u16string::npos &&
            LumCompareStrings(std::u16string_view(entry).substr(0, dot), currentName, false) == 0) {
            entry = newName + entry.substr(dot);
        }
    }
    translatableProps_.ReplaceWith(std::move(entries));
}
