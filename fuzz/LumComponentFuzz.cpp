// libFuzzer target for the component reader: a stream read into a root component of a small
// set of classes with a property of every kind, values of their own and nested objects. The
// first byte chooses the input: odd, form text that is converted first; even, a binary form
// stream. A bad stream raises EReadError (or EComponentError for a name that is no identifier
// or is taken); whatever reads must write a stream that reads back and writes the same again.
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/persist/LumComponents.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumPersist.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

enum class TMood { mdCalm, mdBusy, mdAngry };
enum class TEdge { egLeft, egTop, egRight, egBottom };
using TEdges = TLumSet<TEdge>;

} // namespace

template <> struct TLumEnumInfo<TMood> {
    static const TLumIdentTable& Idents() {
        static const TLumIdentTable t = {{"mdCalm", 0}, {"mdBusy", 1}, {"mdAngry", 2}};
        return t;
    }
};
template <> struct TLumEnumInfo<TEdge> {
    static const TLumIdentTable& Idents() {
        static const TLumIdentTable t = {
            {"egLeft", 0}, {"egTop", 1}, {"egRight", 2}, {"egBottom", 3}};
        return t;
    }
};

namespace {

const TLumIdentTable& ColourNames() {
    static const TLumIdentTable t = {{"clRed", 0xFF}, {"clBlue", 0xFF0000}};
    return t;
}

class TStroke : public TLumPersistent {
  public:
    static const TLumClass& StaticClass() {
        static const TLumClass cls =
            TLumClassBuilder<TStroke>("TStroke", &TLumPersistent::StaticClass())
                .Prop<&TStroke::Width, &TStroke::SetWidth>("Width", 1)
                .Build();
        return cls;
    }
    const TLumClass& ClassType() const override { return StaticClass(); }
    int Width() const { return width_; }
    void SetWidth(int width) { width_ = width; }

  private:
    int width_ = 1;
};

class TWidget : public TLumComponent {
  public:
    explicit TWidget(TLumComponent* owner) : TLumComponent(owner) {}
    static const TLumClass& StaticClass() {
        static const TLumClass cls =
            TLumClassBuilder<TWidget>("TWidget", &TLumComponent::StaticClass())
                .Creatable()
                .Prop<&TWidget::Caption, &TWidget::SetCaption>("Caption", std::u16string())
                .Prop<&TWidget::Colour, &TWidget::SetColour>("Colour", 0, &ColourNames())
                .Prop<&TWidget::Visible, &TWidget::SetVisible>("Visible", true)
                .Object<&TWidget::Stroke>("Stroke")
                .Prop<&TWidget::Scale, &TWidget::SetScale>("Scale", 0.0)
                .Prop<&TWidget::Mood, &TWidget::SetMood>("Mood", TMood::mdCalm)
                .Prop<&TWidget::Edges, &TWidget::SetEdges>("Edges", TEdges{})
                .Prop<&TWidget::Partner, &TWidget::SetPartner>("Partner")
                .Event<&TWidget::OnPoke>("OnPoke")
                .Build();
        return cls;
    }
    const TLumClass& ClassType() const override { return StaticClass(); }

    std::u16string Caption() const { return caption_; }
    void SetCaption(const std::u16string& caption) { caption_ = caption; }
    int Colour() const { return colour_; }
    void SetColour(int colour) { colour_ = colour; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    TStroke* Stroke() { return &stroke_; }
    double Scale() const { return scale_; }
    void SetScale(double scale) { scale_ = scale; }
    TMood Mood() const { return mood_; }
    void SetMood(TMood mood) { mood_ = mood; }
    TEdges Edges() const { return edges_; }
    void SetEdges(TEdges edges) { edges_ = edges; }
    TWidget* Partner() const { return partner_; }
    void SetPartner(TWidget* partner) {
        partner_ = partner;
        if (partner) {
            partner->FreeNotification(this);
        }
    }
    TNotifyEvent OnPoke;

    // Values the class keeps itself: a list of texts.
    std::vector<std::u16string> Lines;
    void DefineProperties(TLumFiler& filer) override {
        filer.DefineProperty(
            "Lines",
            [this](TLumFormReader& reader) {
                reader.ReadListBegin();
                while (!reader.EndOfList()) {
                    Lines.push_back(reader.ReadString());
                }
                reader.ReadListEnd();
            },
            [this](TLumFormWriter& writer) {
                writer.WriteListBegin();
                for (const std::u16string& line : Lines) {
                    writer.WriteString(line);
                }
                writer.WriteListEnd();
            },
            !Lines.empty());
    }

  protected:
    void Notification(TLumComponent* component, TOperation operation) override {
        if (operation == TOperation::opRemove && component == partner_) {
            partner_ = nullptr;
        }
        TLumComponent::Notification(component, operation);
    }

  private:
    std::u16string caption_;
    int colour_ = 0;
    bool visible_ = true;
    TStroke stroke_;
    double scale_ = 0;
    TMood mood_ = TMood::mdCalm;
    TEdges edges_;
    TWidget* partner_ = nullptr;
};

// The root: a published field and a handler for the events.
class TBoard : public TWidget {
  public:
    explicit TBoard(TLumComponent* owner) : TWidget(owner) {}
    static const TLumClass& StaticClass() {
        static const TLumClass cls = TLumClassBuilder<TBoard>("TBoard", &TWidget::StaticClass())
                                         .Creatable()
                                         .Field("Main", &TBoard::Main)
                                         .Method("MainPoke", &TBoard::MainPoke)
                                         .Build();
        return cls;
    }
    const TLumClass& ClassType() const override { return StaticClass(); }

    TWidget* Main = nullptr;
    void MainPoke(TLumPersistent*) {}
};

std::string Read(const std::string& binary) {
    TLumOwned<TBoard> root(new TBoard(nullptr));
    TLumMemoryStream in(binary);
    ReadComponent(in, *root);
    TLumMemoryStream out;
    WriteComponent(out, *root);
    return out.Bytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const bool registered = [] {
        RegisterComponentClass(TWidget::StaticClass());
        RegisterComponentClass(TBoard::StaticClass());
        return true;
    }();
    (void)registered;
    if (size == 0) {
        return 0;
    }
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        try {
            input = FormTextToBinary(input);
        } catch (const EParserError&) {
            return 0;
        }
    }
    std::string written;
    try {
        written = Read(input);
    } catch (const EReadError&) {
        return 0;
    } catch (const EComponentError&) {
        return 0;
    }
    if (Read(written) != written) {
        std::abort();
    }
    return 0;
}
