#include "win32_dialog_template.h"

#include "win32_api.h"

#include <cstring>
#include <string>

namespace win32 {

namespace {

constexpr std::uint16_t kButton = 0x0080;
constexpr std::uint16_t kEdit = 0x0081;
constexpr std::uint16_t kStatic = 0x0082;

// Appends 16-bit units; items start on 32-bit boundaries.
class Writer {
public:
    void Word(std::uint16_t w) { m_words.push_back(w); }
    void Dword(std::uint32_t d)
    {
        Word(static_cast<std::uint16_t>(d & 0xFFFF));
        Word(static_cast<std::uint16_t>(d >> 16));
    }
    void Short(int v) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
    void Text(const char16_t* s)
    {
        for (; s && *s; ++s)
            Word(*s);
        Word(0);
    }
    void Ordinal(std::uint16_t id)
    {
        Word(0xFFFF);
        Word(id);
    }
    void Align() { if (m_words.size() % 2) Word(0); }
    std::size_t Size() const { return m_words.size(); }
    void Patch(std::size_t at, std::uint16_t w) { m_words[at] = w; }

    std::vector<std::uint32_t> Take()
    {
        Align();
        std::vector<std::uint32_t> out(m_words.size() / 2);
        std::memcpy(out.data(), m_words.data(), m_words.size() * sizeof(std::uint16_t));
        return out;
    }

private:
    std::vector<std::uint16_t> m_words;
};

void Item(Writer& w, unsigned long style, unsigned long exStyle, int x, int y, int cx, int cy,
          int id, std::uint16_t classAtom, const char16_t* text, int iconId)
{
    w.Align();
    w.Dword(0);  // help id
    w.Dword(exStyle);
    w.Dword(style);
    w.Short(x);
    w.Short(y);
    w.Short(cx);
    w.Short(cy);
    w.Dword(static_cast<std::uint32_t>(id));
    w.Ordinal(classAtom);
    if (iconId)
        w.Ordinal(static_cast<std::uint16_t>(iconId));
    else
        w.Text(text);
    w.Word(0);  // no creation data
}

bool NeedsLabel(const res::ControlTemplate& c)
{
    const bool edit = c.kind == res::ControlKind::Edit || c.kind == res::ControlKind::MultiEdit;
    return edit && c.accessibleName && std::u16string(c.accessibleName) != c.text;
}

}  // namespace

ControlStyle MapControlStyle(const res::ControlTemplate& c)
{
    ControlStyle out{WS_CHILD | WS_VISIBLE, 0, kStatic};
    if (c.style & res::kTabStop)
        out.style |= WS_TABSTOP;
    if (c.style & res::kGroup)
        out.style |= WS_GROUP;
    if (c.style & res::kBorder)
        out.style |= WS_BORDER;
    switch (c.kind) {
    case res::ControlKind::PushButton:
        out.style |= BS_PUSHBUTTON;
        out.classAtom = kButton;
        break;
    case res::ControlKind::DefPushButton:
        out.style |= BS_DEFPUSHBUTTON;
        out.classAtom = kButton;
        break;
    case res::ControlKind::Edit:
    case res::ControlKind::MultiEdit:
        out.classAtom = kEdit;
        out.style |= ES_LEFT;
        // A box of rows scrolls: the edit control takes lines beyond its
        // height and the scroll bar's messages only so. Its selection (a
        // match the find window found) shows while the focus is elsewhere.
        if (c.kind == res::ControlKind::MultiEdit)
            out.style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | ES_NOHIDESEL;
        if (c.style & res::kAutoHScroll)
            out.style |= ES_AUTOHSCROLL;
        if (c.style & res::kReadOnly)
            out.style |= ES_READONLY;
        break;
    case res::ControlKind::Static:
        out.style |= SS_LEFT;
        if (c.style & res::kNoPrefix)
            out.style |= SS_NOPREFIX;
        // A named label may carry a tooltip, which needs its mouse messages.
        if (c.id != res::IDC_STATIC)
            out.style |= SS_NOTIFY;
        break;
    case res::ControlKind::Icon:
        out.style |= SS_ICON;
        break;
    }
    return out;
}

unsigned long MapDialogStyle(const res::DialogTemplate& t)
{
    unsigned long style = WS_POPUP | WS_VISIBLE | DS_SHELLFONT;
    if (t.style & res::kCaption)
        style |= WS_CAPTION;
    if (t.style & res::kSysMenu)
        style |= WS_SYSMENU;
    if (t.style & res::kMinimizeBox)
        style |= WS_MINIMIZEBOX;
    if (t.style & res::kModalFrame)
        style |= DS_MODALFRAME;
    return style;
}

std::vector<TemplateItem> TemplateItems(const res::DialogTemplate& t)
{
    std::vector<TemplateItem> items;
    for (const res::ControlTemplate& c : t.controls) {
        if (NeedsLabel(c))
            items.push_back({&c, true, c.x, c.y, 0, 0});
        items.push_back({&c, false, c.x, c.y, c.cx, c.cy});
    }
    return items;
}

std::vector<std::uint32_t> BuildDialogTemplate(const res::DialogTemplate& t,
                                               const std::u16string& fontFace,
                                               unsigned long extraExStyle)
{
    Writer w;
    w.Word(1);       // dlgVer
    w.Word(0xFFFF);  // signature: DLGTEMPLATEEX
    w.Dword(0);      // help id
    w.Dword(extraExStyle);
    w.Dword(MapDialogStyle(t));
    const std::size_t countAt = w.Size();
    w.Word(0);  // item count, patched below
    w.Short(0);
    w.Short(0);
    w.Short(t.cx);
    w.Short(t.cy);
    w.Word(0);  // no menu
    w.Word(0);  // the dialog class
    w.Text(t.title);
    w.Word(static_cast<std::uint16_t>(t.pointSize));
    w.Word(FW_NORMAL);
    w.Word(DEFAULT_CHARSET << 8);  // italic 0, then the character set
    w.Text(fontFace.c_str());

    const std::vector<TemplateItem> items = TemplateItems(t);
    for (const TemplateItem& i : items) {
        const res::ControlTemplate& c = *i.control;
        if (i.label) {
            Item(w, WS_CHILD | SS_LEFT | SS_NOPREFIX, 0, i.x, i.y, i.cx, i.cy, res::IDC_STATIC,
                 kStatic, c.accessibleName, 0);
            continue;
        }
        const ControlStyle s = MapControlStyle(c);
        Item(w, s.style, s.exStyle, i.x, i.y, i.cx, i.cy, c.id, s.classAtom, c.text,
             c.kind == res::ControlKind::Icon ? c.iconId : 0);
    }
    w.Patch(countAt, static_cast<std::uint16_t>(items.size()));
    return w.Take();
}

}  // namespace win32
