#include "toolkit/persist/LumComponents.h"

#include "rstr/LumComponents.h"
#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <map>

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
    return out;
}

std::map<std::string, const TLumClass*>& Registry() {
    static std::map<std::string, const TLumClass*> registry;
    return registry;
}

template <class T> void EraseValue(std::vector<T*>& list, T* value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

} // namespace

const std::string* TLumIdentTable::NameOf(std::int64_t value) const {
    for (const auto& [name, v] : items_) {
        if (v == value) {
            return &name;
        }
    }
    return nullptr;
}

std::optional<std::int64_t> TLumIdentTable::ValueOf(std::string_view ident) const {
    for (const auto& [name, v] : items_) {
        if (SameAsciiText(name, ident)) {
            return v;
        }
    }
    return std::nullopt;
}

bool SamePropValue(TPropKind kind, const TPropValue& a, const TPropValue& b) {
    switch (kind) {
    case TPropKind::Integer:
    case TPropKind::Enum:
    case TPropKind::Set:
        return a.Int == b.Int;
    case TPropKind::Float:
        return a.Float == b.Float;
    case TPropKind::Bool:
        return a.Bool == b.Bool;
    case TPropKind::Text:
        return a.Text == b.Text;
    case TPropKind::Component:
        return a.Component == b.Component;
    case TPropKind::Event:
        return a.MethodName == b.MethodName;
    case TPropKind::Object:
        return false;
    }
    return false;
}

const TPropInfo* TLumClass::FindProperty(std::string_view name) const {
    for (const TLumClass* c = this; c; c = c->Parent) {
        for (const TPropInfo& p : c->Properties) {
            if (SameAsciiText(p.Name, name)) {
                return &p;
            }
        }
    }
    return nullptr;
}

const TMethodInfo* TLumClass::FindMethod(std::string_view name) const {
    for (const TLumClass* c = this; c; c = c->Parent) {
        for (const TMethodInfo& m : c->Methods) {
            if (SameAsciiText(m.Name, name)) {
                return &m;
            }
        }
    }
    return nullptr;
}

const TFieldInfo* TLumClass::FindField(std::string_view name) const {
    for (const TLumClass* c = this; c; c = c->Parent) {
        for (const TFieldInfo& f : c->Fields) {
            if (SameAsciiText(f.Name, name)) {
                return &f;
            }
        }
    }
    return nullptr;
}

bool TLumClass::InheritsFrom(const TLumClass& other) const {
    for (const TLumClass* c = this; c; c = c->Parent) {
        if (c == &other) {
            return true;
        }
    }
    return false;
}

std::vector<const TPropInfo*> TLumClass::AllProperties() const {
    std::vector<const TLumClass*> chain;
    for (const TLumClass* c = this; c; c = c->Parent) {
        chain.push_back(c);
    }
    std::vector<const TPropInfo*> all;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        for (const TPropInfo& p : (*it)->Properties) {
            all.erase(
                std::remove_if(all.begin(), all.end(),
                               [&](const TPropInfo* q) { return SameAsciiText(q->Name, p.Name); }),
                all.end());
            all.push_back(&p);
        }
    }
    return all;
}

void RegisterComponentClass(const TLumClass& cls) {
    Registry()[Lower(cls.Name)] = &cls;
}

const TLumClass* FindComponentClass(std::string_view name) {
    auto it = Registry().find(Lower(name));
    return it == Registry().end() ? nullptr : it->second;
}

void RaiseMethodMismatch(const std::string& methodName) {
    throw EReadError(Format(LoadResString(LumComponents::SInvalidMethod), methodName));
}

TLumPersistent::~TLumPersistent() = default;

const TLumClass& TLumPersistent::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumPersistent>("TLumPersistent", nullptr).Build();
    return cls;
}

void TLumPersistent::Assign(const TLumPersistent& source) {
    throw EConvertError(
        Format(LoadResString(LumComponents::SAssignError), source.ClassName(), ClassName()));
}

void TLumPersistent::DefineProperties(TLumFiler&) {}

bool IsValidIdent(std::u16string_view name) {
    auto letter = [](char16_t c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
    };
    if (name.empty() || !letter(name[0])) {
        return false;
    }
    return std::all_of(name.begin(), name.end(),
                       [&](char16_t c) { return letter(c) || (c >= u'0' && c <= u'9'); });
}

TLumComponent::TLumComponent(TLumComponent* owner) {
    if (owner) {
        owner->InsertComponent(this);
    }
}

TLumComponent::~TLumComponent() {
    state_.Include(TComponentStateFlag::csDestroying);
    // Tell whoever holds a reference to us; they drop it.
    while (!freeNotifies_.empty()) {
        TLumComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        EraseValue(other->freeNotifies_, this);
        other->Notification(this, TOperation::opRemove);
    }
    while (!components_.empty()) {
        components_.back()->Free();
    }
    if (owner_) {
        owner_->RemoveComponent(this);
    }
}

const TLumClass& TLumComponent::StaticClass() {
    static const TLumClass cls =
        // The name travels in a stream's object header, not as a property.
        TLumClassBuilder<TLumComponent>("TLumComponent", &TLumPersistent::StaticClass())
            .Prop<&TLumComponent::Tag, &TLumComponent::SetTag>("Tag", std::intptr_t{0})
            .Build();
    return cls;
}

void TLumComponent::Free() {
    BeforeDestruction();
    delete this;
}

void TLumComponent::BeforeDestruction() {
    Destroying();
}

void TLumComponent::Destroying() {
    if (state_.Contains(TComponentStateFlag::csDestroying)) {
        return;
    }
    state_.Include(TComponentStateFlag::csDestroying);
    for (TLumComponent* c : components_) {
        c->Destroying();
    }
}

TLumComponent* TLumComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) {
        throw EListError(Format(LoadResString(LumRtlConsts::SListIndexError), index));
    }
    return components_[static_cast<size_t>(index)];
}

TLumComponent* TLumComponent::FindComponent(std::u16string_view name) const {
    if (name.empty()) {
        return nullptr;
    }
    for (TLumComponent* c : components_) {
        if (SameAsciiText(c->name_, name)) {
            return c;
        }
    }
    return nullptr;
}

void TLumComponent::SetName(const std::u16string& name) {
    if (name == name_) {
        return;
    }
    if (!name.empty() && !IsValidIdent(name)) {
        throw EComponentError(Format(LoadResString(LumComponents::SInvalidName), name));
    }
    if (owner_) {
        owner_->ValidateRename(this, name_, name);
    }
    name_ = name;
}

void TLumComponent::ValidateRename(TLumComponent* component, const std::u16string&,
                                   const std::u16string& newName) {
    TLumComponent* other = FindComponent(newName);
    if (other && other != component) {
        throw EComponentError(Format(LoadResString(LumComponents::SDuplicateName), newName));
    }
}

void TLumComponent::FreeNotification(TLumComponent* other) {
    if (!other || other == this) {
        return;
    }
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end()) {
        freeNotifies_.push_back(other);
        other->freeNotifies_.push_back(this);
    }
}

void TLumComponent::RemoveFreeNotification(TLumComponent* other) {
    if (other) {
        EraseValue(freeNotifies_, other);
        EraseValue(other->freeNotifies_, this);
    }
}

void TLumComponent::InsertComponent(TLumComponent* component) {
    if (component->owner_ == this) {
        return;
    }
    if (component->owner_) {
        component->owner_->RemoveComponent(component);
    }
    if (!component->name_.empty()) {
        TLumComponent* other = FindComponent(component->name_);
        if (other) {
            throw EComponentError(
                Format(LoadResString(LumComponents::SDuplicateName), component->name_));
        }
    }
    components_.push_back(component);
    component->owner_ = this;
    Notification(component, TOperation::opInsert);
}

void TLumComponent::RemoveComponent(TLumComponent* component) {
    if (component->owner_ != this) {
        return;
    }
    Notification(component, TOperation::opRemove);
    EraseValue(components_, component);
    component->owner_ = nullptr;
}

void TLumComponent::BeginLoading() {
    state_.Include(TComponentStateFlag::csLoading);
}

void TLumComponent::GetChildren(const std::function<void(TLumComponent*)>& proc,
                                TLumComponent* root) {
    if (root != this) {
        return;
    }
    for (TLumComponent* c : components_) {
        if (!c->HasParent()) {
            proc(c);
        }
    }
}

void TLumComponent::SetParentComponent(TLumComponent*) {}

void TLumComponent::Loaded() {
    state_.Exclude(TComponentStateFlag::csLoading);
}

// Owned components hear of every insertion and removal in their owner, so that references
// between siblings are dropped when one of them goes.
void TLumComponent::Notification(TLumComponent* component, TOperation operation) {
    // A copy: a component told of a removal may drop other components of ours.
    std::vector<TLumComponent*> owned = components_;
    for (TLumComponent* c : owned) {
        if (c != component) {
            c->Notification(component, operation);
        }
    }
}
