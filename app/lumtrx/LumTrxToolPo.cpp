// The exchange of a translation module with a PO catalogue: msgctxt is the TranID, msgid the
// executable's text, msgstr the translation.

#include "app/lumtrx/LumTrxTool.h"

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumTrxPo.h"
#include "lib/LumTrx/LumTrxTable.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "rstr/LumTrxTool.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

#include <cstdio>
#include <map>
#include <vector>

namespace {

constexpr char16_t kFuzzy[] = u"fuzzy";

// What an untranslated row holds: the executable's text, a string row's in canonical format
// form as a new module has it (a text that is no sound format string, such as "100%", as it
// stands).
std::u16string UntranslatedText(const std::u16string& exeText, bool isString) {
    return isString ? CanonicalFormatStringOrText(exeText) : exeText;
}

// The catalogue's language in the form gettext's tools take ("de_DE"; "de" for a language
// without its region); empty when the system does not know it.
std::u16string PoLanguage(TLangId langId) {
    if (langId == 0) {
        return u"";
    }
    DWORD locale = MAKELCID(langId, SORT_DEFAULT);
    std::u16string language = LocaleText(locale, LOCALE_SISO639LANGNAME);
    if (language == u"???") {
        return u"";
    }
    std::u16string region = LocaleText(locale, LOCALE_SISO3166CTRYNAME);
    bool neutral = SUBLANGID(langId) == SUBLANG_NEUTRAL;
    return neutral || region == u"???" ? language : language + u"_" + region;
}

std::u16string RevisionDate() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u+0000", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute);
    return AsciiToWide(text);
}

std::vector<TPoHeaderField> CatalogueHeader(const std::u16string& exe,
                                            const std::u16string& module) {
    std::vector<TPoHeaderField> header = {
        {u"Project-Id-Version", FileNameWithoutExtension(exe)},
        {u"PO-Revision-Date", RevisionDate()},
        {u"Last-Translator", u""},
        {u"Language-Team", u""},
    };
    std::u16string language = PoLanguage(TranslationLanguage(exe, module));
    if (!language.empty()) {
        header.emplace_back(u"Language", language);
    }
    header.insert(header.end(), {{u"MIME-Version", u"1.0"},
                                 {u"Content-Type", u"text/plain; charset=UTF-8"},
                                 {u"Content-Transfer-Encoding", u"8bit"},
                                 {u"X-Generator", u"lumtrx"}});
    return header;
}

std::string ReadFileBytes(const std::u16string& file) {
    TLumFileStream stream(file, fmOpenRead);
    std::string bytes(static_cast<size_t>(stream.Size()), '\0');
    stream.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

std::u16string JoinComments(const std::vector<std::u16string>& lines) {
    // The module keeps one line per comment: an editor's lines are joined.
    std::u16string comment;
    for (const std::u16string& line : lines) {
        if (!comment.empty() && !line.empty()) {
            comment += u' ';
        }
        comment += line;
    }
    return comment;
}

// Collects the entries an import refuses, each with its line.
class TRefusals {
  public:
    explicit TRefusals(const std::u16string& file) : file_(file) {}

    void Add(int line, const char* className, const std::u16string& message) {
        lines_.push_back(file_ + u":" + AsciiToWide(std::to_string(line)) + u": " +
                         AsciiToWide(className) + u": " + message);
    }
    void Add(int line, const Exception& error) { Add(line, error.ClassName(), error.Message()); }
    bool Empty() const { return lines_.empty(); }
    const std::vector<std::u16string>& Lines() const { return lines_; }

  private:
    std::u16string file_;
    std::vector<std::u16string> lines_;
};

// Takes one entry into its row: the checks of the format strings against the msgid and, on
// posting, the table's own against the executable's text. Answers whether the row changed.
bool ImportEntry(const TPoEntry& entry, TLumTransTable& table, TLumTransTable& source,
                 TRefusals& refusals) {
    bool isString = table.IsStringResource();
    std::u16string reference;
    if (source.LocateTranID(*entry.Context)) {
        reference = source.Value();
    }
    std::u16string value = entry.Str;
    bool translated = !entry.Str.empty() && !entry.HasFlag(kFuzzy);
    if (entry.Str.empty()) {
        // An emptied msgstr takes the translation back.
        value = table.Translated() && !reference.empty() ? UntranslatedText(reference, isString)
                                                         : table.Value();
    } else if (isString) {
        try {
            CheckFormatStringsMatch(entry.Id, entry.Str);
        } catch (const ELumGeneralError& error) {
            refusals.Add(entry.StrLine, error);
            return false;
        }
    }
    std::u16string comment = JoinComments(entry.Comments);
    if (value == table.Value() && translated == table.Translated() && comment == table.Comment()) {
        return false;
    }
    table.Edit();
    if (isString && !reference.empty()) {
        table.SetRefValue(reference);
    }
    table.SetValue(value);
    table.SetTranslated(translated);
    table.SetComment(comment);
    try {
        table.Post();
    } catch (const ELumGeneralError& error) {
        table.Cancel();
        refusals.Add(entry.StrLine, error);
        return false;
    }
    return true;
}

} // namespace

void ExportPoCommand(const std::u16string& exe, const std::u16string& module,
                     const std::u16string& poFile, TToolOutput& output) {
    TLumTransTable source(nullptr);
    source.Load(exe, exe);
    TLumTransTable table(nullptr);
    table.Load(exe, module);
    TPoCatalogue catalogue;
    catalogue.Header = CatalogueHeader(exe, module);
    int leftOut = 0;
    int translated = 0;
    for (table.First(); !table.Eof(); table.Next()) {
        std::u16string id = table.TranID();
        if (!source.LocateTranID(id)) {
            ++leftOut;
            continue;
        }
        TPoEntry entry;
        entry.Context = id;
        entry.Id = source.Value();
        entry.ExtractedComments = {table.TranType()};
        if (!table.Comment().empty()) {
            entry.Comments = {table.Comment()};
        }
        std::u16string value = table.Value();
        if (table.Translated()) {
            entry.Str = value;
            ++translated;
        } else if (value != UntranslatedText(entry.Id, table.IsStringResource())) {
            // A text that is there but not confirmed: an editor shows it as needing work.
            entry.Str = value;
            entry.Flags = {kFuzzy};
        }
        catalogue.Entries.push_back(std::move(entry));
    }
    std::string text = WritePo(catalogue);
    {
        TLumFileStream file(poFile, fmCreate);
        file.WriteBuffer(text.data(), text.size());
    }
    if (leftOut != 0) {
        output.Err(Format(LoadResString(LumTrxTool::SLeftOut), leftOut));
    }
    output.Out(Format(LoadResString(LumTrxTool::SExported),
                      static_cast<int>(catalogue.Entries.size()), poFile, translated));
}

void ImportPoCommand(const std::u16string& exe, const std::u16string& module,
                     const std::u16string& poFile, TToolOutput& output) {
    TPoCatalogue catalogue;
    try {
        catalogue = ReadPo(ReadFileBytes(poFile));
    } catch (const EPoError& error) {
        throw ELumTrxRefused(poFile + u":" + AsciiToWide(std::to_string(error.Line())) + u": " +
                                 error.Message(),
                             error.ClassName());
    }
    TLumTransTable source(nullptr);
    source.Load(exe, exe);
    TLumTransTable table(nullptr);
    table.Load(exe, module);

    TRefusals refusals(poFile);
    std::map<std::u16string, int> seen;
    int changed = 0;
    for (const TPoEntry& entry : catalogue.Entries) {
        if (!entry.Context) {
            refusals.Add(entry.Line, "ELumTrxRefused", LoadResString(LumTrxTool::SNoContext));
            continue;
        }
        auto [previous, added] = seen.emplace(*entry.Context, entry.ContextLine);
        if (!added) {
            refusals.Add(entry.ContextLine, "ELumTrxRefused",
                         Format(LoadResString(LumTrxTool::STwiceInCatalogue), *entry.Context,
                                previous->second));
            continue;
        }
        if (!table.LocateTranID(*entry.Context)) {
            refusals.Add(entry.ContextLine, "ELumTrxRefused",
                         Format(LoadResString(LumTrxTool::SUnknownContext), *entry.Context));
            continue;
        }
        if (ImportEntry(entry, table, source, refusals)) {
            ++changed;
        }
    }
    if (!refusals.Empty()) {
        for (const std::u16string& line : refusals.Lines()) {
            output.Err(line);
        }
        throw ELumTrxRefused(Format(LoadResString(LumTrxTool::SNothingSaved),
                                    static_cast<int>(refusals.Lines().size())));
    }
    if (changed != 0) {
        table.Save(false);
    }
    output.Out(Format(LoadResString(LumTrxTool::SImported), changed,
                      static_cast<int>(catalogue.Entries.size()), module));
}
