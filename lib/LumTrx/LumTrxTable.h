#pragma once
// TLumTransTable: everything translatable in one module file as rows of an in-memory table.
// A row is either a translatable property of a form resource or a resource string the name
// map names. Posting an edited row writes its text into the parsed form or the string block
// at once; Save writes every form, every string block and the marks and comments back into
// the module file. Win32 only (load and save go through the module's resources).

#include "lib/LumLX/LumLXVarArrayDataSet.h"
#include "lib/LumTrx/LumTrxFrmUtils.h"
#include "lib/LumTrx/LumTrxResourceUtils.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TField;
class TWideStringField;
class TIntegerField;
class TBooleanField;

/// TranType of a resource string's row.
inline constexpr char16_t kResourceStringType[] = u"resourcestring";

class TLumTransTable : public TLumVarArrayDataSet {
  public:
    /// Created empty and closed, with the seven field definitions ("TranID", "TranType",
    /// "StringTableIDOrPFrmProp", "RefValue", "TranValue", "Comment", "Translated").
    explicit TLumTransTable(TLumComponent* owner);
    ~TLumTransTable() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    // ---- The current row
    std::u16string TranID();
    void SetTranID(const std::u16string& id);
    std::u16string TranType();
    void SetTranType(const std::u16string& type);
    /// The text a string row's value is checked against as a format string; empty: none.
    std::u16string RefValue();
    void SetRefValue(const std::u16string& text);
    std::u16string Value();
    void SetValue(const std::u16string& text);
    std::u16string Comment();
    void SetComment(const std::u16string& text);
    bool Translated();
    void SetTranslated(bool translated);
    /// TranType is "resourcestring" (case counts).
    bool IsStringResource();
    /// A string row's string id; ELumInternalError on a form row.
    std::uint16_t StringTableID();
    void SetStringTableID(std::uint16_t id);
    /// A form row's parsed property; ELumInternalError on a string row or a row without type.
    TFrmProperty* FrmProp();
    void SetFrmProp(TFrmProperty* property);

    // ---- The table
    /// An edited row was posted since the last load or save.
    bool Modified() const { return modified_; }
    /// The module file last loaded.
    const std::u16string& FileName() const { return fileName_; }
    /// Loaded from the executable itself: values and marks cannot be edited or saved.
    bool ReadOnly() const { return readOnly_; }

    /// Fills the table from the module file (which may be the executable itself): one row per
    /// translatable form property and per named resource string, with the module's marks and
    /// comments; sorted by TranID, filtered on, first row current. Raises ELumInternalError
    /// when the module is not prepared, ELumGeneralError "File %s doesn't exist." when it is
    /// missing.
    void Load(const std::u16string& exeFile, const std::u16string& moduleFile);
    /// Makes the row of that TranID current (the current row itself when its TranID equals
    /// it; otherwise searched without regard to case). Answers whether there is one.
    bool LocateTranID(const std::u16string& id);
    /// Takes the translated rows of the other table (values of string rows in canonical
    /// format form), marking them translated when `mark` is set; untranslated string rows of
    /// the other table give their canonical form where it differs. Position, filtering and
    /// controls are restored, also on failure.
    void Merge(TLumTransTable& other, bool mark);
    /// Writes forms, string tables, comments ("LUM_TRX_XRC") and marks ("LUM.XRS") into the
    /// module file; with `mark`, rows whose value differs from a non-empty reference value
    /// are marked translated first. Raises ELumInternalError on a table loaded from the
    /// executable. A failure writes nothing: the file stays as it was.
    void Save(bool mark);

  protected:
    void DoAfterInsert() override;
    /// Checks a string row's value against its reference value as format strings (a mismatch
    /// raises and the row stays in edit), then, when editing, applies the row to the parsed
    /// form or the string blocks.
    void DoBeforePost() override;
    TFieldClass GetFieldClass(TFieldType type) override;
    void InternalInitFieldDefs() override;
    void AfterCreateFields() override;

  private:
    /// Filtering off and controls disabled for the length of a scope, the position kept when
    /// asked; all restored on the way out, also after a failure, when a row left in edit is
    /// cancelled first.
    class THeldView {
      public:
        THeldView(TLumTransTable& table, bool keepPosition);
        THeldView(const THeldView&) = delete;
        THeldView& operator=(const THeldView&) = delete;
        ~THeldView();

      private:
        TLumTransTable& table_;
        TBookmark position_;
    };

    /// The field, after checking that the table is open (the fields exist only then).
    template <class F> F& Bound(F* field) const;
    /// Whether a string row's reference value, when it has one, takes the value's arguments;
    /// true for a form row.
    bool Fits(const std::u16string& value);
    /// A listed row's text in the field (empty for none) and its flag, read where it is stored.
    std::u16string RowText(TRowHandle row, const TField& field);
    bool RowFlag(TRowHandle row, const TField& field);
    /// The listed row of that TranID: the one `exact` gives it, else the first one equal
    /// without regard to case; null for none.
    TRowHandle RowOfTranID(const std::u16string& id,
                           const std::unordered_map<std::u16string, TRowHandle>& exact);

    TWideStringField* tranId_ = nullptr;
    TWideStringField* tranType_ = nullptr;
    TIntegerField* stringIdOrProp_ = nullptr;
    TWideStringField* refValue_ = nullptr;
    TWideStringField* tranValue_ = nullptr;
    TWideStringField* comment_ = nullptr;
    TBooleanField* translated_ = nullptr;

    bool modified_ = false;
    std::u16string fileName_;
    std::vector<std::unique_ptr<TFrmForm>> forms_;
    std::vector<TFrmProperty*> properties_;
    std::vector<std::u16string> nameMap_;
    TStringBlockLists stringBlocks_;
    bool readOnly_ = false;
};
