#pragma once
// The translatable form: the base of every form whose texts a translation module supplies.
// Its layout comes from the active resource module like every form's, and it carries the two
// lists that translation tools read out of its form resource: the properties a translator may
// change, and the classes of the frames embedded in it.

#include "lib/LumLX/LumLXForms.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumWin.h"

#include <unknwn.h>

#include <string>
#include <vector>

/// The form class the translatable form extends.
using TLumTrxFormBase = TLumFormLX;

/// A sorted list of names, without duplicates, compared without regard to case, that a form
/// stores as "WideStrings": a list of its strings in sorted order.
class TLumTrxStringList : public TLumPersistent, public TLumStringList {
  public:
    TLumTrxStringList();

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// "WideStrings", written when the list has a string, or when it is empty and the
    /// ancestor's list is not. Reading replaces the strings; an item that is not a string
    /// raises the reader's error.
    void DefineProperties(TLumFiler& filer) override;

    /// Replaces the strings by those of `source` under one update.
    void ReplaceWith(const TLumStringList& source);
    void ReplaceWith(std::vector<std::u16string> strings);
};

/// Entries: "Caption" for a property of the form, "Button1.Caption" or "Button1.Font.Name" for
/// one of its components.
class TLumTrxTranslatableProps : public TLumTrxStringList {
  public:
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
};

/// Entries: class names of inline frames, spelled as in the form text.
class TLumTrxInlineClasses : public TLumTrxStringList {
  public:
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
};

/// What tools that work on forms ask a translatable form for. Its reference counting is the
/// component's: none.
class ILumTrxForm : public IUnknown {
  public:
    virtual TLumTrxTranslatableProps* STDMETHODCALLTYPE GetTranslatableProps() = 0;
    virtual TLumTrxInlineClasses* STDMETHODCALLTYPE GetInlineClasses() = 0;
};

/// {4333CDA8-D21F-4701-99DC-CD8447E53BF2}
inline constexpr GUID IID_ILumTrxForm = {
    0x4333CDA8, 0xD21F, 0x4701, {0x99, 0xDC, 0xCD, 0x84, 0x47, 0xE5, 0x3B, 0xF2}};

/// The two lists, in a base of their own so that they exist before the form's layout is read
/// and outlive the form's own destruction.
class TLumTrxFormLists {
  protected:
    TLumTrxTranslatableProps translatableProps_;
    TLumTrxInlineClasses inlineClasses_;
};

class TLumTrxForm : private TLumTrxFormLists, public TLumTrxFormBase, public ILumTrxForm {
  public:
    explicit TLumTrxForm(TLumComponent* owner) : TLumTrxFormBase(owner) {}

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// Creates a form of class T from the form resources of its classes below TLumTrxForm,
    /// looked up through the active resource module, so a translated form is translated from
    /// the start. None of them having a resource raises EResNotFound "Resource %s not found".
    template <class T> static T* Create(TLumComponent* owner) {
        return TLumCustomForm::Create<T>(owner, &TLumTrxForm::StaticClass());
    }

    TLumTrxTranslatableProps* LumTranslatableProps() { return &translatableProps_; }
    TLumTrxInlineClasses* LumInlineClasses() { return &inlineClasses_; }
    /// Replace the lists' strings; the list objects stay.
    void SetLumTranslatableProps(const TLumStringList& props);
    void SetLumInlineClasses(const TLumStringList& classes);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(-1); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(-1); }
    TLumTrxTranslatableProps* STDMETHODCALLTYPE GetTranslatableProps() override {
        return &translatableProps_;
    }
    TLumTrxInlineClasses* STDMETHODCALLTYPE GetInlineClasses() override { return &inlineClasses_; }

  protected:
    /// After the toolkit's check, the entries of LumTranslatableProps made of the component's
    /// old name and one property name take the new name; entries of nested paths keep theirs.
    /// Nothing changes when either name is empty.
    void ValidateRename(TLumComponent* component, const std::u16string& currentName,
                        const std::u16string& newName) override;
};
