#pragma once
// The report sections gathered from the running system (Win32).

#include "errors/LumExceptReport.h"

class TLumControl;

// ---- Gathered from the system ----

/// The system section: system line, processor line (or the three "Exception during CPU Info"
/// lines when gathering failed), display line, separator.
void AppendSystemSection(TReportLines& lines);

/// The modules section, when the process's module list can be had.
void AppendModulesSection(TReportLines& lines);

/// The focused-controls section for the control that had the focus, if any.
void AppendActiveControlsSection(TLumControl* control, TReportLines& lines);

/// The stack section: "Stack list, generated <capture time>", the frames of the thread's latest
/// captured stack (with address and line offsets, without module names), a separator;
/// nothing when the thread has no captured stack.
void AppendStackSection(TReportLines& lines);

/// The frames of the thread's latest captured stack without module names or offsets.
void AppendLastStackFrames(TReportLines& lines);

/// The processor as the report describes it; raises when the processor cannot be asked.
TProcessorFacts GatherProcessorFacts();
