#pragma once
// The component model: persistent objects with published properties, components with owners,
// names and free notification, and the class registry that form streaming works through.
//
// Every streamable class describes itself once in a TLumClass (its published properties,
// methods and fields, its parent class and how to create it by name). A form stream sets
// properties by name through these descriptions; nothing here depends on the stream format.

#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

class TLumPersistent;
class TLumComponent;
class TLumClass;
class TLumFormReader;
class TLumFormWriter;

/// What DefineProperties talks to while a component is read or written.
class TLumFiler {
  public:
    virtual ~TLumFiler() = default;
    /// A value the class stores itself under `name`: the reader calls `read` when the stream
    /// holds the name; the writer writes the name and calls `write` when `hasData` is true.
    virtual void DefineProperty(const std::string& name,
                                const std::function<void(TLumFormReader&)>& read,
                                const std::function<void(TLumFormWriter&)>& write,
                                bool hasData) = 0;
    /// While writing with an ancestor: the ancestor's counterpart of the object whose
    /// DefineProperties runs, so that it can leave out what equals the ancestor's. Null
    /// otherwise.
    virtual const TLumPersistent* Ancestor() const { return nullptr; }
};

/// Identifiers of an enumeration's members, a set's elements (bit i is element i), or the
/// named values an integer property also accepts (colours, character sets, cursors).
class TLumIdentTable {
  public:
    TLumIdentTable(std::initializer_list<std::pair<std::string, std::int64_t>> items)
        : items_(items) {}

    /// The identifier of a value, or null.
    const std::string* NameOf(std::int64_t value) const;
    /// The value of an identifier (compared without regard to case), or nothing.
    std::optional<std::int64_t> ValueOf(std::string_view ident) const;
    const std::vector<std::pair<std::string, std::int64_t>>& Items() const { return items_; }

  private:
    std::vector<std::pair<std::string, std::int64_t>> items_;
};

/// Enumerations and sets name their members through this trait:
///     template <> struct TLumEnumInfo<TBorderStyle> { static const TLumIdentTable& Idents(); };
template <class E> struct TLumEnumInfo;

/// A set of enumeration members, stored as a bit mask (member ordinal = bit number).
template <class E> class TLumSet {
  public:
    constexpr TLumSet() = default;
    constexpr TLumSet(std::initializer_list<E> members) {
        for (E m : members) {
            bits_ |= Bit(m);
        }
    }
    static constexpr TLumSet FromBits(std::uint32_t bits) {
        TLumSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
    constexpr TLumSet& Include(E m) {
        bits_ |= Bit(m);
        return *this;
    }
    constexpr TLumSet& Exclude(E m) {
        bits_ &= ~Bit(m);
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint32_t Bits() const { return bits_; }
    constexpr bool operator==(const TLumSet&) const = default;

  private:
    static constexpr std::uint32_t Bit(E m) { return 1u << static_cast<unsigned>(m); }
    std::uint32_t bits_ = 0;
};

/// An event: the handler and, when a stream assigned it, the published method's name (so the
/// component can be written back with the same reference).
template <class Signature> class TLumEvent;
template <class R, class... Args> class TLumEvent<R(Args...)> {
  public:
    using Function = std::function<R(Args...)>;

    TLumEvent() = default;
    TLumEvent(Function fn, std::string methodName = {})
        : fn_(std::move(fn)), method_(std::move(methodName)) {}

    explicit operator bool() const { return static_cast<bool>(fn_); }
    R operator()(Args... args) const { return fn_(std::forward<Args>(args)...); }
    const std::string& MethodName() const { return method_; }
    const Function& Handler() const { return fn_; }

  private:
    Function fn_;
    std::string method_;
};

using TNotifyEvent = TLumEvent<void(TLumPersistent* sender)>;

enum class TPropKind { Integer, Float, Bool, Text, Enum, Set, Object, Component, Event };

/// A property value on its way between a stream and an object. Enumerations carry their
/// ordinal and sets their bit mask in Int; events carry the bound handler (a std::any holding
/// the event's std::function type) and the method name.
struct TPropValue {
    std::int64_t Int = 0;
    double Float = 0;
    bool Bool = false;
    std::u16string Text;
    TLumComponent* Component = nullptr;
    std::any Method;
    std::string MethodName;

    static TPropValue OfInt(std::int64_t v) {
        TPropValue p;
        p.Int = v;
        return p;
    }
    static TPropValue OfFloat(double v) {
        TPropValue p;
        p.Float = v;
        return p;
    }
    static TPropValue OfBool(bool v) {
        TPropValue p;
        p.Bool = v;
        return p;
    }
    static TPropValue OfText(std::u16string v) {
        TPropValue p;
        p.Text = std::move(v);
        return p;
    }
    static TPropValue OfComponent(TLumComponent* c) {
        TPropValue p;
        p.Component = c;
        return p;
    }
};

/// Whether two values of a property of the given kind are the same (for writing only what
/// differs from the default or the ancestor).
bool SamePropValue(TPropKind kind, const TPropValue& a, const TPropValue& b);

struct TPropInfo {
    std::string Name;
    TPropKind Kind = TPropKind::Integer;
    /// Enum: member names; Set: element names; Integer: named values it also accepts.
    const TLumIdentTable* Idents = nullptr;
    /// Object: the class of the object; Component: the class a referenced component must be.
    /// A function, as a class may refer to itself while it is being described.
    const TLumClass& (*RefClass)() = nullptr;
    std::function<TPropValue(const TLumPersistent&)> Get;
    std::function<void(TLumPersistent&, const TPropValue&)> Set;
    /// Object properties: the object whose own properties are reached as "Name.Sub".
    std::function<TLumPersistent*(TLumPersistent&)> Object;
    /// Not written when the value equals it.
    std::optional<TPropValue> Default;
    /// Not written when this says no.
    std::function<bool(const TLumPersistent&)> Stored;
};

/// A published method: binds the method of an instance to a handler (a std::any holding the
/// std::function of the method's signature), for event properties that name it.
struct TMethodInfo {
    std::string Name;
    std::function<std::any(TLumPersistent&)> Bind;
};

/// A published field: set to the component of that name when a stream creates or finds it.
/// Answers false when the component is not of the field's class.
struct TFieldInfo {
    std::string Name;
    std::function<bool(TLumPersistent&, TLumComponent*)> Assign;
};

/// The description of a streamable class.
class TLumClass {
  public:
    std::string Name;
    const TLumClass* Parent = nullptr;
    /// Creates an instance by name (for child components in streams); empty when the class
    /// cannot be created that way.
    std::function<TLumComponent*(TLumComponent* owner)> Create;
    std::vector<TPropInfo> Properties;
    std::vector<TMethodInfo> Methods;
    std::vector<TFieldInfo> Fields;

    /// Looks up the class and its ancestors; names compare without regard to case.
    const TPropInfo* FindProperty(std::string_view name) const;
    const TMethodInfo* FindMethod(std::string_view name) const;
    const TFieldInfo* FindField(std::string_view name) const;
    bool InheritsFrom(const TLumClass& other) const;
    /// The published properties, the ancestors' first, each in declaration order; a property
    /// published again by a descendant stands at the descendant's place.
    std::vector<const TPropInfo*> AllProperties() const;
};

/// Makes classes known to form streams by name. Registering a class again is harmless.
void RegisterComponentClass(const TLumClass& cls);
/// The registered class of that name (without regard to case), or null.
const TLumClass* FindComponentClass(std::string_view name);

/// Objects with published properties.
class TLumPersistent {
  public:
    TLumPersistent() = default;
    TLumPersistent(const TLumPersistent&) = delete;
    TLumPersistent& operator=(const TLumPersistent&) = delete;
    virtual ~TLumPersistent();

    static const TLumClass& StaticClass();
    virtual const TLumClass& ClassType() const { return StaticClass(); }
    /// The class name reports and streams use.
    const std::string& ClassName() const { return ClassType().Name; }

    /// Copies another object's state; raises EConvertError "Cannot assign a %s to a %s" when
    /// the classes do not fit.
    virtual void Assign(const TLumPersistent& source);

    /// Stored data beyond the published properties (a list stored as "Strings", say): the
    /// filer reads or writes them by name.
    virtual void DefineProperties(TLumFiler& filer);
};

enum class TOperation { opInsert, opRemove };

enum class TComponentStateFlag { csLoading, csReading, csWriting, csDestroying, csDesigning };
using TComponentState = TLumSet<TComponentStateFlag>;

/// Components are freed with Free(), which lets the whole object see its end
/// (BeforeDestruction) before any destructor runs; an owner frees what it owns the same way.
class TLumComponent : public TLumPersistent {
  public:
    /// The owner, if any, takes the new component and frees it with itself.
    explicit TLumComponent(TLumComponent* owner);
    /// Frees the owned components (last first) and tells the components that asked for free
    /// notification.
    ~TLumComponent() override;

    /// BeforeDestruction, then delete. Null-safe through FreeAndNil.
    void Free();

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TLumComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TLumComponent* Components(int index) const;
    /// The owned component of that name (without regard to case), or null.
    TLumComponent* FindComponent(std::u16string_view name) const;

    const std::u16string& Name() const { return name_; }
    /// Renames the component. The name must be an identifier (or empty) and not used by
    /// another component of the same owner; raises EComponentError otherwise.
    void SetName(const std::u16string& name);

    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t tag) { tag_ = tag; }

    TComponentState ComponentState() const { return state_; }
    bool IsLoading() const { return state_.Contains(TComponentStateFlag::csLoading); }
    bool IsDestroying() const { return state_.Contains(TComponentStateFlag::csDestroying); }

    /// Asks to be told (Notification with opRemove) when `other` is freed.
    void FreeNotification(TLumComponent* other);
    void RemoveFreeNotification(TLumComponent* other);

    /// Takes another component into ownership (it leaves its former owner).
    void InsertComponent(TLumComponent* component);
    /// Gives up ownership without freeing.
    void RemoveComponent(TLumComponent* component);

    /// Marks the component as being loaded from a stream; Loaded ends it.
    void BeginLoading();
    /// The children a stream stores under this component, `root` being the component whose
    /// stream it is: the root hands out the components it owns that have no parent; controls
    /// add their child controls that root owns.
    virtual void GetChildren(const std::function<void(TLumComponent*)>& proc, TLumComponent* root);
    /// Whether the component sits in a parent (controls do) rather than directly in its owner.
    virtual bool HasParent() const { return false; }
    /// Puts the component into the one it is nested in within a stream (controls take it as
    /// their parent).
    virtual void SetParentComponent(TLumComponent* parent);
    /// After a stream has set all properties: clears the loading state. Overrides apply what
    /// needed every property (anchors, fonts), then call the base.
    virtual void Loaded();

  protected:
    /// Checks that `component`, which this one owns, may take `newName` (a valid identifier or
    /// empty) in place of `currentName`: raises EComponentError when another component of this
    /// owner has that name. Overrides check more, or follow the rename, after calling the base.
    virtual void ValidateRename(TLumComponent* component, const std::u16string& currentName,
                                const std::u16string& newName);
    /// A component this one owns or asked about is inserted or removed.
    virtual void Notification(TLumComponent* component, TOperation operation);
    /// Runs while the object is still whole, before the destructors: overrides fire their
    /// destroy events, then call the base, which marks this and the owned components as
    /// destroying.
    virtual void BeforeDestruction();
    /// Marks the component (and what it owns) as being destroyed.
    void Destroying();

  private:
    void RemoveNotification(TLumComponent* other);

    TLumComponent* owner_ = nullptr;
    std::vector<TLumComponent*> components_;
    std::vector<TLumComponent*> freeNotifies_;
    std::u16string name_;
    std::intptr_t tag_ = 0;
    TComponentState state_;
};

/// Frees a component through Free and clears the reference.
template <class T> void FreeAndNil(T*& component) {
    T* old = component;
    component = nullptr;
    if (old) {
        old->Free();
    }
}

struct TLumFree {
    void operator()(TLumComponent* component) const { component->Free(); }
};
/// Sole ownership of a component without owner.
template <class T> using TLumOwned = std::unique_ptr<T, TLumFree>;

/// True for a valid component name: a letter or "_" followed by letters, digits or "_".
bool IsValidIdent(std::u16string_view name);

/// Describes a class in a few lines:
///     static const TLumClass cls = TLumClassBuilder<TMyButton>("TMyButton",
///     &TLumButton::StaticClass())
///         .Creatable()
///         .Prop<&TMyButton::Flat, &TMyButton::SetFlat>("Flat", false)
///         .Build();
template <class C> class TLumClassBuilder {
  public:
    TLumClassBuilder(std::string name, const TLumClass* parent) {
        cls_.Name = std::move(name);
        cls_.Parent = parent;
    }

    /// Instances can be created by class name, with an owner.
    TLumClassBuilder& Creatable() {
        cls_.Create = [](TLumComponent* owner) -> TLumComponent* { return new C(owner); };
        return *this;
    }

    /// A property read and written through member functions. Its kind follows the getter's
    /// value type: bool, integers, floating point, std::u16string, enumerations and TLumSet
    /// with TLumEnumInfo, pointers to components.
    template <auto Getter, auto Setter, class Default = std::nullptr_t>
    TLumClassBuilder& Prop(std::string name, Default def = nullptr,
                           const TLumIdentTable* integerIdents = nullptr) {
        using V = std::remove_cvref_t<decltype((std::declval<const C&>().*Getter)())>;
        TPropInfo info;
        info.Name = std::move(name);
        info.Get = [](const TLumPersistent& self) {
            return ToValue<V>((static_cast<const C&>(self).*Getter)());
        };
        info.Set = [](TLumPersistent& self, const TPropValue& v) {
            (static_cast<C&>(self).*Setter)(FromValue<V>(v));
        };
        Describe<V>(info, integerIdents);
        if constexpr (!std::is_same_v<Default, std::nullptr_t>) {
            info.Default = ToValue<V>(static_cast<V>(def));
        }
        cls_.Properties.push_back(std::move(info));
        return *this;
    }

    /// A property whose value is an object with properties of its own ("Font.Name").
    template <auto Getter> TLumClassBuilder& Object(std::string name) {
        using P = std::remove_pointer_t<decltype((std::declval<C&>().*Getter)())>;
        TPropInfo info;
        info.Name = std::move(name);
        info.Kind = TPropKind::Object;
        info.RefClass = &P::StaticClass;
        info.Object = [](TLumPersistent& self) -> TLumPersistent* {
            return (static_cast<C&>(self).*Getter)();
        };
        cls_.Properties.push_back(std::move(info));
        return *this;
    }

    /// An event property held in a TLumEvent member.
    template <auto Field> TLumClassBuilder& Event(std::string name) {
        using E = std::remove_cvref_t<decltype(std::declval<C&>().*Field)>;
        TPropInfo info;
        info.Name = std::move(name);
        info.Kind = TPropKind::Event;
        info.Get = [](const TLumPersistent& self) {
            const E& event = static_cast<const C&>(self).*Field;
            TPropValue v;
            v.MethodName = event.MethodName();
            if (event) {
                v.Method = event.Handler();
            }
            return v;
        };
        info.Set = [](TLumPersistent& self, const TPropValue& v) {
            auto* fn = std::any_cast<typename E::Function>(&v.Method);
            if (v.Method.has_value() && !fn) {
                ThrowWrongMethod(v.MethodName);
            }
            static_cast<C&>(self).*Field = fn ? E(*fn, v.MethodName) : E();
        };
        cls_.Properties.push_back(std::move(info));
        return *this;
    }

    /// A published method that event properties of any component can name.
    template <class R, class... Args>
    TLumClassBuilder& Method(std::string name, R (C::*method)(Args...)) {
        cls_.Methods.push_back({std::move(name), [method](TLumPersistent& self) -> std::any {
                                    C* target = &static_cast<C&>(self);
                                    return std::function<R(Args...)>(
                                        [target, method](Args... args) -> R {
                                            return (target->*method)(std::forward<Args>(args)...);
                                        });
                                }});
        return *this;
    }

    /// A published field: a member pointer to the component of that name.
    template <class T> TLumClassBuilder& Field(std::string name, T* C::*field) {
        cls_.Fields.push_back({std::move(name), [field](TLumPersistent& self, TLumComponent* c) {
                                   T* typed = dynamic_cast<T*>(c);
                                   if (c && !typed) {
                                       return false;
                                   }
                                   static_cast<C&>(self).*field = typed;
                                   return true;
                               }});
        return *this;
    }

    /// Publishes an inherited property again, so that it takes its place in this class's
    /// order of properties (the order streams are written in).
    TLumClassBuilder& Republish(const std::string& name) {
        const TPropInfo* inherited = cls_.Parent ? cls_.Parent->FindProperty(name) : nullptr;
        if (!inherited) {
            throw std::logic_error("no inherited property " + name + " in " + cls_.Name);
        }
        cls_.Properties.push_back(*inherited);
        return *this;
    }

    /// Marks the last property (an object property too) as stored only when the predicate
    /// holds.
    TLumClassBuilder& StoredWhen(bool (C::*predicate)() const) {
        cls_.Properties.back().Stored = [predicate](const TLumPersistent& self) {
            return (static_cast<const C&>(self).*predicate)();
        };
        return *this;
    }

    TLumClass Build() { return std::move(cls_); }

  private:
    [[noreturn]] static void ThrowWrongMethod(const std::string& name);

    template <class V> static TPropValue ToValue(const V& v) {
        if constexpr (std::is_same_v<V, bool>) {
            return TPropValue::OfBool(v);
        } else if constexpr (std::is_enum_v<V>) {
            return TPropValue::OfInt(static_cast<std::int64_t>(v));
        } else if constexpr (std::is_integral_v<V>) {
            return TPropValue::OfInt(static_cast<std::int64_t>(v));
        } else if constexpr (std::is_floating_point_v<V>) {
            return TPropValue::OfFloat(v);
        } else if constexpr (std::is_same_v<V, std::u16string>) {
            return TPropValue::OfText(v);
        } else if constexpr (std::is_pointer_v<V>) {
            return TPropValue::OfComponent(v);
        } else {
            return TPropValue::OfInt(v.Bits());
        }
    }

    template <class V> static V FromValue(const TPropValue& v) {
        if constexpr (std::is_same_v<V, bool>) {
            return v.Bool;
        } else if constexpr (std::is_enum_v<V> || std::is_integral_v<V>) {
            return static_cast<V>(v.Int);
        } else if constexpr (std::is_floating_point_v<V>) {
            return static_cast<V>(v.Float);
        } else if constexpr (std::is_same_v<V, std::u16string>) {
            return v.Text;
        } else if constexpr (std::is_pointer_v<V>) {
            return static_cast<V>(v.Component);
        } else {
            return V::FromBits(static_cast<std::uint32_t>(v.Int));
        }
    }

    template <class V> static void Describe(TPropInfo& info, const TLumIdentTable* integerIdents) {
        if constexpr (std::is_same_v<V, bool>) {
            info.Kind = TPropKind::Bool;
        } else if constexpr (std::is_enum_v<V>) {
            info.Kind = TPropKind::Enum;
            info.Idents = &TLumEnumInfo<V>::Idents();
        } else if constexpr (std::is_integral_v<V>) {
            info.Kind = TPropKind::Integer;
            info.Idents = integerIdents;
        } else if constexpr (std::is_floating_point_v<V>) {
            info.Kind = TPropKind::Float;
        } else if constexpr (std::is_same_v<V, std::u16string>) {
            info.Kind = TPropKind::Text;
        } else if constexpr (std::is_pointer_v<V>) {
            info.Kind = TPropKind::Component;
            info.RefClass = &std::remove_pointer_t<V>::StaticClass;
        } else {
            info.Kind = TPropKind::Set;
            info.Idents = &TLumEnumInfo<typename SetMember<V>::Type>::Idents();
        }
    }

    template <class S> struct SetMember;
    template <class E> struct SetMember<TLumSet<E>> { using Type = E; };

    TLumClass cls_;
};

/// Raised by event properties given a method of another signature.
[[noreturn]] void RaiseMethodMismatch(const std::string& methodName);

template <class C> void TLumClassBuilder<C>::ThrowWrongMethod(const std::string& name) {
    RaiseMethodMismatch(name);
}
