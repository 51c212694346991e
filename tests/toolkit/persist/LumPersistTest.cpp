// Components and their streams: ownership, names, free notification, the class registry, and
// reading and writing components through binary form streams.

#include "toolkit/persist/LumPersist.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumComponents.h"
#include "toolkit/persist/LumFormStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum class TShape { shCircle, shSquare, shTriangle };
enum class TSide { sdLeft, sdTop, sdRight, sdBottom };
using TSides = TLumSet<TSide>;

} // namespace

template <> struct TLumEnumInfo<TShape> {
    static const TLumIdentTable& Idents() {
        static const TLumIdentTable t = {{"shCircle", 0}, {"shSquare", 1}, {"shTriangle", 2}};
        return t;
    }
};
template <> struct TLumEnumInfo<TSide> {
    static const TLumIdentTable& Idents() {
        static const TLumIdentTable t = {
            {"sdLeft", 0}, {"sdTop", 1}, {"sdRight", 2}, {"sdBottom", 3}};
        return t;
    }
};

namespace {

const TLumIdentTable& ColourNames() {
    static const TLumIdentTable t = {{"clRed", 0xFF}, {"clBlue", 0xFF0000}};
    return t;
}

// A nested object reached through dotted names ("Pen.Width").
class TPen : public TLumPersistent {
  public:
    static const TLumClass& StaticClass() {
        static const TLumClass cls = TLumClassBuilder<TPen>("TPen", &TLumPersistent::StaticClass())
                                         .Prop<&TPen::Width, &TPen::SetWidth>("Width", 1)
                                         .Build();
        return cls;
    }
    const TLumClass& ClassType() const override { return StaticClass(); }
    int Width() const { return width_; }
    void SetWidth(int w) { width_ = w; }

  private:
    int width_ = 1;
};

// A component with a property of every kind.
class TGadget : public TLumComponent {
  public:
    explicit TGadget(TLumComponent* owner) : TLumComponent(owner) {}
    static const TLumClass& StaticClass() {
        static const TLumClass cls =
            TLumClassBuilder<TGadget>("TGadget", &TLumComponent::StaticClass())
                .Creatable()
                .Prop<&TGadget::Caption, &TGadget::SetCaption>("Caption", std::u16string())
                .Prop<&TGadget::Colour, &TGadget::SetColour>("Colour", 0, &ColourNames())
                .Prop<&TGadget::Enabled, &TGadget::SetEnabled>("Enabled", true)
                .Object<&TGadget::Pen>("Pen")
                .Prop<&TGadget::Ratio, &TGadget::SetRatio>("Ratio", 0.0)
                .Prop<&TGadget::Shape, &TGadget::SetShape>("Shape", TShape::shCircle)
                .Prop<&TGadget::Sides, &TGadget::SetSides>("Sides", TSides{})
                .Prop<&TGadget::Buddy, &TGadget::SetBuddy>("Buddy")
                .Event<&TGadget::OnPing>("OnPing")
                .Build();
        return cls;
    }
    const TLumClass& ClassType() const override { return StaticClass(); }

    std::u16string Caption() const { return caption_; }
    void SetCaption(const std::u16string& c) { caption_ = c; }
    int Colour() const { return colour_; }
    void SetColour(int c) { colour_ = c; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e) { enabled_ = e; }
    TPen* Pen() { return &pen_; }
    double Ratio() const { return ratio_; }
    void SetRatio(double r) { ratio_ = r; }
    TShape Shape() const { return shape_; }
    void SetShape(TShape s) { shape_ = s; }
    TSides Sides() const { return sides_; }
    void SetSides(TSides s) { sides_ = s; }
    TGadget* Buddy() const { return buddy_; }
    void SetBuddy(TGadget* b) {
        buddy_ = b;
        if (b) {
            b->FreeNotification(this);
        }
    }
    TNotifyEvent OnPing;

    // Kept by the class itself, as a list of texts.
    std::vector<std::u16string> Notes;
    void DefineProperties(TLumFiler& filer) override {
        filer.DefineProperty(
            "Notes",
            [this](TLumFormReader& r) {
                r.ReadListBegin();
                while (!r.EndOfList()) {
                    Notes.push_back(r.ReadString());
                }
                r.ReadListEnd();
            },
            [this](TLumFormWriter& w) {
                w.WriteListBegin();
                for (const auto& n : Notes) {
                    w.WriteString(n);
                }
                w.WriteListEnd();
            },
            !Notes.empty() && !(filer.Ancestor() &&
                                static_cast<const TGadget*>(filer.Ancestor())->Notes == Notes));
    }

    std::vector<TLumComponent*> Removed;

  protected:
    void Notification(TLumComponent* component, TOperation operation) override {
        if (operation == TOperation::opRemove) {
            Removed.push_back(component);
            if (component == buddy_) {
                buddy_ = nullptr;
            }
        }
        TLumComponent::Notification(component, operation);
    }

  private:
    std::u16string caption_;
    int colour_ = 0;
    bool enabled_ = true;
    TPen pen_;
    double ratio_ = 0;
    TShape shape_ = TShape::shCircle;
    TSides sides_;
    TGadget* buddy_ = nullptr;
};

// The root of a stream: publishes its fields and a handler for events.
class TPanelRoot : public TGadget {
  public:
    explicit TPanelRoot(TLumComponent* owner) : TGadget(owner) {}
    static const TLumClass& StaticClass() {
        static const TLumClass cls =
            TLumClassBuilder<TPanelRoot>("TPanelRoot", &TGadget::StaticClass())
                .Field("First", &TPanelRoot::First)
                .Method("FirstPing", &TPanelRoot::FirstPing)
                .Method("Twice", &TPanelRoot::Twice)
                .Build();
        return cls;
    }
    const TLumClass& ClassType() const override { return StaticClass(); }

    TGadget* First = nullptr;
    int Pings = 0;
    void FirstPing(TLumPersistent*) { ++Pings; }
    int Twice(int x) { return 2 * x; }
};

std::string Binary(const std::string& text) {
    TLumMemoryStream in(text);
    TLumMemoryStream out;
    ObjectTextToBinary(in, out);
    return out.Bytes();
}

std::string Text(const std::string& binary) {
    TLumMemoryStream in(binary);
    TLumMemoryStream out;
    ObjectBinaryToText(in, out);
    return out.Bytes();
}

void Read(const std::string& text, TLumComponent& root) {
    TLumMemoryStream stream(Binary(text));
    ReadComponent(stream, root);
}

std::string Written(TLumComponent& root, TLumComponent* ancestor = nullptr) {
    TLumMemoryStream stream;
    WriteComponent(stream, root, ancestor);
    return Text(stream.Bytes());
}

std::u16string ReadError(const std::string& text) {
    TLumOwned<TPanelRoot> root(new TPanelRoot(nullptr));
    try {
        Read(text, *root);
    } catch (const EReadError& error) {
        return error.Message();
    }
    return u"(no error)";
}

class Persist : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterComponentClass(TGadget::StaticClass());
        RegisterComponentClass(TPanelRoot::StaticClass());
    }
};

const char kPanel[] = "object Panel: TPanelRoot\r\n"
                      "  Caption = 'It'#39's a panel'\r\n"
                      "  Colour = clBlue\r\n"
                      "  Pen.Width = 3\r\n"
                      "  Ratio = 1.5\r\n"
                      "  Shape = shTriangle\r\n"
                      "  Sides = [sdLeft, sdBottom]\r\n"
                      "  Notes = (\r\n"
                      "    'one'\r\n"
                      "    'two')\r\n"
                      "  object First: TGadget\r\n"
                      "    Colour = 77\r\n"
                      "    Enabled = False\r\n"
                      "    Buddy = Second\r\n"
                      "    OnPing = FirstPing\r\n"
                      "  end\r\n"
                      "  object Second: TGadget\r\n"
                      "    Buddy = Panel\r\n"
                      "  end\r\n"
                      "end\r\n";

} // namespace

TEST(Components, OwnerFreesWhatItOwnsAndNamesAreUniqueIdentifiers) {
    TLumOwned<TGadget> owner(new TGadget(nullptr));
    auto a = new TGadget(owner.get());
    a->SetName(u"Alpha");
    auto b = new TGadget(owner.get());
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->FindComponent(u"alpha"), a);
    EXPECT_THROW(b->SetName(u"ALPHA"), EComponentError);
    try {
        b->SetName(u"2nd");
        FAIL();
    } catch (const EComponentError& error) {
        EXPECT_EQ(error.Message(), u"''2nd'' is not a valid component name");
    }
    b->SetName(u"Beta");
    b->Free();
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_EQ(owner->FindComponent(u"Beta"), nullptr);
}

TEST(Components, FreeNotificationClearsReferences) {
    TLumOwned<TGadget> owner(new TGadget(nullptr));
    TLumOwned<TGadget> watcher(new TGadget(nullptr));
    auto watched = new TGadget(owner.get());
    watcher->SetBuddy(watched);
    watched->Free();
    EXPECT_EQ(watcher->Buddy(), nullptr);
    EXPECT_EQ(watcher->Removed, std::vector<TLumComponent*>{watched});
}

TEST(Components, ClassRegistryFindsPropertiesThroughAncestors) {
    RegisterComponentClass(TPanelRoot::StaticClass());
    const TLumClass* cls = FindComponentClass("tpanelroot");
    ASSERT_EQ(cls, &TPanelRoot::StaticClass());
    EXPECT_TRUE(cls->InheritsFrom(TGadget::StaticClass()));
    EXPECT_FALSE(TGadget::StaticClass().InheritsFrom(TPanelRoot::StaticClass()));
    ASSERT_NE(cls->FindProperty("colour"), nullptr);
    EXPECT_EQ(cls->FindProperty("Colour")->Kind, TPropKind::Integer);
    EXPECT_EQ(cls->FindProperty("Sides")->Kind, TPropKind::Set);
    EXPECT_EQ(cls->FindProperty("Buddy")->Kind, TPropKind::Component);
    EXPECT_EQ(cls->FindProperty("Nope"), nullptr);
    EXPECT_NE(cls->FindMethod("firstping"), nullptr);
    EXPECT_EQ(FindComponentClass("TUnknown"), nullptr);
}

TEST_F(Persist, ReadsEveryKindOfValueAndResolvesReferences) {
    TLumOwned<TPanelRoot> root(new TPanelRoot(nullptr));
    Read(kPanel, *root);
    EXPECT_EQ(root->Name(), u"Panel");
    EXPECT_EQ(root->Caption(), u"It's a panel");
    EXPECT_EQ(root->Colour(), 0xFF0000);
    EXPECT_EQ(root->Pen()->Width(), 3);
    EXPECT_EQ(root->Ratio(), 1.5);
    EXPECT_EQ(root->Shape(), TShape::shTriangle);
    EXPECT_EQ(root->Sides(), (TSides{TSide::sdLeft, TSide::sdBottom}));
    EXPECT_EQ(root->Notes, (std::vector<std::u16string>{u"one", u"two"}));
    ASSERT_EQ(root->ComponentCount(), 2);
    auto second = dynamic_cast<TGadget*>(root->FindComponent(u"Second"));
    ASSERT_NE(root->First, nullptr);
    EXPECT_EQ(root->First->Colour(), 77);
    EXPECT_FALSE(root->First->Enabled());
    // A reference to a component that comes later in the stream, and one to the root.
    EXPECT_EQ(root->First->Buddy(), second);
    EXPECT_EQ(second->Buddy(), root.get());
    ASSERT_TRUE(root->First->OnPing);
    root->First->OnPing(root->First);
    EXPECT_EQ(root->Pings, 1);
    EXPECT_FALSE(root->IsLoading());
    EXPECT_FALSE(second->IsLoading());
}

TEST_F(Persist, WritingGivesBackTheSameText) {
    TLumOwned<TPanelRoot> root(new TPanelRoot(nullptr));
    Read(kPanel, *root);
    EXPECT_EQ(Written(*root), kPanel);
}

TEST_F(Persist, DefaultsAreNotWritten) {
    TLumOwned<TPanelRoot> root(new TPanelRoot(nullptr));
    root->SetName(u"Bare");
    EXPECT_EQ(Written(*root), "object Bare: TPanelRoot\r\nend\r\n");
}

TEST_F(Persist, InheritedObjectsStoreOnlyTheirDifferences) {
    TLumOwned<TPanelRoot> ancestor(new TPanelRoot(nullptr));
    Read(kPanel, *ancestor);
    TLumOwned<TPanelRoot> derived(new TPanelRoot(nullptr));
    Read(kPanel, *derived);
    derived->SetCaption(u"Changed");
    derived->First->SetColour(78);
    EXPECT_EQ(Written(*derived, ancestor.get()), "inherited Panel: TPanelRoot\r\n"
                                                 "  Caption = 'Changed'\r\n"
                                                 "  inherited First: TGadget\r\n"
                                                 "    Colour = 78\r\n"
                                                 "  end\r\n"
                                                 "  inherited Second: TGadget\r\n"
                                                 "  end\r\n"
                                                 "end\r\n");

    // Reading the difference over the ancestor's stream gives the derived state.
    TLumOwned<TPanelRoot> rebuilt(new TPanelRoot(nullptr));
    Read(kPanel, *rebuilt);
    Read(Written(*derived, ancestor.get()), *rebuilt);
    EXPECT_EQ(rebuilt->Caption(), u"Changed");
    EXPECT_EQ(rebuilt->First->Colour(), 78);
    EXPECT_EQ(rebuilt->ComponentCount(), 2);
}

TEST_F(Persist, ReaderErrorsNameWhatWasWrong) {
    struct Case {
        const char* text;
        const char16_t* message;
    };
    const Case cases[] = {
        {"object P: TPanelRoot\r\n  Nope = 1\r\nend\r\n",
         u"Error reading P.Nope: Property Nope does not exist"},
        {"object P: TPanelRoot\r\n  Pen.Nope = 1\r\nend\r\n",
         u"Error reading P.Pen.Nope: Property Pen.Nope does not exist"},
        {"object P: TPanelRoot\r\n  Colour = 'red'\r\nend\r\n",
         u"Error reading P.Colour: Invalid property value"},
        {"object P: TPanelRoot\r\n  Colour = clGreen\r\nend\r\n",
         u"Error reading P.Colour: Invalid property value"},
        {"object P: TPanelRoot\r\n  Shape = shHexagon\r\nend\r\n",
         u"Error reading P.Shape: Invalid property value"},
        {"object P: TPanelRoot\r\n  Sides = [sdLeft, sdMiddle]\r\nend\r\n",
         u"Error reading P.Sides: Invalid property value"},
        {"object P: TPanelRoot\r\n  Enabled = 1\r\nend\r\n",
         u"Error reading P.Enabled: Invalid property value"},
        {"object P: TPanelRoot\r\n  OnPing = Missing\r\nend\r\n",
         u"Error reading P.OnPing: Method Missing not found"},
        {"object P: TPanelRoot\r\n  OnPing = Twice\r\nend\r\n",
         u"Error reading P.OnPing: Method Twice does not fit the event"},
        {"object P: TPanelRoot\r\n  Buddy = Nobody\r\nend\r\n",
         u"Error reading P.Buddy: Component Nobody not found"},
        {"object P: TPanelRoot\r\n  object X: TWidgetThatIsNot\r\n  end\r\nend\r\n",
         u"Class TWidgetThatIsNot not found"},
        {"object P: TPanelRoot\r\n  inherited X: TGadget\r\n  end\r\nend\r\n",
         u"Ancestor for 'X' not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReadError(c.text), c.message);
    }
}

TEST_F(Persist, TruncatedStreamsRaiseReadErrors) {
    std::string full = Binary(kPanel);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        TLumOwned<TPanelRoot> root(new TPanelRoot(nullptr));
        TLumMemoryStream stream(full.substr(0, cut));
        EXPECT_THROW(ReadComponent(stream, *root), EReadError) << "cut at " << cut;
    }
}

// A stream of gadgets each inside the one before: root, then `children` levels.
std::string NestedStream(int children) {
    TLumMemoryStream stream;
    TLumFormWriter writer(stream);
    writer.WriteSignature();
    writer.WriteObjectHeader({0, 0, "TPanelRoot", "P"});
    writer.WriteListEnd();
    for (int i = 1; i <= children; ++i) {
        writer.WriteObjectHeader({0, 0, "TGadget", "G" + std::to_string(i)});
        writer.WriteListEnd();
    }
    for (int i = 0; i <= children; ++i) {
        writer.WriteListEnd();
    }
    return stream.Bytes();
}

TEST_F(Persist, NestingIsLimitedLikeTheFormStreams) {
    // As deep as the text conversion takes, and read in.
    std::string deepest = NestedStream(kFormMaxDepth - 1);
    EXPECT_NO_THROW(Text(deepest));
    TLumOwned<TPanelRoot> root(new TPanelRoot(nullptr));
    TLumMemoryStream stream(deepest);
    ReadComponent(stream, *root);
    EXPECT_EQ(root->ComponentCount(), kFormMaxDepth - 1);
    EXPECT_NE(root->FindComponent(u"G" + AsciiToWide(std::to_string(kFormMaxDepth - 1))), nullptr);

    // One more, and a stream deep enough to have exhausted the stack, raise the reader's error.
    for (int children : {kFormMaxDepth, 200000}) {
        SCOPED_TRACE(children);
        TLumOwned<TPanelRoot> tooDeep(new TPanelRoot(nullptr));
        TLumMemoryStream nested(NestedStream(children));
        try {
            ReadComponent(nested, *tooDeep);
            ADD_FAILURE() << "no exception";
        } catch (const EReadError& error) {
            EXPECT_EQ(error.Message(), u"Form stream nested too deeply");
        }
    }
}
