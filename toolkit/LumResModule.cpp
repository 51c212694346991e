#include "toolkit/LumResModule.h"

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

void Stop() {
    HINSTANCE exe = MainInstance();
    if (HINSTANCE resource = FindResourceHInstance(exe); resource != exe) {
        FreeLibrary(resource);
    }
    Records().clear();
}

} // namespace

TUnit LumResModuleUnit("LumResModule", nullptr, &Stop);

HINSTANCE MainInstance() { return GetModuleHandleW(nullptr); }

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
