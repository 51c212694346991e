#include "app/lumtrx/LumTrxTool.h"

#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "lib/LumTrx/LumTrxTable.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "rstr/LumTrxTool.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

#include <optional>
#include <vector>

namespace {

// The command line after the command's name: positional arguments and the two options.
struct TToolArgs {
    std::vector<std::u16string> Positional;
    std::optional<std::u16string> Comment;
    std::optional<std::u16string> Exe;
};

// Refused arguments, answered with the usage text too.
class EWrongArguments : public ELumTrxRefused {
  public:
    using ELumTrxRefused::ELumTrxRefused;
};

[[noreturn]] void WrongArguments(const std::u16string& command) {
    throw EWrongArguments(Format(LoadResString(LumTrxTool::SWrongArguments), command));
}

TToolArgs ParseArgs(std::span<const std::u16string> args, const std::u16string& command) {
    TToolArgs parsed;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (options && arg == u"--") {
            options = false;
        } else if (options && (arg == u"--comment" || arg == u"--exe")) {
            std::optional<std::u16string>& target = arg == u"--exe" ? parsed.Exe : parsed.Comment;
            if (i + 1 == args.size() || target) {
                WrongArguments(command);
            }
            target = args[++i];
        } else if (options && arg.starts_with(u"--")) {
            WrongArguments(command);
        } else {
            parsed.Positional.push_back(arg);
        }
    }
    return parsed;
}

// Names as the system completes them, so that a module and its executable compare as the
// runtime compares them whatever folder the tool was started in.
std::u16string FullPath(const std::u16string& path) {
    wchar_t buffer[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(WinStr(path), std::size(buffer), buffer, nullptr);
    if (length == 0 || length >= std::size(buffer)) {
        return path;
    }
    return FromWinStr(buffer, length);
}

// The executable of a module: beside it, with its name and ".exe".
std::u16string ExecutableOf(const std::u16string& module, const TToolArgs& args) {
    if (args.Exe) {
        return FullPath(*args.Exe);
    }
    std::u16string folder = PathFolder(module);
    std::u16string name = FileNameWithoutExtension(module) + u".exe";
    return folder.empty() ? FullPath(name) : IncludeTrailingBackslash(folder) + name;
}

// Posts the row being edited; what the table's checks refuse (a format string that does not
// match its source) is refused input, reported with the class that refused it.
void PostEdit(TLumTransTable& table) {
    try {
        table.Post();
    } catch (const ELumGeneralError& error) {
        table.Cancel();
        throw ELumTrxRefused(error.Message(), error.ClassName());
    }
}

void RequireOneLine(const std::u16string& comment) {
    if (comment.find_first_of(u"\r\n") != std::u16string::npos) {
        throw ELumTrxRefused(LoadResString(LumTrxTool::SCommentLineBreak));
    }
}

void WriteUsage(TToolOutput& output, bool toErr) {
    for (const std::u16string& line : SplitLines(LoadResString(LumTrxTool::SUsage))) {
        toErr ? output.Err(line) : output.Out(line);
    }
}

int Dispatch(std::span<const std::u16string> all, TToolOutput& output) {
    const std::u16string& command = all[0];
    TToolArgs args = ParseArgs(all.subspan(1), command);
    const std::vector<std::u16string>& p = args.Positional;
    auto require = [&](size_t count, bool options) {
        if (p.size() != count || (!options && (args.Exe || args.Comment))) {
            WrongArguments(command);
        }
    };
    if (command == u"create") {
        require(2, false);
        output.Out(CreateCommand(FullPath(p[0]), p[1]));
    } else if (command == u"list") {
        require(1, true);
        if (args.Comment) {
            WrongArguments(command);
        }
        std::u16string module = FullPath(p[0]);
        ListCommand(ExecutableOf(module, args), module, output);
    } else if (command == u"set") {
        require(3, true);
        std::u16string module = FullPath(p[0]);
        SetCommand(ExecutableOf(module, args), module, p[1], p[2],
                   args.Comment ? &*args.Comment : nullptr);
    } else if (command == u"update") {
        require(2, false);
        UpdateCommand(FullPath(p[0]), FullPath(p[1]));
    } else if (command == u"export-po" || command == u"import-po") {
        require(3, false);
        auto run = command == u"export-po" ? &ExportPoCommand : &ImportPoCommand;
        run(FullPath(p[0]), FullPath(p[1]), FullPath(p[2]), output);
    } else if (command == u"--help" || command == u"help") {
        WriteUsage(output, false);
    } else {
        throw ELumTrxRefused(Format(LoadResString(LumTrxTool::SUnknownCommand), command));
    }
    return teDone;
}

void WriteError(TToolOutput& output, const char* className, const std::u16string& message) {
    output.Err(AsciiToWide(className) + u": " + message);
}

} // namespace

int RunLumTrx(std::span<const std::u16string> args, TToolOutput& output) {
    if (args.empty()) {
        WriteUsage(output, true);
        return teRefused;
    }
    try {
        return Dispatch(args, output);
    } catch (const EWrongArguments& error) {
        WriteError(output, error.ClassName(), error.Message());
        WriteUsage(output, true);
        return teRefused;
    } catch (const ELumTrxRefused& error) {
        WriteError(output, error.ClassName(), error.Message());
        return teRefused;
    } catch (const Exception& error) {
        WriteError(output, error.ClassName(), error.Message());
        return teFailed;
    } catch (const std::exception& error) {
        WriteError(output, "std::exception", Utf8ToWide(error.what()));
        return teFailed;
    }
}

std::u16string CreateCommand(const std::u16string& exe, const std::u16string& language) {
    TLangId langId = TrxLangs().LangIdOfExt(language);
    if (langId == 0) {
        throw ELumTrxRefused(Format(LoadResString(LumTrxTool::SUnknownLanguage), language));
    }
    return CreateTranslation(exe, langId);
}

std::u16string ListField(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
        case u'\\':
            out += u"\\\\";
            break;
        case u'\t':
            out += u"\\t";
            break;
        case u'\r':
            out += u"\\r";
            break;
        case u'\n':
            out += u"\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void ListCommand(const std::u16string& exe, const std::u16string& module, TToolOutput& output) {
    TLumTransTable table(nullptr);
    table.Load(exe, module);
    for (table.First(); !table.Eof(); table.Next()) {
        output.Out(ListField(table.TranID()) + u'\t' + ListField(table.TranType()) + u'\t' +
                   (table.Translated() ? u"true" : u"false") + u'\t' + ListField(table.Value()) +
                   u'\t' + ListField(table.Comment()));
    }
}

void SetCommand(const std::u16string& exe, const std::u16string& module,
                const std::u16string& tranId, const std::u16string& text,
                const std::u16string* comment) {
    if (comment) {
        RequireOneLine(*comment);
    }
    TLumTransTable table(nullptr);
    table.Load(exe, module);
    if (!table.LocateTranID(tranId)) {
        throw ELumTrxRefused(Format(LoadResString(LumTrxTool::SUnknownTranID), tranId));
    }
    // A module keeps no reference text: the executable's is the one a translation must match.
    std::u16string reference;
    if (table.IsStringResource()) {
        TLumTransTable source(nullptr);
        source.Load(exe, exe);
        if (!source.LocateTranID(tranId)) {
            throw ELumTrxRefused(Format(LoadResString(LumTrxTool::SNotInExecutable), tranId, exe));
        }
        reference = source.Value();
    }
    table.Edit();
    if (!reference.empty()) {
        table.SetRefValue(reference);
    }
    table.SetValue(text);
    table.SetTranslated(true);
    if (comment) {
        table.SetComment(*comment);
    }
    PostEdit(table);
    table.Save(false);
}

void UpdateCommand(const std::u16string& exe, const std::u16string& module) {
    UpdateTranslation(exe, module);
}
