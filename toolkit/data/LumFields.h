#pragma once
// Fields of a data set: the definitions a data set describes its columns with (TFieldDefs), and
// the field objects through which code reads and writes the values of the active row (TField
// and one subclass per kind of value).
//
// A field talks to its data set through a field buffer: GetData asks the data set to fill a
// buffer of the field's native type, SetData hands one over. The native type follows the data
// type:
//   ftString, ftFixedChar, ftGuid  std::string (ANSI)     ftWideString   std::u16string
//   ftSmallint                     std::int16_t           ftWord         std::uint16_t
//   ftInteger, ftAutoInc           std::int32_t           ftLargeint     std::int64_t
//   ftBoolean                      std::int16_t, 0 false  ftBCD          TCurrency
//   ftFloat, ftCurrency            double                 ftDate, ftTime, ftDateTime  double
//   ftVariant                      TLumVariant            ftInterface, ftIDispatch    TLumInterface
// Every field class fixes its data type, so the buffer a field hands over always has the type
// its data type names.
//
// The typed accessors (AsInteger, AsString, ...) convert through variants with the runtime's
// rules and raise its conversion errors (EConvertError). A null field reads as Null through
// AsVariant and as the type's zero through the others. Writing requires the data set to be in
// edit or insert mode and the field not to be read-only.

#include "toolkit/base/LumVariants.h"
#include "toolkit/persist/LumComponents.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDataSet;

/// The kinds of value a field holds.
enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftAutoInc,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid,
};

class TField : public TLumComponent {
  public:
    explicit TField(TLumComponent* owner);
    /// Leaves its data set's fields.
    ~TField() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TDataSet* DataSet() const { return dataSet_; }
    /// Moves the field to the end of the data set's fields (out of those of the data set it was
    /// in). Raises EDatabaseError when either data set is open.
    void SetDataSet(TDataSet* dataSet);

    const std::u16string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::u16string& name) { fieldName_ = name; }
    TFieldType DataType() const { return dataType_; }
    /// The 1-based number of the field's definition while its data set is open; 0 otherwise.
    int FieldNo() const { return fieldNo_; }
    /// The position in the data set's fields; -1 without data set.
    int Index() const;
    /// Characters of a text field as its definition gives them; 0 for other types.
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    /// Posting a row in which the field is null raises EDatabaseError.
    bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    /// Characters a control shows; by default the size of a text field, else the type's width.
    int DisplayWidth() const;
    void SetDisplayWidth(int width) { displayWidth_ = width; }
    /// The column title: the field name unless set.
    std::u16string DisplayLabel() const;
    void SetDisplayLabel(const std::u16string& label) { displayLabel_ = label; }

    bool IsNull() const;
    /// The value; Null when the field is null.
    TLumVariant AsVariant() const;
    /// Null or Empty make the field null; other values are converted to the field's type.
    void SetAsVariant(const TLumVariant& value);
    std::string AsString() const;
    void SetAsString(const std::string& value);
    std::u16string AsWideString() const;
    void SetAsWideString(const std::u16string& value);
    std::int32_t AsInteger() const;
    void SetAsInteger(std::int32_t value);
    std::int64_t AsLargeInt() const;
    void SetAsLargeInt(std::int64_t value);
    double AsFloat() const;
    void SetAsFloat(double value);
    TCurrency AsCurrency() const;
    void SetAsCurrency(TCurrency value);
    bool AsBoolean() const;
    void SetAsBoolean(bool value);
    /// Days since 1899-12-30.
    double AsDateTime() const;
    void SetAsDateTime(double value);
    /// Makes the field null.
    void Clear();

    /// The text a control shows. The toolkit's classes show their value through the ANSI code
    /// page; the Unicode field classes show it as stored.
    virtual std::u16string DisplayText() const;
    /// Sets the value from a control's text, through the ANSI code page unless the class is a
    /// Unicode field class.
    virtual void SetText(const std::u16string& text);

    /// Asks the data set to fill `buffer` (of the native type, or null to ask only whether
    /// there is a value); answers false when the field is null. Raises EDatabaseError without
    /// data set.
    bool GetData(void* buffer) const;
    /// Hands a buffer of the native type to the data set; null makes the field null. Raises
    /// EDatabaseError when the field is read-only or the data set not in edit or insert mode.
    void SetData(const void* buffer);

  protected:
    /// The value read through the native buffer; Null when the field is null.
    virtual TLumVariant GetValue() const = 0;
    /// Converts a value that is neither Null nor Empty to the native type and stores it.
    virtual void SetValue(const TLumVariant& value) = 0;
    virtual int DefaultDisplayWidth() const { return 10; }
    void SetFieldType(TFieldType type) { dataType_ = type; }

  private:
    friend class TDataSet;
    friend class TFieldDef;

    TDataSet& CheckDataSet() const;

    TDataSet* dataSet_ = nullptr;
    std::u16string fieldName_;
    TFieldType dataType_ = ftUnknown;
    int fieldNo_ = 0;
    int size_ = 0;
    bool required_ = false;
    bool readOnly_ = false;
    bool visible_ = true;
    int displayWidth_ = -1;
    std::u16string displayLabel_;
};

/// Names a field class to create fields of (its Create makes a TField), or null for none.
using TFieldClass = const TLumClass*;

/// A column as the data set describes it.
class TFieldDef {
  public:
    TFieldDef(std::u16string name, TFieldType type, int size, bool required, int fieldNo)
        : name_(std::move(name)), dataType_(type), size_(size), required_(required),
          fieldNo_(fieldNo) {}

    const std::u16string& Name() const { return name_; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    bool Required() const { return required_; }
    /// 1-based position among the definitions.
    int FieldNo() const { return fieldNo_; }

    /// Creates a field of the class the data set chooses for the type, owned by the data set,
    /// named, sized and required as defined, at the end of the data set's fields. Raises
    /// EDatabaseError when no class fits the type.
    TField* CreateField(TDataSet& dataSet) const;

  private:
    std::u16string name_;
    TFieldType dataType_;
    int size_;
    bool required_;
    int fieldNo_;
};

class TFieldDefs {
  public:
    /// Adds a definition at the end. Raises EDatabaseError "Field name '%s' is defined twice"
    /// when one of the name exists (names compare without regard to case).
    const TFieldDef& Add(const std::u16string& name, TFieldType type, int size = 0,
                         bool required = false);
    int Count() const { return static_cast<int>(defs_.size()); }
    /// Raises EListError outside 0 to Count() - 1.
    const TFieldDef& Items(int index) const;
    /// The definition of that name (without regard to case), or null.
    const TFieldDef* Find(std::u16string_view name) const;
    void Clear() { defs_.clear(); }

  private:
    std::vector<std::unique_ptr<TFieldDef>> defs_;
};

/// Field names compare without regard to case.
bool SameFieldName(std::u16string_view a, std::u16string_view b);

// ---- The field classes ----

/// ANSI text (ftString; ftFixedChar with FixedChar set).
class TStringField : public TField {
  public:
    explicit TStringField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
    bool FixedChar() const { return DataType() == ftFixedChar; }
    void SetFixedChar(bool fixed) { SetFieldType(fixed ? ftFixedChar : ftString); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
    int DefaultDisplayWidth() const override { return Size(); }
};

/// A GUID in its text form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
class TGuidField : public TStringField {
  public:
    explicit TGuidField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    /// Raises EConvertError "'%s' is not a valid GUID" for a text of another form.
    void SetValue(const TLumVariant& value) override;
};

/// Wide text (ftWideString), shown through the ANSI code page.
class TWideStringField : public TField {
  public:
    explicit TWideStringField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
    int DefaultDisplayWidth() const override { return Size(); }
};

/// The Unicode field class of wide text: shows and takes its text as stored.
class TLumWideStringField : public TWideStringField {
  public:
    explicit TLumWideStringField(TLumComponent* owner) : TWideStringField(owner) {}
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
    std::u16string DisplayText() const override;
    void SetText(const std::u16string& text) override;
};

/// 32-bit integers (ftInteger).
class TIntegerField : public TField {
  public:
    explicit TIntegerField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
};

/// 16-bit signed integers (ftSmallint); values out of range raise EConvertError.
class TSmallintField : public TIntegerField {
  public:
    explicit TSmallintField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
};

/// 16-bit unsigned integers (ftWord); values out of range raise EConvertError.
class TWordField : public TIntegerField {
  public:
    explicit TWordField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
};

/// Numbers the data set gives out (ftAutoInc), 32-bit.
class TAutoIncField : public TIntegerField {
  public:
    explicit TAutoIncField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
};

/// 64-bit integers (ftLargeint).
class TLargeintField : public TField {
  public:
    explicit TLargeintField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
    int DefaultDisplayWidth() const override { return 15; }
};

/// Floating point (ftFloat).
class TFloatField : public TField {
  public:
    explicit TFloatField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
};

/// Money held as floating point (ftCurrency).
class TCurrencyField : public TFloatField {
  public:
    explicit TCurrencyField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
};

/// Money held as a fixed-point amount of ten-thousandths (ftBCD).
class TBCDField : public TField {
  public:
    explicit TBCDField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
};

/// True or false (ftBoolean).
class TBooleanField : public TField {
  public:
    explicit TBooleanField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
    int DefaultDisplayWidth() const override { return 5; }
};

/// Date and time (ftDateTime): days since 1899-12-30, the fraction the time of day.
class TDateTimeField : public TField {
  public:
    explicit TDateTimeField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
    int DefaultDisplayWidth() const override { return 18; }
};

/// A date (ftDate), held as a date-time.
class TDateField : public TDateTimeField {
  public:
    explicit TDateField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
};

/// A time of day (ftTime), held as a date-time.
class TTimeField : public TDateTimeField {
  public:
    explicit TTimeField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
};

/// Any variant value (ftVariant).
class TVariantField : public TField {
  public:
    explicit TVariantField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
};

/// A reference to an interface object (ftInterface).
class TInterfaceField : public TField {
  public:
    explicit TInterfaceField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
};

/// A reference to a dispatch interface (ftIDispatch).
class TIDispatchField : public TInterfaceField {
  public:
    explicit TIDispatchField(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    TLumVariant GetValue() const override;
    void SetValue(const TLumVariant& value) override;
};
