#pragma once
// The report sections gathered from the running system (Win32).

#include "errors/LumExceptReport.h"
#include "toolkit/win/LumSystemWin.h"

class TLumControl;
class TLumStackInfoList;

// ---- Gathered from the system ----

/// The system section: system line, processor line (or the three "Exception during CPU Info"
/// lines when gathering failed), display line, separator.
void AppendSystemSection(TReportLines& lines);

/// The modules section, when the process's module list can be had. A module whose file or
/// headers cannot be read (moved away after loading, say) keeps its line, with "(no version
/// info)".
void AppendModulesSection(TReportLines& lines);

/// The focused-controls section for the control that had the focus, if any.
void AppendActiveControlsSection(TLumControl* control, TReportLines& lines);

/// The stack section: "Stack list, generated <capture time>", the frames of the stack (with
/// address and line offsets, without module names), its exception frames if it has any, a
/// separator; nothing without a stack.
void AppendStackSection(const TLumStackInfoList* stack, TReportLines& lines);

/// The frames of a stack without module names or offsets; nothing without a stack.
void AppendStackFrames(const TLumStackInfoList* stack, TReportLines& lines);

/// The processor as the report describes it; raises when the processor cannot be asked.
TProcessorFacts GatherProcessorFacts();
