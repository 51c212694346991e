#pragma once
// lumtrx, the translator's tool: makes translation modules, lists and sets their texts, brings
// them up to date with the executable, and exchanges them with PO catalogues, so that modules
// can be made and edited without writing code. The commands drive TLumTransTable.

#include "toolkit/base/LumExceptions.h"

#include <span>
#include <string>
#include <string_view>

/// Where the tool writes: its results and its diagnostics (one text a line, without line end).
class TToolOutput {
  public:
    virtual ~TToolOutput() = default;
    virtual void Out(std::u16string_view line) = 0;
    virtual void Err(std::u16string_view line) = 0;
};

/// The exit codes.
enum TToolExit : int {
    teDone = 0,
    /// Input refused: bad arguments, an unknown language, TranID or msgctxt, a format string
    /// that does not match its source, a catalogue that cannot be read.
    teRefused = 1,
    /// Anything else failed (files, resources, the system).
    teFailed = 2,
};

/// Input the tool refuses; `ClassName` is that of the exception that refused it when there was
/// one (so that the message keeps its origin), else "ELumTrxRefused".
class ELumTrxRefused : public Exception {
  public:
    explicit ELumTrxRefused(std::u16string message, const char* className = "ELumTrxRefused")
        : Exception(std::move(message)), className_(className) {}
    const char* ClassName() const override { return className_; }

  private:
    const char* className_;
};

/// Runs one command (the arguments after the program's name) and answers its exit code. Every
/// failure is written to `output.Err` with its exception's class name and message; wrong
/// arguments also write the usage text. The units the table needs must be running.
int RunLumTrx(std::span<const std::u16string> args, TToolOutput& output);

/// The commands, for RunLumTrx. Each raises ELumTrxRefused for input it refuses.
std::u16string CreateCommand(const std::u16string& exe, const std::u16string& language);
void ListCommand(const std::u16string& exe, const std::u16string& module, TToolOutput& output);
void SetCommand(const std::u16string& exe, const std::u16string& module,
                const std::u16string& tranId, const std::u16string& text,
                const std::u16string* comment);
void UpdateCommand(const std::u16string& exe, const std::u16string& module);
void ExportPoCommand(const std::u16string& exe, const std::u16string& module,
                     const std::u16string& poFile, TToolOutput& output);
/// All or nothing: every entry that cannot be taken is reported with its line (as
/// "FILE:LINE: Class: message") and then the module is left as it was.
void ImportPoCommand(const std::u16string& exe, const std::u16string& module,
                     const std::u16string& poFile, TToolOutput& output);

/// A row's text on one line of the list: backslash, tab, CR and LF as \\ \t \r \n.
std::u16string ListField(std::u16string_view text);
