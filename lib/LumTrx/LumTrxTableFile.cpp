// Loading the table from a module file and saving it back.
#include "lib/LumTrx/LumTrxTable.h"

#include "lib/LumTrx/LumDbgUtils.h"
#include "lib/LumTrx/LumTrxFrmUtilsWin.h"
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "rstr/LumTrxTable.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/data/LumFields.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>

namespace {

constexpr char16_t kMarksName[] = u"LUM.XRS";
constexpr char16_t kCommentsName[] = u"LUM_TRX_XRC";
constexpr char16_t kNameMapName[] = u"LUM.RSM";

// TranIDs compare without regard to case.
struct TNoCaseLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
        return LumCompareStrings(a, b, false) < 0;
    }
};

// The "name=value" lines of a side resource, by name without regard to case; lines without
// "=" (the "." of an empty list) name nothing. Of names equal but for case the first counts.
// The lines come as Save writes them, sorted, so each is added after the last; a name looked
// up as it is written is found without comparing texts.
class TSideLines {
  public:
    void Add(std::u16string name, std::u16string value) {
        std::size_t count = lines_.size();
        auto line = lines_.emplace_hint(lines_.end(), std::move(name), std::move(value));
        if (lines_.size() != count) {
            exact_.emplace(line->first, line);
        }
    }

    /// The value of the line of that name, which is taken out; empty when there is none.
    std::u16string Take(const std::u16string& name) {
        auto exact = exact_.find(name);
        auto line = exact != exact_.end() ? exact->second : lines_.find(name);
        if (line == lines_.end()) {
            return {};
        }
        std::u16string value = std::move(line->second);
        exact_.erase(line->first);
        lines_.erase(line);
        return value;
    }

  private:
    using TLines = std::map<std::u16string, std::u16string, TNoCaseLess>;
    TLines lines_;
    std::unordered_map<std::u16string, TLines::iterator> exact_;
};

TSideLines ReadSideLines(HMODULE module, std::u16string_view name) {
    TSideLines lines;
    for (const std::u16string& line : SplitLines(ReadResourceText(module, name))) {
        size_t equals = line.find(u'=');
        if (equals != std::u16string::npos) {
            lines.Add(line.substr(0, equals), line.substr(equals + 1));
        }
    }
    return lines;
}

// A side resource's text: every line ended by CR LF, and "." for none.
std::u16string SideText(const std::vector<std::u16string>& lines) {
    if (lines.empty()) {
        return u".\r\n";
    }
    std::u16string text;
    for (const std::u16string& line : lines) {
        text += line;
        text += u"\r\n";
    }
    return text;
}

// The name map's lines, sorted, so that the line of an id is found by its "id=" prefix.
std::vector<std::u16string> NameMapLines(const std::u16string& file, HMODULE module) {
    std::u16string text = FileHasSection(file, "LUM.RSM") ? ReadSectionText(file, "LUM.RSM")
                                                          : ReadResourceText(module, kNameMapName);
    std::vector<std::u16string> lines = SplitLines(text);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The identifier the name map gives the string id; empty when it names none. "=" sorts after
// every digit, so the line "id=..." is the first one not below "id=".
std::u16string IdentifierOf(const std::vector<std::u16string>& nameMap, std::uint16_t id) {
    std::u16string prefix = Format(u"%d=", static_cast<int>(id));
    auto line = std::lower_bound(nameMap.begin(), nameMap.end(), prefix);
    if (line == nameMap.end() || line->compare(0, prefix.size(), prefix) != 0) {
        return {};
    }
    return line->substr(prefix.size());
}

// A new row's mark and comment, taken out of the lists: a row is translated unless its mark
// is missing, empty or "false" (in any case).
void TakeMarks(TLumTransTable& table, const std::u16string& id, TSideLines& marks,
               TSideLines& comments) {
    std::u16string mark = marks.Take(id);
    table.SetTranslated(!mark.empty() && LumCompareStrings(mark, u"false", false) != 0);
    table.SetComment(comments.Take(id));
}

} // namespace

void TLumTransTable::Load(const std::u16string& exeFile, const std::u16string& moduleFile) {
    // Looked for first: the prepared check cannot read a file that is not there.
    if (!FileExists(moduleFile)) {
        throw ELumGeneralError(Format(LoadResString(LumTrxTable::SFileMissing), moduleFile));
    }
    RequireModulePrepared(moduleFile);
    THeldView held(*this, false);
    readOnly_ = LumCompareStrings(exeFile, moduleFile, false) == 0;
    modified_ = false;
    fileName_ = moduleFile;
    // Closing discards the rows, which refer to the forms and blocks; those go too, so that
    // a load that fails half way leaves nothing of the last module for Save to write.
    Close();
    properties_.clear();
    forms_.clear();
    stringBlocks_.clear();
    nameMap_.clear();
    // Unsorted while filling: each row is posted where it is.
    SetSort(u"");
    Open();

    TScopedLibrary module = LoadDataModule(moduleFile);
    TSideLines comments = ReadSideLines(module.Get(), kCommentsName);
    TSideLines marks = ReadSideLines(module.Get(), kMarksName);
    ReadTranslationInfo(module.Get(), moduleFile, forms_, properties_);

    std::set<std::u16string, TNoCaseLess> added;
    for (TFrmProperty* property : properties_) {
        std::u16string id = AnsiToWide(property->FullName);
        std::u16string name = AnsiToWide(property->Name);
        if (!property->Holder->Form->IsTranslatable(property->FullName) ||
            LumCompareStrings(name, kResourceStringType, false) == 0 || !added.insert(id).second) {
            continue;
        }
        Append();
        SetTranID(id);
        SetTranType(name);
        SetFrmProp(property);
        SetValue(ConvertForReading(*property));
        TakeMarks(*this, id, marks, comments);
        Post();
    }

    nameMap_ = NameMapLines(moduleFile, module.Get());
    ReadStringTables(module.Get(), stringBlocks_);
    for (const TStringBlockList& block : stringBlocks_) {
        for (const TBlockString& string : block) {
            std::u16string id = IdentifierOf(nameMap_, string.Id);
            if (id.empty()) {
                continue;
            }
            Append();
            SetTranID(id);
            SetTranType(kResourceStringType);
            SetStringTableID(string.Id);
            SetValue(string.Text);
            TakeMarks(*this, id, marks, comments);
            Post();
        }
    }

    if (readOnly_) {
        tranValue_->SetReadOnly(true);
        translated_->SetReadOnly(true);
    }
    SetSort(u"TranID");
    First();
}

void TLumTransTable::Save(bool mark) {
    if (readOnly_) {
        throw ELumInternalError(Format(LoadResString(LumTrxTable::SSaveToExe), fileName_));
    }
    std::vector<std::u16string> marks;
    std::vector<std::u16string> comments;
    {
        THeldView held(*this, true);
        First();
        while (!Eof()) {
            std::u16string reference = RefValue();
            if (mark && !reference.empty() && reference != Value()) {
                Edit();
                SetTranslated(true);
                Post();
            }
            if (Translated()) {
                marks.push_back(TranID() + u"=TRUE");
            }
            std::u16string comment = Comment();
            if (!comment.empty()) {
                comments.push_back(TranID() + u"=" + comment);
            }
            Next();
        }
    }
    // Committed only when everything is written: an update that ends early is discarded, and
    // the file stays as it was.
    std::unique_ptr<TLumResourceUpdate> update = BeginResourceUpdate(fileName_, false);
    WriteForms(*update, forms_);
    WriteStringTables(*update, stringBlocks_);
    SaveRcText(*update, kCommentsName, SideText(comments));
    SaveRcText(*update, kMarksName, SideText(marks));
    update->Commit();
    modified_ = false;
}
