// The status bar and its panels.
#include "toolkit/ui/LumComCtrls.h"

#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"

#include <numeric>

void InitBarClasses() {
    static bool done = false;
    if (!done) {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES};
        InitCommonControlsEx(&init);
        done = true;
    }
}

TLumStatusBar::TLumStatusBar(TLumComponent* owner) : TLumWinControl(owner) {
    InitColor(clBtnFace, false);
    SetBounds(0, 0, 200, 19);
}

const TLumClass& TLumStatusBar::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumStatusBar>("TLumStatusBar", &TLumWinControl::StaticClass())
            .Creatable()
            .Prop<&TLumStatusBar::SimplePanel, &TLumStatusBar::SetSimplePanel>("SimplePanel", false)
            .Prop<&TLumStatusBar::SimpleText, &TLumStatusBar::SetSimpleText>("SimpleText",
                                                                             std::u16string())
            .Prop<&TLumStatusBar::SizeGrip, &TLumStatusBar::SetSizeGrip>("SizeGrip", true)
            .Build();
    return cls;
}

void TLumStatusBar::AddPanel(const std::u16string& text, int width) {
    panels_.push_back({text, width});
    UpdatePanels();
}

void TLumStatusBar::SetPanelText(int index, const std::u16string& text) {
    panels_.at(static_cast<size_t>(index)).Text = text;
    UpdatePanels();
}

void TLumStatusBar::SetPanelWidth(int index, int width) {
    panels_.at(static_cast<size_t>(index)).Width = width;
    UpdatePanels();
}

void TLumStatusBar::ClearPanels() {
    panels_.clear();
    UpdatePanels();
}

std::vector<int> TLumStatusBar::PartEdges() const {
    if (panels_.empty()) {
        return {-1};
    }
    std::vector<int> edges;
    int right = 0;
    for (const TLumStatusPanel& panel : panels_) {
        right += panel.Width;
        edges.push_back(right);
    }
    edges.back() = -1;
    return edges;
}

std::vector<int> TLumStatusBar::WindowParts() const {
    if (!handle_) {
        return {};
    }
    auto count = static_cast<size_t>(SendMessageW(handle_, SB_GETPARTS, 0, 0));
    std::vector<int> parts(count);
    SendMessageW(handle_, SB_GETPARTS, parts.size(), reinterpret_cast<LPARAM>(parts.data()));
    return parts;
}

void TLumStatusBar::UpdatePanels() {
    if (!handle_) {
        return;
    }
    SendMessageW(handle_, SB_SIMPLE, simplePanel_, 0);
    if (simplePanel_) {
        SendMessageW(handle_, SB_SETTEXTW, SB_SIMPLEID,
                     reinterpret_cast<LPARAM>(WinStr(simpleText_)));
        return;
    }
    std::vector<int> edges = PartEdges();
    SendMessageW(handle_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (size_t i = 0; i < panels_.size(); ++i) {
        SendMessageW(handle_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(WinStr(panels_[i].Text)));
    }
}

void TLumStatusBar::SetSimplePanel(bool value) {
    if (value != simplePanel_) {
        simplePanel_ = value;
        UpdatePanels();
    }
}

void TLumStatusBar::SetSimpleText(const std::u16string& text) {
    if (text != simpleText_) {
        simpleText_ = text;
        UpdatePanels();
    }
}

void TLumStatusBar::SetSizeGrip(bool value) {
    if (value != sizeGrip_) {
        sizeGrip_ = value;
        RecreateWnd();
    }
}

void TLumStatusBar::CreateParams(TCreateParams& params) {
    InitBarClasses();
    TLumWinControl::CreateParams(params);
    params.Style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
    if (sizeGrip_) {
        params.Style |= SBARS_SIZEGRIP;
    }
    params.SysClassName = u"msctls_statusbar32";
}

void TLumStatusBar::CreateWindowDone() {
    TLumWinControl::CreateWindowDone();
    UpdatePanels();
}

void TLumStatusBar::DefineProperties(TLumFiler& filer) {
    TLumWinControl::DefineProperties(filer);
    auto ancestor = dynamic_cast<const TLumStatusBar*>(filer.Ancestor());
    filer.DefineProperty(
        "Panels",
        [this](TLumFormReader& reader) {
            panels_.clear();
            reader.ReadCollectionBegin();
            while (!reader.EndOfList()) {
                reader.ReadCollectionItemBegin();
                TLumStatusPanel panel;
                while (!reader.EndOfList()) {
                    std::string name = reader.ReadPropName();
                    if (SameAsciiText(name, "Text")) {
                        panel.Text = reader.ReadString();
                    } else if (SameAsciiText(name, "Width")) {
                        panel.Width = reader.ReadInteger();
                    } else {
                        reader.SkipValue();
                    }
                }
                reader.ReadListEnd();
                panels_.push_back(panel);
            }
            reader.ReadListEnd();
            UpdatePanels();
        },
        [this](TLumFormWriter& writer) {
            writer.WriteCollectionBegin();
            for (const TLumStatusPanel& panel : panels_) {
                writer.WriteCollectionItemBegin(std::nullopt);
                writer.WritePropName("Text");
                writer.WriteString(panel.Text);
                writer.WritePropName("Width");
                writer.WriteInteger(panel.Width);
                writer.WriteListEnd();
            }
            writer.WriteListEnd();
        },
        ancestor ? ancestor->panels_ != panels_ : !panels_.empty());
}
