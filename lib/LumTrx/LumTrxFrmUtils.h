#pragma once
// The form text model of translation modules: a form's text parsed into a tree of objects and
// properties that renders back into exactly the same text. Values stay the text that follows
// "=" (with its continuation lines); only collections are parsed further, into item objects.
// The translatable properties' values are read and written through value converters.
// Loading forms from a module and writing them back are in LumTrxFrmUtilsWin.h.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TFrmForm;
class TFrmObject;

class TFrmProperty {
  public:
    TFrmProperty(TFrmObject* holder, std::string name, std::string fullName, std::string value)
        : Holder(holder), FullName(std::move(fullName)), Name(std::move(name)),
          Value(std::move(value)) {}

    /// The object whose property line this is.
    TFrmObject* Holder;
    /// A collection's items; empty for every other value and for the empty collection "<>".
    std::vector<std::unique_ptr<TFrmObject>> Items;
    /// The holder's path, ".", and Name.
    std::string FullName;
    /// The name as written; it may be dotted ("Font.Name", "Title.Caption").
    std::string Name;
    /// The value's text: its first part, then CR LF and each continuation line as it stands.
    std::string Value;
};

class TFrmObject {
  public:
    TFrmObject(TFrmForm* form, TFrmObject* owner, int level)
        : Form(form), Owner(owner), Level(level) {}
    virtual ~TFrmObject() = default;
    TFrmObject(const TFrmObject&) = delete;
    TFrmObject& operator=(const TFrmObject&) = delete;

    /// The root of the tree.
    TFrmForm* Form;
    /// The object whose path prefixes this one's; the root is its own owner.
    TFrmObject* Owner;
    /// The indent level of the header line.
    int Level;
    /// The root's Name; an object's owner's path, ".", and its Name; a collection item's holder's
    /// path, ".", the property's name and "[index]".
    std::string Path;
    /// "object", "inherited", "inline"; empty for a collection item.
    std::string Keyword;
    /// The name; "item" for a collection item.
    std::string Name;
    /// The class with whatever follows it on the header line; empty for a collection item.
    std::string ClassText;
    std::vector<std::unique_ptr<TFrmProperty>> Properties;
    std::vector<std::unique_ptr<TFrmObject>> Children;

    /// Appends the text of this object and everything below it.
    void Render(std::string& text) const;
    std::string Render() const;
};

class TFrmForm : public TFrmObject {
  public:
    TFrmForm() : TFrmObject(this, this, 0) {}

    /// Parses the form text (lines ended by CR LF, LF or CR) into this empty form; every
    /// property, collection items' too, is also appended to `properties` when given, in text
    /// order. A text that breaks the grammar raises ELumInternalError "Form parse error: ..."
    /// or, for collections, Exception with the problem.
    void Parse(std::string_view text, std::vector<TFrmProperty*>* properties = nullptr);

    /// The root's "LumTranslatableProps.WideStrings" items, each prefixed with the root's Name
    /// and ".", sorted without regard to case; none when the root has no such property.
    std::optional<std::vector<std::u16string>> TranslatablePaths;
    /// The root's "LumInlineClasses.WideStrings" items, sorted without regard to case; none
    /// when the root has no such property.
    std::optional<std::vector<std::u16string>> InlineClasses;

    /// Whether the full name is one of the translatable paths, without regard to case.
    bool IsTranslatable(std::string_view fullName) const;
    /// Whether the class text is one of the inline classes, without regard to case.
    bool IsInlineClass(std::string_view classText) const;
};

/// The property's value as display text, by the converter of its name (looked up without
/// regard to case): the string of a string literal ("Caption", "Title.Caption", "Hint") or a
/// shortcut's text ("ShortCut"). A name without converter raises ELumInternalError "Property
/// can not be converted for : " and the name; a value that does not read raises the reader's
/// error (EParserError, EConvertError).
std::u16string ConvertForReading(const TFrmProperty& property);

/// Makes the display text the property's value, by the same converters; raises as
/// ConvertForReading. A later render of the form emits the new value.
void ConvertForWriting(TFrmProperty& property, std::u16string_view text);

/// The items of a string-list value, "(" string literals ")"; none when the value does not
/// start with "(".
std::vector<std::u16string> ParseStringListValue(std::string_view value);
