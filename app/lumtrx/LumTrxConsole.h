#pragma once
// The tool's standard output and error. A console gets the text through the wide console
// calls, so every character shows whatever the console's code page; a file or pipe gets UTF-8
// with CR LF line ends, the form of the PO files the tool writes.

#include "app/lumtrx/LumTrxTool.h"

#include <string>

class TConsoleOutput : public TToolOutput {
  public:
    TConsoleOutput();
    /// Writes what is still buffered.
    ~TConsoleOutput() override;

    void Out(std::u16string_view line) override;
    void Err(std::u16string_view line) override;

  private:
    struct TStream {
        void* Handle = nullptr;
        bool Console = false;
        std::string Pending;
    };
    static void Write(TStream& stream, std::u16string_view line);
    static void Flush(TStream& stream);

    TStream out_;
    TStream err_;
};
