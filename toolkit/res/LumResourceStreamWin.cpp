// Resources of a loaded module through the Win32 resource API.
#include "toolkit/res/LumResourceStream.h"

#include "rstr/LumRtlConsts.h"
#include "rstr/LumSysConst.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumModuleResourcesWin.h"

TLumResourceStream::TLumResourceStream(HINSTANCE__* instance, const TResId& name,
                                       const TResId& type) {
    // FindResourceW compares text names in upper case, so any case finds the resource.
    HRSRC found = FindResourceW(instance, ResourcePointer(name), ResourcePointer(type));
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const void* memory = loaded ? LockResource(loaded) : nullptr;
    if (!memory) {
        throw EResNotFound(Format(LoadResString(LumSysConst::SResNotFound), name.Display()));
    }
    // A loaded resource is part of the module's image: there is nothing to release.
    SetPointer(static_cast<const std::uint8_t*>(memory), SizeofResource(instance, found));
}

TLumResourceStream::TLumResourceStream(HINSTANCE__* instance, std::uint16_t id, const TResId& type)
    : TLumResourceStream(instance, TResId(id), type) {}

size_t TLumResourceStream::Write(const void*, size_t) {
    throw EStreamError(LoadResString(LumRtlConsts::SCantWriteResourceStream));
}

void TLumResourceStream::SetSize(std::int64_t) {
    throw EStreamError(LoadResString(LumRtlConsts::SCantWriteResourceStream));
}
