#include "lib/LumTrx/LumTrxFrmUtils.h"

#include "rstr/LumRtlConsts.h"
#include "rstr/LumTrxFrmUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumShortCuts.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumParser.h"

#include <algorithm>
#include <array>

namespace {

bool Blank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && Blank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && Blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view Trim(std::string_view text) {
    return TrimRight(TrimLeft(text));
}

// Two spaces make a level; one more space does not reach the next.
int IndentLevel(std::string_view line) {
    size_t spaces = line.find_first_not_of(' ');
    if (spaces == std::string_view::npos) {
        spaces = line.size();
    }
    return static_cast<int>((spaces + 1) / 2);
}

std::string Indentation(int level) {
    return std::string(static_cast<size_t>(2 * level), ' ');
}

bool LessText(const std::u16string& a, const std::u16string& b) {
    return LumCompareStrings(a, b, false) < 0;
}

bool InSortedList(const std::vector<std::u16string>& list, std::u16string_view text) {
    std::u16string key(text);
    auto found = std::lower_bound(list.begin(), list.end(), key, &LessText);
    return found != list.end() && LumCompareStrings(*found, key, false) == 0;
}

std::vector<std::u16string> SortedList(std::vector<std::u16string> items) {
    std::stable_sort(items.begin(), items.end(), &LessText);
    return items;
}

[[noreturn]] void ParseError(const TResStringRec& text) {
    throw ELumInternalError(LoadResString(text));
}

[[noreturn]] void CollectionError(const TResStringRec& text, std::string_view detail) {
    throw Exception(Format(LoadResString(text), AnsiToWide(detail)));
}

class TFormParser {
  public:
    TFormParser(TFrmForm& form, std::vector<TFrmProperty*>* properties)
        : form_(form), properties_(properties) {}

    // Parses the object whose header is at lines[index]; `itemName` is given for a collection
    // item.
    void Object(TFrmObject& object, const std::string* itemName,
                const std::vector<std::string>& lines, size_t& index) {
        // Objects and collections nest no deeper than in a form stream, so that a corrupt text
        // cannot exhaust the stack.
        if (++depth_ > kFormMaxDepth) {
            throw ELumInternalError(LoadResString(LumRtlConsts::SStreamTooDeep));
        }
        std::string_view header = Trim(lines[index]);
        ++index;
        if (itemName) {
            if (!SameAsciiText(header, "item")) {
                throw Exception(Format(LoadResString(LumTrxFrmUtils::SCollectionItem),
                                       AnsiToWide(*itemName), AnsiToWide(header)));
            }
            object.Name = "item";
            object.Path = object.Owner->Path + "." + *itemName;
        } else {
            SplitHeader(object, header);
            object.Path = &object == &form_ ? object.Name : object.Owner->Path + "." + object.Name;
        }
        Properties(object, lines, index);
        Children(object, lines, index);
        if (index == lines.size()) {
            throw ELumInternalError(
                Format(LoadResString(LumTrxFrmUtils::SObjectNoEnding), AnsiToWide(object.Name)));
        }
        std::string_view ending = Trim(lines[index]);
        if (!SameAsciiText(ending, "end")) {
            throw ELumInternalError(Format(LoadResString(LumTrxFrmUtils::SObjectBadEnding),
                                           AnsiToWide(object.Name), AnsiToWide(ending)));
        }
        ++index;
        --depth_;
    }

  private:
    static void SplitHeader(TFrmObject& object, std::string_view header) {
        size_t space = header.find(' ');
        object.Keyword = header.substr(0, space);
        std::string_view rest =
            space == std::string_view::npos ? std::string_view() : header.substr(space + 1);
        size_t colon = rest.find(':');
        if (colon == std::string_view::npos) {
            object.ClassText = rest;
        } else {
            object.Name = TrimRight(rest.substr(0, colon));
            object.ClassText = TrimLeft(rest.substr(colon + 1));
        }
    }

    void Properties(TFrmObject& object, const std::vector<std::string>& lines, size_t& index) {
        for (;;) {
            if (index == lines.size()) {
                ParseError(LumTrxFrmUtils::SNoPropertyLines);
            }
            const std::string& line = lines[index];
            size_t equals = line.find('=');
            if (equals == std::string::npos) {
                return;
            }
            std::string name(Trim(std::string_view(line).substr(0, equals)));
            std::string value(Trim(std::string_view(line).substr(equals + 1)));
            ++index;
            while (index < lines.size() && IndentLevel(lines[index]) >= object.Level + 2) {
                value += "\r\n";
                value += lines[index];
                ++index;
            }
            auto property =
                std::make_unique<TFrmProperty>(&object, name, object.Path + "." + name, value);
            TFrmProperty& added = *object.Properties.emplace_back(std::move(property));
            if (properties_) {
                properties_->push_back(&added);
            }
            if (&object == &form_) {
                RootList(added);
            }
            if (TrimLeft(added.Value).starts_with('<')) {
                Collection(added);
            }
        }
    }

    void RootList(const TFrmProperty& property) {
        if (SameAsciiText(property.Name, "LumTranslatableProps.WideStrings")) {
            std::vector<std::u16string> paths = ParseStringListValue(property.Value);
            std::u16string prefix = AnsiToWide(form_.Name) + u".";
            for (std::u16string& path : paths) {
                path.insert(0, prefix);
            }
            form_.TranslatablePaths = SortedList(std::move(paths));
        } else if (SameAsciiText(property.Name, "LumInlineClasses.WideStrings")) {
            form_.InlineClasses = SortedList(ParseStringListValue(property.Value));
        }
    }

    void Collection(TFrmProperty& property) {
        if (property.Value == "<>") {
            return;
        }
        std::vector<std::string> lines = SplitLines(std::string_view(property.Value));
        if (lines.size() <= 1) {
            CollectionError(LumTrxFrmUtils::SCollectionLines, property.Value);
        }
        if (Trim(lines.front()) != "<") {
            CollectionError(LumTrxFrmUtils::SCollectionStart, Trim(lines.front()));
        }
        if (!SameAsciiText(Trim(lines.back()), "end>")) {
            CollectionError(LumTrxFrmUtils::SCollectionEnd, Trim(lines.back()));
        }
        lines.erase(lines.begin());
        lines.back() = "end";
        TFrmObject& holder = *property.Holder;
        size_t index = 0;
        for (int k = 0; index < lines.size(); ++k) {
            auto item = std::make_unique<TFrmObject>(&form_, &holder, holder.Level + 2);
            std::string itemName = property.Name + "[" + std::to_string(k) + "]";
            Object(*item, &itemName, lines, index);
            property.Items.push_back(std::move(item));
        }
    }

    void Children(TFrmObject& object, const std::vector<std::string>& lines, size_t& index) {
        for (;;) {
            if (index == lines.size()) {
                ParseError(LumTrxFrmUtils::SNoObjectLines);
            }
            if (SameAsciiText(Trim(lines[index]), "end")) {
                return;
            }
            // Components belong to the form, except those inside an inline frame, which belong
            // to the frame.
            TFrmObject* owner = form_.IsInlineClass(object.ClassText) ? &object : object.Owner;
            auto child = std::make_unique<TFrmObject>(&form_, owner, object.Level + 1);
            Object(*child, nullptr, lines, index);
            object.Children.push_back(std::move(child));
        }
    }

    TFrmForm& form_;
    std::vector<TFrmProperty*>* properties_;
    int depth_ = 0;
};

// ---- Value converters ----

std::u16string ReadStringLiteral(std::string_view value) {
    TLumParser parser(value);
    return parser.ReadStringValue();
}

std::string WriteStringLiteral(std::u16string_view text) {
    return FormStringLiteral(text);
}

std::u16string ReadShortCut(std::string_view value) {
    std::u16string text = AnsiToWide(value);
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (ReadIntegerText(text, negative, magnitude) != TNumberRead::Ok || magnitude > 0x7FFFFFFF) {
        throw EConvertError(Format(LoadResString(LumTrxFrmUtils::SInvalidInteger), text));
    }
    auto number = static_cast<std::int32_t>(magnitude);
    return ShortCutToText(static_cast<std::uint16_t>(negative ? -number : number));
}

std::string WriteShortCut(std::u16string_view text) {
    return std::to_string(TextToShortCut(text));
}

struct TConverter {
    const char* Name;
    std::u16string (*Read)(std::string_view value);
    std::string (*Write)(std::u16string_view text);
};

// Sorted by name, without regard to case.
constexpr std::array<TConverter, 4> kConverters{{
    {"Caption", &ReadStringLiteral, &WriteStringLiteral},
    {"Hint", &ReadStringLiteral, &WriteStringLiteral},
    {"ShortCut", &ReadShortCut, &WriteShortCut},
    {"Title.Caption", &ReadStringLiteral, &WriteStringLiteral},
}};

const TConverter& ConverterOf(const TFrmProperty& property) {
    for (const TConverter& converter : kConverters) {
        if (SameAsciiText(property.Name, converter.Name)) {
            return converter;
        }
    }
    throw ELumInternalError(
        Format(LoadResString(LumTrxFrmUtils::SNoConverter), AnsiToWide(property.Name)));
}

} // namespace

// A collection's value is rebuilt from its items, which convert for writing may have changed.
void TFrmObject::Render(std::string& text) const {
    std::string indent = Indentation(Level);
    text += indent;
    if (!Keyword.empty() || Name.empty() || !ClassText.empty()) {
        text += Keyword + " ";
        if (!Name.empty()) {
            text += Name + ": ";
        }
        text += ClassText;
    } else {
        text += Name;
    }
    text += "\r\n";
    for (const std::unique_ptr<TFrmProperty>& property : Properties) {
        if (!property->Items.empty()) {
            std::string items;
            for (const std::unique_ptr<TFrmObject>& item : property->Items) {
                item->Render(items);
            }
            property->Value = "<\r\n" + std::string(TrimRight(items)) + ">";
        }
        text += Indentation(Level + 1) + std::string(Trim(property->Name)) + " = " +
                property->Value + "\r\n";
    }
    for (const std::unique_ptr<TFrmObject>& child : Children) {
        child->Render(text);
    }
    text += indent + "end\r\n";
}

std::string TFrmObject::Render() const {
    std::string text;
    Render(text);
    return text;
}

void TFrmForm::Parse(std::string_view text, std::vector<TFrmProperty*>* properties) {
    std::vector<std::string> lines = SplitLines(text);
    if (lines.empty()) {
        ParseError(LumTrxFrmUtils::SNoPropertyLines);
    }
    size_t index = 0;
    TFormParser(*this, properties).Object(*this, nullptr, lines, index);
}

bool TFrmForm::IsTranslatable(std::string_view fullName) const {
    return TranslatablePaths && InSortedList(*TranslatablePaths, AnsiToWide(fullName));
}

bool TFrmForm::IsInlineClass(std::string_view classText) const {
    return InlineClasses && InSortedList(*InlineClasses, AnsiToWide(classText));
}

std::vector<std::u16string> ParseStringListValue(std::string_view value) {
    std::vector<std::u16string> items;
    TLumParser parser(value);
    if (parser.Token() != '(') {
        return items;
    }
    parser.NextToken();
    while (parser.Token() != ')') {
        items.push_back(parser.ReadStringValue());
    }
    return items;
}

std::u16string ConvertForReading(const TFrmProperty& property) {
    return ConverterOf(property).Read(property.Value);
}

void ConvertForWriting(TFrmProperty& property, std::u16string_view text) {
    property.Value = ConverterOf(property).Write(text);
}
