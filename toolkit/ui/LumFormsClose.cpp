// Closing a form and showing it modally.
#include "toolkit/ui/LumForms.h"

#include "rstr/LumForms.h"
#include "toolkit/base/LumScopeGuard.h"

bool TLumCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) {
        OnCloseQuery(this, canClose);
    }
    return canClose;
}

TCloseAction TLumCustomForm::DoClose(TCloseAction action) {
    if (OnClose) {
        OnClose(this, action);
    }
    return action;
}

void TLumCustomForm::Close() {
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery()) {
        return;
    }
    TLumApplication* application = Application();
    bool isMain = application && application->MainForm() == this;
    TCloseAction action = DoClose(isMain                                 ? TCloseAction::caFree
                                  : formStyle_ == TFormStyle::fsMDIChild ? TCloseAction::caMinimize
                                                                         : TCloseAction::caHide);
    switch (action) {
    case TCloseAction::caNone:
        return;
    case TCloseAction::caMinimize:
        SetWindowState(TWindowState::wsMinimized);
        return;
    case TCloseAction::caHide:
        if (!isMain) {
            Hide();
            return;
        }
        [[fallthrough]];
    case TCloseAction::caFree:
        if (isMain) {
            application->Terminate();
        } else {
            Release();
        }
        return;
    }
}

void TLumCustomForm::CloseModal() {
    if (!CloseQuery()) {
        modalResult_ = mrNone;
        return;
    }
    if (DoClose(TCloseAction::caHide) == TCloseAction::caNone) {
        modalResult_ = mrNone;
    }
}

void TLumCustomForm::Release() {
    Application()->QueueFree(this);
}

TModalResult TLumCustomForm::ShowModal() {
    if (Visible() || !Enabled() || modal_) {
        throw EInvalidOperation(LoadResString(LumForms::SCannotShowModal));
    }
    TLumModalState modalState(Handle());
    TRestore<bool> modal(modal_, true);
    modalResult_ = mrNone;
    Show();
    TLumApplication* application = Application();
    while (true) {
        application->HandleMessage();
        if (application->Terminated()) {
            modalResult_ = mrCancel;
        }
        if (modalResult_ != mrNone) {
            CloseModal();
            if (modalResult_ != mrNone) {
                break;
            }
        }
    }
    Hide();
    return modalResult_;
}
