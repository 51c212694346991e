#include "toolkit/res/LumResourceUpdateWin.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumModuleResourcesWin.h"

#include <utility>

const TResourceUpdateCalls& SystemResourceUpdateCalls() {
    static const TResourceUpdateCalls calls{&BeginUpdateResourceW, &UpdateResourceW,
                                            &EndUpdateResourceW};
    return calls;
}

TLumResourceUpdate::TLumResourceUpdate(const std::u16string& fileName, bool deleteExisting,
                                       const TResourceUpdateCalls& calls)
    : calls_(calls) {
    handle_ = calls_.Begin(WinStr(fileName), deleteExisting);
    Win32Check(handle_ != nullptr);
}

TLumResourceUpdate::~TLumResourceUpdate() {
    if (handle_) {
        calls_.End(handle_, TRUE);
    }
}

void TLumResourceUpdate::Update(const TResId& type, const TResId& name, std::uint16_t language,
                                std::span<const std::uint8_t> data) {
    // The call takes the data as not constant but only reads it.
    Win32Check(calls_.Update(handle_, ResourcePointer(type), ResourcePointer(name), language,
                             const_cast<std::uint8_t*>(data.data()),
                             static_cast<DWORD>(data.size())));
}

void TLumResourceUpdate::Delete(const TResId& type, const TResId& name, std::uint16_t language) {
    // Data null and size 0 delete the resource.
    Win32Check(
        calls_.Update(handle_, ResourcePointer(type), ResourcePointer(name), language, nullptr, 0));
}

void TLumResourceUpdate::Commit() {
    void* handle = std::exchange(handle_, nullptr);
    Win32Check(calls_.End(handle, FALSE));
}
