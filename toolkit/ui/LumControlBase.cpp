#include "toolkit/ui/LumControlBase.h"

#include "toolkit/base/LumScopeGuard.h"

#include <algorithm>

const TLumIdentTable& TLumEnumInfo<TAnchorKind>::Idents() {
    static const TLumIdentTable table = {
        {"akLeft", 0}, {"akTop", 1}, {"akRight", 2}, {"akBottom", 3}};
    return table;
}

const TLumIdentTable& TLumEnumInfo<TAlign>::Idents() {
    static const TLumIdentTable table = {{"alNone", 0}, {"alTop", 1},   {"alBottom", 2},
                                         {"alLeft", 3}, {"alRight", 4}, {"alClient", 5}};
    return table;
}

// ---------------------------------------------------------------------------------------------
// TLumControl

TLumControl::TLumControl(TLumComponent* owner) : TLumComponent(owner) {
    font_.OnChange = [this] { Perform(CM_FONTCHANGED); };
}

TLumControl::~TLumControl() {
    if (parent_) {
        parent_->RemoveControl(this);
    }
}

const TLumClass& TLumControl::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumControl>("TLumControl", &TLumComponent::StaticClass())
            .Prop<&TLumControl::Left, &TLumControl::SetLeft>("Left")
            .Prop<&TLumControl::Top, &TLumControl::SetTop>("Top")
            .Prop<&TLumControl::Width, &TLumControl::SetWidth>("Width")
            .StoredWhen(&TLumControl::SizeStored)
            .Prop<&TLumControl::Height, &TLumControl::SetHeight>("Height")
            .StoredWhen(&TLumControl::SizeStored)
            .Prop<&TLumControl::Align, &TLumControl::SetAlign>("Align", TAlign::alNone)
            .Prop<&TLumControl::Anchors, &TLumControl::SetAnchors>(
                "Anchors", TAnchors{TAnchorKind::akLeft, TAnchorKind::akTop})
            .Prop<&TLumControl::Color, &TLumControl::SetColor>("Color", nullptr, &ColorIdents())
            .StoredWhen(&TLumControl::ColorStored)
            .Prop<&TLumControl::Cursor, &TLumControl::SetCursor>("Cursor", crDefault,
                                                                 &CursorIdents())
            .Prop<&TLumControl::Enabled, &TLumControl::SetEnabled>("Enabled", true)
            .Object<static_cast<TLumFont* (TLumControl::*)()>(&TLumControl::Font)>("Font")
            .StoredWhen(&TLumControl::FontStored)
            .Prop<&TLumControl::Hint, &TLumControl::SetHint>("Hint", std::u16string())
            .Prop<&TLumControl::ParentColor, &TLumControl::SetParentColor>("ParentColor")
            .StoredWhen(&TLumControl::ParentColorStored)
            .Prop<&TLumControl::ParentFont, &TLumControl::SetParentFont>("ParentFont", true)
            .StoredWhen(&TLumControl::InParent)
            .Prop<&TLumControl::ParentShowHint, &TLumControl::SetParentShowHint>("ParentShowHint",
                                                                                 true)
            .StoredWhen(&TLumControl::InParent)
            .Prop<&TLumControl::ShowHint, &TLumControl::SetShowHint>("ShowHint")
            .StoredWhen(&TLumControl::ShowHintStored)
            .Prop<&TLumControl::Visible, &TLumControl::SetVisible>("Visible", true)
            .StoredWhen(&TLumControl::InParent)
            .Event<&TLumControl::OnClick>("OnClick")
            .Event<&TLumControl::OnDblClick>("OnDblClick")
            .Event<&TLumControl::OnResize>("OnResize")
            .Build();
    return cls;
}

void TLumControl::SetParent(TLumWinControl* parent) {
    if (parent == parent_) {
        return;
    }
    if (parent_) {
        parent_->RemoveControl(this);
    }
    if (parent) {
        parent->InsertControl(this);
    }
    ParentFontChanged();
    ParentColorChanged();
    if (!IsLoading()) {
        UpdateAnchorRules();
    }
}

void TLumControl::SetParentComponent(TLumComponent* parent) {
    SetParent(dynamic_cast<TLumWinControl*>(parent));
}

void TLumControl::SetBounds(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) {
        return;
    }
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    BoundsChanged();
    if (!anchoring_ && !IsLoading()) {
        UpdateAnchorRules();
    }
    if (parent_) {
        // An aligned control keeps to its edge whatever bounds it is given.
        if (align_ != TAlign::alNone && !parent_->aligning_) {
            parent_->AlignControls();
        }
        parent_->ControlsChanged();
    }
}

void TLumControl::BoundsChanged() {
    if (parent_) {
        parent_->Invalidate();
    }
}

void TLumControl::SetVisible(bool visible) {
    if (visible == visible_) {
        return;
    }
    visible_ = visible;
    Perform(CM_VISIBLECHANGED, visible);
    if (align_ != TAlign::alNone && parent_ && !IsLoading()) {
        parent_->AlignControls();
    }
    if (parent_) {
        parent_->ControlsChanged();
    }
}

bool TLumControl::Showing() const {
    for (const TLumControl* c = this; c; c = c->parent_) {
        if (!c->visible_) {
            return false;
        }
    }
    return true;
}

void TLumControl::VisibleChanged() {
    if (parent_) {
        parent_->Invalidate();
    }
}

void TLumControl::SetEnabled(bool enabled) {
    if (enabled != enabled_) {
        enabled_ = enabled;
        Perform(CM_ENABLEDCHANGED);
        Invalidate();
    }
}

void TLumControl::SetAlign(TAlign align) {
    if (align == align_) {
        return;
    }
    align_ = align;
    if (parent_ && !IsLoading()) {
        parent_->AlignControls();
    }
}

void TLumControl::SetAnchors(TAnchors anchors) {
    anchors_ = anchors;
    if (!IsLoading()) {
        UpdateAnchorRules();
    }
}

void TLumControl::SetText(const std::u16string& text) {
    if (text != Text()) {
        text_ = text;
        Perform(CM_TEXTCHANGED);
    }
}

void TLumControl::TextChanged() {
    Invalidate();
}

void TLumControl::SetParentFont(bool value) {
    parentFont_ = value;
    if (value) {
        ParentFontChanged();
    }
}

void TLumControl::ParentFontChanged() {
    if (parentFont_ && parent_) {
        TRestore<bool> updating(updatingFont_, true);
        font_.Assign(*parent_->Font());
    }
}

void TLumControl::FontChanged() {
    // A font set on the control itself stops it from following its parent's.
    if (!updatingFont_) {
        parentFont_ = false;
    }
    Invalidate();
}

void TLumControl::SetColor(TColor color) {
    bool wasParent = parentColor_;
    parentColor_ = false;
    if (color != color_ || wasParent) {
        color_ = color;
        Perform(CM_COLORCHANGED);
    }
}

void TLumControl::SetParentColor(bool value) {
    parentColor_ = value;
    if (value) {
        ParentColorChanged();
    }
}

void TLumControl::ParentColorChanged() {
    if (parentColor_ && parent_ && parent_->Color() != color_) {
        color_ = parent_->Color();
        Perform(CM_COLORCHANGED);
    }
}

void TLumControl::ColorChanged() {
    Invalidate();
}

void TLumControl::InitColor(TColor color, bool parentColor, std::optional<TColor> storedDefault) {
    color_ = color;
    defaultColor_ = storedDefault.value_or(color);
    parentColor_ = defaultParentColor_ = parentColor;
}

bool TLumControl::ColorStored() const {
    return !parentColor_ && color_ != defaultColor_;
}

bool TLumControl::ParentColorStored() const {
    return InParent() && parentColor_ != defaultParentColor_;
}

bool TLumControl::FontStored() const {
    return !parentFont_ || !InParent();
}

void TLumControl::SetShowHint(bool value) {
    showHint_ = value;
    parentShowHint_ = false;
}

void TLumControl::SetParentShowHint(bool value) {
    parentShowHint_ = value;
    if (value && parent_) {
        showHint_ = parent_->ShowHint();
    }
}

bool TLumControl::HintShows() const {
    return parentShowHint_ && parent_ ? parent_->HintShows() : showHint_;
}

bool TLumControl::ShowHintStored() const {
    return !parentShowHint_;
}

void TLumControl::Click() {
    if (OnClick) {
        OnClick(this);
    }
}

void TLumControl::DblClick() {
    if (OnDblClick) {
        OnDblClick(this);
    }
}

void TLumControl::Invalidate() {
    if (parent_) {
        parent_->Invalidate();
    }
}

void TLumControl::Repaint() {
    Invalidate();
    for (TLumControl* c = this; c; c = c->parent_) {
        if (auto win = dynamic_cast<TLumWinControl*>(c)) {
            win->Update();
            return;
        }
    }
}

void TLumControl::WndProc(TMessage& message) {
    switch (message.Msg) {
    case CM_VISIBLECHANGED:
        VisibleChanged();
        break;
    case CM_TEXTCHANGED:
        TextChanged();
        break;
    case CM_FONTCHANGED:
        FontChanged();
        break;
    case CM_COLORCHANGED:
        ColorChanged();
        break;
    case CM_PARENTFONTCHANGED:
        ParentFontChanged();
        break;
    case CM_PARENTCOLORCHANGED:
        ParentColorChanged();
        break;
    default:
        break;
    }
}

LRESULT TLumControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    WndProc(message);
    return message.Result;
}

void TLumControl::UpdateAnchorRules() {
    if (!parent_) {
        anchorRule_.Valid = false;
        return;
    }
    anchorRule_ = {parent_->ClientWidth(), parent_->ClientHeight(), BoundsRect(), true};
}

void TLumControl::ApplyAnchors(int parentClientWidth, int parentClientHeight) {
    if (!anchorRule_.Valid) {
        return;
    }
    const RECT& r = anchorRule_.Bounds;
    int dx = parentClientWidth - anchorRule_.ParentWidth;
    int dy = parentClientHeight - anchorRule_.ParentHeight;
    int left = r.left;
    int top = r.top;
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    bool l = anchors_.Contains(TAnchorKind::akLeft);
    bool rgt = anchors_.Contains(TAnchorKind::akRight);
    bool t = anchors_.Contains(TAnchorKind::akTop);
    bool b = anchors_.Contains(TAnchorKind::akBottom);
    if (rgt && l) {
        width += dx;
    } else if (rgt) {
        left += dx;
    } else if (!l) {
        left += dx / 2;
    }
    if (b && t) {
        height += dy;
    } else if (b) {
        top += dy;
    } else if (!t) {
        top += dy / 2;
    }
    TRestore<bool> anchoring(anchoring_, true);
    SetBounds(left, top, std::max(width, 0), std::max(height, 0));
}

void TLumControl::Loaded() {
    TLumComponent::Loaded();
    UpdateAnchorRules();
    if (align_ != TAlign::alNone && parent_) {
        parent_->AlignControls();
    }
}

// ---------------------------------------------------------------------------------------------
// TLumGraphicControl

TLumGraphicControl::TLumGraphicControl(TLumComponent* owner) : TLumControl(owner) {}

const TLumClass& TLumGraphicControl::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumGraphicControl>("TLumGraphicControl", &TLumControl::StaticClass())
            .Build();
    return cls;
}

void TLumGraphicControl::Invalidate() {
    if (Parent() && Parent()->HandleAllocated()) {
        RECT r = BoundsRect();
        InvalidateRect(Parent()->Handle(), &r, TRUE);
    }
}
