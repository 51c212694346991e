#pragma once
// The flash message: a caption-only tool window that tells the user about long work done
// without returning to the message loop. While one is up the cursor is the hourglass; it goes
// when its owner frees it.

#include "toolkit/ui/LumForms.h"

#include <memory>
#include <string_view>

class TLumFlashForm : public TLumForm {
  public:
    /// Shows the hourglass (PushCursor) until the form is freed.
    explicit TLumFlashForm(TLumComponent* owner);
    /// Puts back the cursor from before this notice (PopCursor).
    ~TLumFlashForm() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// Makes the text the caption, widening the window to the text's extent on the window's
    /// device context when it does not fit; a notice never narrows.
    void SetMessage(std::u16string_view text);
};

/// Creates the notice from its form resource (owned by the application while the caller does
/// not free it), with no client area, shows the text and paints it at once. Free the result to
/// remove the notice; nested notices are freed in reverse order.
TLumOwned<TLumFlashForm> ShowFlashMessage(std::u16string_view text);
