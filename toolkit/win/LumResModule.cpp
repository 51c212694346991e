#include "toolkit/win/LumResModule.h"

#include "rstr/LumSysConst.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/res/LumStringTables.h"

#include <vector>

namespace {

struct ModuleRecord {
    HINSTANCE Instance;
    HINSTANCE ResInstance;
};

std::vector<ModuleRecord>& Records() {
    static std::vector<ModuleRecord> records;
    return records;
}

ModuleRecord* FindRecord(HINSTANCE instance) {
    for (ModuleRecord& record : Records()) {
        if (record.Instance == instance) {
            return &record;
        }
    }
    return nullptr;
}

TResStringLoader previousLoader = nullptr;

void Start() {
    previousLoader = SetResStringLoader(&LoadModuleResString);
}

void Stop() {
    SetResStringLoader(previousLoader);
    HINSTANCE exe = MainInstance();
    if (HINSTANCE resource = FindResourceHInstance(exe); resource != exe) {
        FreeLibrary(resource);
    }
    Records().clear();
}

} // namespace

TUnit LumResModuleUnit("LumResModule", &Start, &Stop);

HINSTANCE MainInstance() {
    return GetModuleHandleW(nullptr);
}

HINSTANCE FindResourceHInstance(HINSTANCE instance) {
    ModuleRecord* record = FindRecord(instance);
    return record ? record->ResInstance : instance;
}

void SetResourceHInstance(HINSTANCE instance, HINSTANCE resource) {
    if (ModuleRecord* record = FindRecord(instance)) {
        record->ResInstance = resource;
    } else {
        Records().push_back({instance, resource});
    }
}

namespace {

[[noreturn]] void RaiseStringNotFound(std::uint16_t id) {
    // The declared text, not the module's: the module just failed to supply a string.
    throw EResNotFound(Format(LumSysConst::SResNotFound.Text, AsciiToWide(std::to_string(id))));
}

} // namespace

std::u16string LoadModuleResString(const TResStringRec& rec) {
    HINSTANCE module = FindResourceHInstance(MainInstance());
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(StringBlockOf(rec.Id)), RT_STRING);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    auto block = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (!block) {
        RaiseStringNotFound(rec.Id);
    }
    std::vector<std::u16string> strings = DecodeStringBlock({block, SizeofResource(module, found)});
    if (StringIndexOf(rec.Id) >= strings.size()) {
        RaiseStringNotFound(rec.Id);
    }
    return std::move(strings[StringIndexOf(rec.Id)]);
}
