#include "toolkit/persist/LumPersist.h"

#include "rstr/LumPersist.h"
#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"

#include <algorithm>

namespace {

[[noreturn]] void InvalidValue() {
    throw EReadError(LoadResString(LumRtlConsts::SInvalidPropertyValue));
}

class ComponentReader : public TLumFiler {
  public:
    ComponentReader(TLumStream& stream, TLumComponent& root) : in_(stream), root_(root) {}

    void Read() {
        in_.ReadSignature();
        TObjectHeader header = in_.ReadObjectHeader();
        // Each stream of a form's classes names the root; the last one's name stays.
        std::u16string name = AnsiToWide(header.ObjectName);
        if (!name.empty() && !SameAsciiText(name, root_.Name())) {
            root_.SetName(UniqueRootName(name));
        }
        Start(root_);
        ReadProperties(root_, root_);
        ReadChildren(root_, 1);
        ResolveFixups();
        for (TLumComponent* component : loaded_) {
            component->Loaded();
        }
    }

    void DefineProperty(const std::string& name, const std::function<void(TLumFormReader&)>& read,
                        const std::function<void(TLumFormWriter&)>&, bool) override {
        if (!handled_ && SameAsciiText(name, pending_)) {
            read(in_);
            handled_ = true;
        }
    }

  private:
    struct Fixup {
        TLumPersistent* Object;
        const TPropInfo* Property;
        std::u16string Name;
        std::u16string Component;
        std::string Path;
    };

    // A second instance of a form gets "Name_1", "Name_2", ... beside the first.
    std::u16string UniqueRootName(const std::u16string& name) const {
        TLumComponent* owner = root_.Owner();
        if (!owner || !owner->FindComponent(name)) {
            return name;
        }
        for (int n = 1;; ++n) {
            std::u16string candidate = name + u"_" + AsciiToWide(std::to_string(n));
            if (!owner->FindComponent(candidate)) {
                return candidate;
            }
        }
    }

    void Start(TLumComponent& component) {
        if (!component.IsLoading()) {
            component.BeginLoading();
            loaded_.push_back(&component);
        }
    }

    void ReadProperties(TLumPersistent& object, TLumComponent& component) {
        while (!in_.EndOfList()) {
            ReadProperty(object, component);
        }
        in_.ReadListEnd();
    }

    void ReadProperty(TLumPersistent& object, TLumComponent& component) {
        std::string path = in_.ReadPropName();
        try {
            TLumPersistent* target = &object;
            std::string_view rest = path;
            // "Font.Name": through the object properties up to the last part.
            for (size_t dot = rest.find('.'); dot != std::string_view::npos; dot = rest.find('.')) {
                const TPropInfo* holder = target->ClassType().FindProperty(rest.substr(0, dot));
                if (!holder || holder->Kind != TPropKind::Object) {
                    break;
                }
                target = holder->Object(*target);
                rest.remove_prefix(dot + 1);
            }
            const TPropInfo* property = target->ClassType().FindProperty(rest);
            if (property) {
                ReadValue(*target, *property, component, path);
                return;
            }
            pending_ = std::string(rest);
            handled_ = false;
            target->DefineProperties(*this);
            if (!handled_) {
                throw EReadError(Format(LoadResString(LumPersist::SPropertyNotFound), path));
            }
        } catch (const Exception& error) {
            throw EReadError(Format(LoadResString(LumPersist::SErrorReading), component.Name(),
                                    path, error.Message()));
        }
    }

    void ReadValue(TLumPersistent& target, const TPropInfo& property, TLumComponent& component,
                   const std::string& path) {
        TPropValue value;
        switch (property.Kind) {
        case TPropKind::Integer:
            if (in_.NextValue() == vaIdent) {
                std::string ident = in_.ReadIdent();
                auto known = property.Idents ? property.Idents->ValueOf(ident) : std::nullopt;
                if (!known) {
                    InvalidValue();
                }
                value.Int = *known;
            } else {
                value.Int = in_.ReadInt64();
            }
            break;
        case TPropKind::Float:
            value.Float = in_.ReadFloat();
            break;
        case TPropKind::Bool:
            value.Bool = in_.ReadBoolean();
            break;
        case TPropKind::Text:
            value.Text = in_.ReadString();
            break;
        case TPropKind::Enum: {
            auto known = property.Idents->ValueOf(in_.ReadIdent());
            if (!known) {
                InvalidValue();
            }
            value.Int = *known;
            break;
        }
        case TPropKind::Set:
            for (const std::string& element : in_.ReadSet()) {
                auto known = property.Idents->ValueOf(element);
                if (!known || *known < 0 || *known > 31) {
                    InvalidValue();
                }
                value.Int |= std::int64_t{1} << *known;
            }
            break;
        case TPropKind::Component: {
            std::string name = in_.ReadIdent();
            if (!SameAsciiText(name, "nil")) {
                // Resolved once every component of the stream exists.
                fixups_.push_back({&target, &property, component.Name(), AnsiToWide(name), path});
                return;
            }
            break;
        }
        case TPropKind::Event: {
            std::string name = in_.ReadIdent();
            if (!SameAsciiText(name, "nil")) {
                const TMethodInfo* method = root_.ClassType().FindMethod(name);
                if (!method) {
                    throw EReadError(Format(LoadResString(LumPersist::SMethodNotFound), name));
                }
                value.Method = method->Bind(root_);
                value.MethodName = method->Name;
            }
            break;
        }
        case TPropKind::Object:
            InvalidValue();
        }
        property.Set(target, value);
    }

    // `depth` counts the objects around the children, the root being the first: a stream
    // nested deeper than any form is corrupt and must not exhaust the stack.
    void ReadChildren(TLumComponent& context, int depth) {
        while (!in_.EndOfList()) {
            if (depth >= kFormMaxDepth) {
                throw EReadError(LoadResString(LumRtlConsts::SStreamTooDeep));
            }
            ReadChild(context, depth);
        }
        in_.ReadListEnd();
    }

    void ReadChild(TLumComponent& context, int depth) {
        TObjectHeader header = in_.ReadObjectHeader();
        std::u16string name = AnsiToWide(header.ObjectName);
        if (header.Flags & ffInline) {
            throw EReadError(Format(LoadResString(LumPersist::SInlineNotSupported), name));
        }
        TLumComponent* child = nullptr;
        if (header.Flags & ffInherited) {
            child = root_.FindComponent(name);
            if (!child) {
                throw EReadError(Format(LoadResString(LumPersist::SAncestorNotFound), name));
            }
        } else {
            const TLumClass* cls = FindComponentClass(header.ClassName);
            if (!cls || !cls->Create) {
                throw EReadError(
                    Format(LoadResString(LumPersist::SClassNotFound), header.ClassName));
            }
            child = cls->Create(&root_);
            auto freeChild = OnScopeFailure([child] { child->Free(); });
            child->SetName(name);
        }
        Start(*child);
        child->SetParentComponent(&context);
        if (const TFieldInfo* field = root_.ClassType().FindField(header.ObjectName)) {
            if (!field->Assign(root_, child)) {
                throw EReadError(
                    Format(LoadResString(LumPersist::SInvalidClassType), name, field->Name));
            }
        }
        ReadProperties(*child, *child);
        ReadChildren(*child, depth + 1);
    }

    void ResolveFixups() {
        for (const Fixup& fixup : fixups_) {
            TLumComponent* found = SameAsciiText(fixup.Component, root_.Name())
                                       ? &root_
                                       : root_.FindComponent(fixup.Component);
            if (!found || !found->ClassType().InheritsFrom(fixup.Property->RefClass())) {
                std::u16string what =
                    Format(LoadResString(LumPersist::SComponentNotFound), fixup.Component);
                throw EReadError(
                    Format(LoadResString(LumPersist::SErrorReading), fixup.Name, fixup.Path, what));
            }
            fixup.Property->Set(*fixup.Object, TPropValue::OfComponent(found));
        }
    }

    TLumFormReader in_;
    TLumComponent& root_;
    std::vector<TLumComponent*> loaded_;
    std::vector<Fixup> fixups_;
    std::string pending_;
    bool handled_ = false;
};

class ComponentWriter : public TLumFiler {
  public:
    ComponentWriter(TLumStream& stream, TLumComponent& root) : out_(stream), root_(root) {}

    void Write(TLumComponent* ancestor) {
        out_.WriteSignature();
        WriteObject(root_, ancestor, true);
    }

    void DefineProperty(const std::string& name, const std::function<void(TLumFormReader&)>&,
                        const std::function<void(TLumFormWriter&)>& write, bool hasData) override {
        if (hasData) {
            out_.WritePropName(prefix_ + name);
            write(out_);
        }
    }

    const TLumPersistent* Ancestor() const override { return ancestorObject_; }

  private:
    void WriteObject(TLumComponent& component, TLumComponent* ancestor, bool isRoot) {
        TObjectHeader header;
        header.Flags = ancestor ? ffInherited : 0;
        header.ClassName = component.ClassName();
        header.ObjectName = WideToAnsi(component.Name());
        out_.WriteObjectHeader(header);
        WriteProperties(component, ancestor, "");
        out_.WriteListEnd();
        TLumComponent* ancestorRoot = ancestorRoot_;
        if (isRoot) {
            ancestorRoot_ = ancestor;
        }
        component.GetChildren(
            [&](TLumComponent* child) {
                TLumComponent* childAncestor =
                    ancestorRoot_ ? ancestorRoot_->FindComponent(child->Name()) : nullptr;
                WriteObject(*child, childAncestor, false);
            },
            &root_);
        ancestorRoot_ = ancestorRoot;
        out_.WriteListEnd();
    }

    void WriteProperties(TLumPersistent& object, TLumPersistent* ancestor,
                         const std::string& prefix) {
        for (const TPropInfo* property : object.ClassType().AllProperties()) {
            if (property->Stored && !property->Stored(object)) {
                continue;
            }
            if (property->Kind == TPropKind::Object) {
                TLumPersistent* sub = property->Object(object);
                WriteProperties(*sub, ancestor ? property->Object(*ancestor) : nullptr,
                                prefix + property->Name + ".");
                continue;
            }
            TPropValue value = property->Get(object);
            if (ancestor) {
                if (SameAsAncestor(*property, value, property->Get(*ancestor))) {
                    continue;
                }
            } else if (property->Default &&
                       SamePropValue(property->Kind, value, *property->Default)) {
                continue;
            } else if ((property->Kind == TPropKind::Event && value.MethodName.empty()) ||
                       (property->Kind == TPropKind::Component && !value.Component)) {
                continue;
            }
            out_.WritePropName(prefix + property->Name);
            WriteValue(*property, value);
        }
        std::string savedPrefix = prefix_;
        const TLumPersistent* savedAncestor = ancestorObject_;
        prefix_ = prefix;
        ancestorObject_ = ancestor;
        object.DefineProperties(*this);
        prefix_ = savedPrefix;
        ancestorObject_ = savedAncestor;
    }

    // References compare by name: the ancestor's point into the ancestor's own components.
    static bool SameAsAncestor(const TPropInfo& property, const TPropValue& value,
                               const TPropValue& ancestorValue) {
        if (property.Kind != TPropKind::Component) {
            return SamePropValue(property.Kind, value, ancestorValue);
        }
        if (!value.Component || !ancestorValue.Component) {
            return value.Component == ancestorValue.Component;
        }
        return SameAsciiText(value.Component->Name(), ancestorValue.Component->Name());
    }

    void WriteValue(const TPropInfo& property, const TPropValue& value) {
        switch (property.Kind) {
        case TPropKind::Integer:
            if (const std::string* name =
                    property.Idents ? property.Idents->NameOf(value.Int) : nullptr) {
                out_.WriteIdent(*name);
            } else {
                out_.WriteInteger(value.Int);
            }
            break;
        case TPropKind::Float:
            out_.WriteFloat(value.Float);
            break;
        case TPropKind::Bool:
            out_.WriteBoolean(value.Bool);
            break;
        case TPropKind::Text:
            out_.WriteString(value.Text);
            break;
        case TPropKind::Enum:
            out_.WriteIdent(*property.Idents->NameOf(value.Int));
            break;
        case TPropKind::Set: {
            std::vector<std::string> elements;
            for (const auto& [name, bit] : property.Idents->Items()) {
                if (value.Int & (std::int64_t{1} << bit)) {
                    elements.push_back(name);
                }
            }
            out_.WriteSet(elements);
            break;
        }
        case TPropKind::Component:
            out_.WriteIdent(value.Component ? WideToAnsi(value.Component->Name()) : "nil");
            break;
        case TPropKind::Event:
            out_.WriteIdent(value.MethodName.empty() ? "nil" : value.MethodName);
            break;
        case TPropKind::Object:
            break;
        }
    }

    TLumFormWriter out_;
    TLumComponent& root_;
    TLumComponent* ancestorRoot_ = nullptr;
    const TLumPersistent* ancestorObject_ = nullptr;
    std::string prefix_;
};

} // namespace

void ReadComponent(TLumStream& stream, TLumComponent& root) {
    ComponentReader(stream, root).Read();
}

void WriteComponent(TLumStream& stream, TLumComponent& root, TLumComponent* ancestor) {
    ComponentWriter(stream, root).Write(ancestor);
}
