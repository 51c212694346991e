#include "toolkit/ui/LumApplication.h"

#include "rstr/LumForms.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace {

TLumApplication* application = nullptr;

// Components queued by QueueFree are freed by the application window.
constexpr UINT kFreeMessage = CM_BASE + 0x80;

std::u16string ExecutableTitle() {
    return FileNameWithoutExtension(OwnModuleFileName());
}

// The main form's close runs the form's OnCloseQuery and OnClose, and a freed component its
// OnDestroy: whatever they raise goes to the exception hook, as nothing may unwind through
// the system's code.
LRESULT CALLBACK ApplicationWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        if (msg == kFreeMessage) {
            reinterpret_cast<TLumComponent*>(lParam)->Free();
            return 0;
        }
        if (msg == WM_CLOSE && application && application->MainForm()) {
            application->MainForm()->Close();
            return 0;
        }
    } catch (...) {
        HandleCallbackException(application);
        return 0;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

// The windows a modal window disables, and a failure to raise once the system's enumeration
// is over: nothing may unwind through the system's code.
struct DisableState {
    HWND Except;
    std::vector<HWND>* Windows;
    std::exception_ptr Failure;
};

BOOL CALLBACK DisableWindow(HWND window, LPARAM data) {
    auto* state = reinterpret_cast<DisableState*>(data);
    try {
        if (window != state->Except && IsWindowVisible(window) && IsWindowEnabled(window)) {
            state->Windows->push_back(window);
            EnableWindow(window, FALSE);
        }
        return TRUE;
    } catch (...) {
        state->Failure = std::current_exception();
        return FALSE;
    }
}

void Start() {
    application = new TLumApplication(nullptr);
}

void Stop() {
    FreeAndNil(application);
}

} // namespace

TUnit LumApplicationUnit("LumApplication", &Start, &Stop);

TLumApplication* Application() {
    return application;
}

// Nothing may unwind through the system's code. The hook's own failures are shown by the
// application already; what is left (the unknown exception's text cannot be loaded, memory
// runs out) and a failure without the application can only be shown by the system.
void HandleCallbackException(TLumPersistent* sender) {
    if (application) {
        try {
            application->HandleException(sender);
            return;
        } catch (...) {
        }
    }
    MessageBoxW(nullptr, L"Unhandled exception in a window procedure", nullptr,
                MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void ShowMessage(const std::u16string& text) {
    std::u16string title = application ? application->Title() : ExecutableTitle();
    MessageBoxW(nullptr, WinStr(text), WinStr(title), MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

// ---------------------------------------------------------------------------------------------
// TLumApplication

TLumApplication::TLumApplication(TLumComponent* owner)
    : TLumComponent(owner), title_(ExecutableTitle()) {}

TLumApplication::~TLumApplication() {
    // The forms go first, while the window that owns theirs still exists.
    while (ComponentCount() > 0) {
        Components(ComponentCount() - 1)->Free();
    }
    if (handle_) {
        DestroyWindow(handle_);
    }
}

const TLumClass& TLumApplication::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumApplication>("TLumApplication", &TLumComponent::StaticClass()).Build();
    return cls;
}

HWND TLumApplication::Handle() {
    if (!handle_) {
        static bool registered = false;
        if (!registered) {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = ApplicationWndProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"TLumApplication";
            wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
            Win32Check(RegisterClassExW(&wc) != 0);
            registered = true;
        }
        // A zero-sized window: it gives the program its taskbar button and owns the forms.
        handle_ =
            CreateWindowExW(0, L"TLumApplication", WinStr(title_),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                            0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        Win32Check(handle_ != nullptr);
    }
    return handle_;
}

void TLumApplication::Initialize() {
    Handle();
}

void TLumApplication::QueueFree(TLumComponent* component) {
    Win32Check(PostMessageW(Handle(), kFreeMessage, 0, reinterpret_cast<LPARAM>(component)));
}

void TLumApplication::SetTitle(const std::u16string& title) {
    title_ = title;
    if (handle_) {
        SetWindowTextW(handle_, WinStr(title_));
    }
}

void TLumApplication::Notification(TLumComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == mainForm_) {
        mainForm_ = nullptr;
    }
    TLumComponent::Notification(component, operation);
}

void TLumApplication::Run() {
    if (mainForm_) {
        ShowWindow(Handle(), SW_SHOWNORMAL);
        mainForm_->Show();
    }
    while (!terminated_) {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(this);
        }
    }
}

void TLumApplication::Terminate() {
    terminated_ = true;
    PostQuitMessage(0);
}

bool TLumApplication::ProcessMessage(MSG& msg) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    DispatchOne(msg);
    return true;
}

void TLumApplication::AddMessageFilter(TLumMessageFilter* filter) {
    filters_.push_back(filter);
}

void TLumApplication::RemoveMessageFilter(TLumMessageFilter* filter) {
    filters_.erase(std::remove(filters_.begin(), filters_.end(), filter), filters_.end());
}

void TLumApplication::DispatchOne(MSG& msg) {
    // A filter may change the chain while it runs: each one is asked only while it is in it.
    const std::vector<TLumMessageFilter*> filters = filters_;
    for (TLumMessageFilter* filter : filters) {
        if (std::find(filters_.begin(), filters_.end(), filter) != filters_.end() &&
            filter->PreTranslateMessage(msg)) {
            return;
        }
    }
    if (FormKeys(msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

// With key preview the form sees a key before the control or the dialog keys do; then the
// dialog manager takes Tab, Enter and Escape. True when the key went no further.
bool TLumApplication::FormKeys(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) {
        return false;
    }
    TLumWinControl* control = TLumWinControl::FindControl(msg.hwnd);
    TLumCustomForm* form = control ? GetParentForm(control) : nullptr;
    if (form) {
        auto key = static_cast<std::uint16_t>(msg.wParam);
        if (!form->PreviewKeyDown(key, KeyboardShiftState())) {
            return true;
        }
        msg.wParam = key;
    }
    return form && form->HandleAllocated() && IsDialogMessageW(form->Handle(), &msg);
}

void TLumApplication::ProcessMessages() {
    MSG msg;
    while (ProcessMessage(msg)) {
    }
}

void TLumApplication::HandleMessage() {
    MSG msg;
    if (!ProcessMessage(msg)) {
        WaitMessage();
    }
}

TExceptionHook TLumApplication::SetExceptionHook(TExceptionHook hook) {
    return std::exchange(exceptionHook_, std::move(hook));
}

void TLumApplication::HandleException(TLumPersistent* sender) {
    std::exception_ptr current = std::current_exception();
    if (!current) {
        return;
    }
    // A hook that fails itself shows its own failure in the standard box; nothing leaves here.
    auto present = [&](Exception& error) {
        if (!exceptionHook_) {
            ShowException(error);
            return;
        }
        try {
            exceptionHook_(sender, error);
        } catch (const EAbort&) {
        } catch (const Exception& failure) {
            ShowException(failure);
        } catch (...) {
            ShowException(error);
        }
    };
    try {
        std::rethrow_exception(current);
    } catch (const EAbort&) {
        // The silent abort ends an operation without telling the user.
    } catch (Exception& error) {
        present(error);
    } catch (const std::exception& error) {
        Exception wrapped(Utf8ToWide(error.what()));
        present(wrapped);
    } catch (...) {
        Exception unknown(LoadResString(LumForms::SUnknownException));
        present(unknown);
    }
}

void TLumApplication::ShowException(const Exception& error) {
    HWND owner = GetActiveWindow();
    MessageBoxW(owner ? owner : handle_, WinStr(error.Message()), WinStr(title_),
                MB_OK | MB_ICONSTOP);
}

// ---------------------------------------------------------------------------------------------
// TLumModalState

TLumModalState::TLumModalState(HWND modalWindow) : previous_(GetActiveWindow()) {
    ReleaseCapture();
    auto undo = OnScopeFailure([this] { EnableAgain(); });
    DisableState state{modalWindow, &disabled_, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &DisableWindow, reinterpret_cast<LPARAM>(&state));
    if (state.Failure) {
        std::rethrow_exception(state.Failure);
    }
}

void TLumModalState::EnableAgain() {
    for (HWND window : disabled_) {
        EnableWindow(window, TRUE);
    }
}

TLumModalState::~TLumModalState() {
    EnableAgain();
    if (previous_ && IsWindow(previous_)) {
        SetActiveWindow(previous_);
    }
}
