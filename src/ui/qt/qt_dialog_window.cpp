#include "qt_dialog_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimerEvent>
#include <QValidator>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "qt_window_system.h"

namespace {

constexpr char kTemplateWidth[] = "templateWidth";

QString ToQ(const std::u16string& s) { return QString::fromStdU16String(s); }

// An edit control's veto on every change the user makes.
class CFilterValidator : public QValidator {
public:
    CFilterValidator(std::function<bool(const std::u16string&)> accept, QObject* parent)
        : QValidator(parent), m_accept(std::move(accept)) {}

    State validate(QString& input, int& pos) const override
    {
        if (m_accept(input.toStdU16String()))
            return Acceptable;
        // What was just typed or pasted ends at the cursor: keep as much of
        // it as the line takes, cut at a whole character, as typing would.
        for (int cut = std::min<int>(pos, input.size()); cut > 0;) {
            --cut;
            if (cut > 0 && input[cut].isLowSurrogate() && input[cut - 1].isHighSurrogate())
                --cut;
            const QString shorter = input.left(cut) + input.mid(pos);
            if (m_accept(shorter.toStdU16String())) {
                input = shorter;
                pos = cut;
                return Acceptable;
            }
        }
        return Invalid;
    }

private:
    std::function<bool(const std::u16string&)> m_accept;
};

// A static text is never cut: where the dialog font is wider than the one
// the template was drawn for, the control grows to the right (up to the
// dialog's edge) instead of clipping its text.
void FitStaticText(QLabel* label, int templateWidth)
{
    const int need = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    const int room = label->parentWidget()->width() - label->x();
    label->resize(std::max(templateWidth, std::min(need, room)), label->height());
}

// A label's accessible name is its text (Qt's default while none is set),
// which is what screen readers speak; the tooltip's explanation is its
// description.
void DescribeStaticText(QLabel* label)
{
    label->setAccessibleDescription(label->toolTip());
}

// The dialog as screen readers see it: its controls, and a context menu
// while one is open (a popup is a window of its own, which Qt leaves out of
// the application's tree).
class CDialogAccessible : public QAccessibleWidget {
public:
    explicit CDialogAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Dialog) {}

    int childCount() const override
    {
        return QAccessibleWidget::childCount() + static_cast<int>(OpenMenus().size());
    }

    QAccessibleInterface* child(int index) const override
    {
        const int own = QAccessibleWidget::childCount();
        if (index < own)
            return QAccessibleWidget::child(index);
        const QList<QMenu*> menus = OpenMenus();
        return index - own < menus.size()
                   ? QAccessible::queryAccessibleInterface(menus.at(index - own))
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child && child->object()) {
            const int at = OpenMenus().indexOf(qobject_cast<QMenu*>(child->object()));
            if (at >= 0)
                return QAccessibleWidget::childCount() + at;
        }
        return QAccessibleWidget::indexOfChild(child);
    }

private:
    QList<QMenu*> OpenMenus() const
    {
        QList<QMenu*> open;
        for (QMenu* menu : widget()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
            if (menu->isVisible())
                open.append(menu);
        }
        return open;
    }
};

QAccessibleInterface* DialogAccessibleFactory(const QString&, QObject* object)
{
    if (auto* dialog = dynamic_cast<CQtDialogWindow*>(object))
        return new CDialogAccessible(dialog);
    return nullptr;
}

// Where `text` and what the box shows share rows, the box is edited in
// place (rows gone at the top removed, new ones added at the bottom), so
// that a selection on rows still shown stays where it is.
void ReplaceRows(QPlainTextEdit* edit, const QString& text)
{
    QTextDocument* doc = edit->document();
    QStringList shown;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        shown.append(b.text());
    const QStringList rows = text.split(QLatin1Char('\n'));
    int gone = 0;
    for (; gone < shown.size(); ++gone) {
        const int kept = shown.size() - gone;
        if (kept > rows.size())
            continue;
        bool same = true;
        for (int i = 0; i < kept && same; ++i)
            same = shown.at(gone + i) == rows.at(i);
        if (same)
            break;
    }
    if (gone == shown.size()) {
        edit->setPlainText(text);
        return;
    }
    QTextCursor c(doc);
    c.beginEditBlock();
    if (gone > 0) {
        c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, gone);
        c.removeSelectedText();
    }
    c.movePosition(QTextCursor::End);
    for (int i = shown.size() - gone; i < rows.size(); ++i) {
        c.insertBlock();
        c.insertText(rows.at(i));
    }
    c.endEditBlock();
}

QString WithoutMnemonic(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

}  // namespace

CQtDialogWindow::CQtDialogWindow(CQtWindowSystem& ws, const res::DialogTemplate& tmpl,
                                 wsys::IDialogHandler& handler, QWidget* parent)
    : QDialog(parent), m_ws(ws), m_handler(handler), m_tmpl(tmpl)
{
    static const bool accessible = [] {
        QAccessible::installFactory(DialogAccessibleFactory);
        return true;
    }();
    (void)accessible;
    setObjectName(QString::fromLatin1(tmpl.name));
    setWindowTitle(ToQ(tmpl.title));
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd >= 0) {
        m_wakeNotifier = new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, this);
        connect(m_wakeNotifier, &QSocketNotifier::activated, this, [this] { RunPosted(); });
    }
    setFont(DialogFont(tmpl));

    // Fixed size, caption with close box, and a minimise box only where
    // the template asks for one; never a maximise box. A dialog without an
    // owner is the program's main window, with a taskbar entry of its own:
    // as a dialog type, X would make it transient for Qt's hidden leader
    // window, and taskbars leave such windows out.
    Qt::WindowFlags flags = (parent ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (tmpl.style & res::kSysMenu)
        flags |= Qt::WindowSystemMenuHint;
    if (tmpl.style & res::kMinimizeBox)
        flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    setSizeGripEnabled(false);

    const QFontMetrics fm(font());
    m_baseX = res::BaseUnitX(
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")));
    m_baseY = fm.height();
    const QRect client = ToPixels(0, 0, tmpl.cx, tmpl.cy);
    setFixedSize(client.size());

    BuildControls(tmpl);
    installEventFilter(this);
}

CQtDialogWindow::~CQtDialogWindow()
{
    if (m_wakeFd >= 0) {
        m_wakeNotifier->setEnabled(false);
        ::close(m_wakeFd);
    }
}

QRect CQtDialogWindow::ToPixels(int x, int y, int cx, int cy) const
{
    return QRect(res::DluToPixelsX(x, m_baseX), res::DluToPixelsY(y, m_baseY),
                 res::DluToPixelsX(cx, m_baseX), res::DluToPixelsY(cy, m_baseY));
}

void CQtDialogWindow::BuildControls(const res::DialogTemplate& tmpl)
{
    QWidget* previous = nullptr;
    for (const res::ControlTemplate& c : tmpl.controls) {
        const QString text = ToQ(c.text);
        QWidget* w = nullptr;
        switch (c.kind) {
        case res::ControlKind::PushButton:
        case res::ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(true);
            button->setDefault(c.kind == res::ControlKind::DefPushButton);
            const int id = c.id;
            connect(button, &QPushButton::clicked, this, [this, id] { m_handler.OnCommand(id); });
            w = button;
            break;
        }
        case res::ControlKind::Edit: {
            auto* edit = new QLineEdit(text, this);
            edit->setFrame(c.style & res::kBorder);
            edit->setContextMenuPolicy(Qt::CustomContextMenu);
            w = edit;
            break;
        }
        case res::ControlKind::MultiEdit: {
            auto* edit = new QPlainTextEdit(this);
            edit->setPlainText(text);
            edit->setReadOnly(c.style & res::kReadOnly);
            if (c.style & res::kReadOnly)
                edit->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                              Qt::TextSelectableByKeyboard);
            edit->setLineWrapMode(QPlainTextEdit::NoWrap);
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            edit->setTabChangesFocus(true);
            edit->setFrameShape((c.style & res::kBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
            // As little margin as an edit control has, so that all 18
            // lines fit the box.
            edit->document()->setDocumentMargin(1);
            // Its text is replaced in place all the time; nothing to undo.
            edit->setUndoRedoEnabled(false);
            edit->setContextMenuPolicy(Qt::CustomContextMenu);
            // A right click lands on the viewport, which hands it to the box
            // without going through event filters.
            connect(edit, &QWidget::customContextMenuRequested, this, [this, edit](QPoint pos) {
                ShowContextMenu(edit, edit->viewport()->mapToGlobal(pos));
            });
            w = edit;
            break;
        }
        case res::ControlKind::Static: {
            auto* label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);  // '&' and markup shown as they are
            label->setText(text);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = label;
            break;
        }
        case res::ControlKind::Icon: {
            // Shown at the icon's own size, as an icon control sizes itself.
            auto* label = new QLabel(this);
            const wsys::Size size = SystemIconSize();
            label->setFixedSize(size.cx, size.cy);
            const QIcon icon = CQtWindowSystem::ToQIcon(m_ws.LoadIcon(c.iconId));
            if (!icon.isNull())
                label->setPixmap(icon.pixmap(QSize(size.cx, size.cy)));
            w = label;
            break;
        }
        }
        w->setObjectName(QString::fromLatin1(c.name));
        // A label is named by the text it shows, whatever that is at the
        // time (Qt's default while no name is set).
        if (c.kind != res::ControlKind::Static)
            w->setAccessibleName(c.accessibleName ? ToQ(c.accessibleName)
                                                  : WithoutMnemonic(text));
        const QRect r = ToPixels(c.x, c.y, c.cx, c.cy);
        if (c.kind == res::ControlKind::Icon)
            w->move(r.topLeft());
        else
            w->setGeometry(r);
        if (auto* label = qobject_cast<QLabel*>(w); label && c.kind == res::ControlKind::Static) {
            label->setProperty(kTemplateWidth, r.width());
            FitStaticText(label, r.width());
        }
        if (c.style & res::kTabStop) {
            w->setFocusPolicy(Qt::StrongFocus);
            if (previous)
                setTabOrder(previous, w);
            previous = w;
        } else if (c.kind != res::ControlKind::Static && c.kind != res::ControlKind::Icon) {
            w->setFocusPolicy(Qt::ClickFocus);
        }
        w->installEventFilter(this);
        if (c.id != res::IDC_STATIC)
            m_items[c.id] = w;
    }
}

QWidget* CQtDialogWindow::Item(int id) const
{
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

int CQtDialogWindow::RunModal()
{
    m_handler.OnInitDialog();
    if (!m_bEnded) {
        // Focus on the first control that takes it, as the dialog manager
        // does when OnInitDialog leaves it alone.
        for (const res::ControlTemplate& c : m_tmpl.controls) {
            if (c.style & res::kTabStop) {
                if (QWidget* w = Item(c.id))
                    w->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
        exec();
    }
    m_handler.OnDestroy();
    for (const auto& [qtId, id] : m_timers)
        killTimer(qtId);
    m_timers.clear();
    return m_nResult;
}

void CQtDialogWindow::EndDialog(int result)
{
    m_bEnded = true;
    m_nResult = result;
    done(result);
}

void CQtDialogWindow::reject() { m_handler.OnCommand(res::IDCANCEL); }

std::u16string CQtDialogWindow::GetItemText(int id) const
{
    QWidget* w = Item(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text().toStdU16String();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        QString plain = edit->toPlainText();
        return plain.replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdU16String();
    }
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text().toStdU16String();
    if (auto* button = qobject_cast<QPushButton*>(w))
        return button->text().toStdU16String();
    return {};
}

void CQtDialogWindow::SetItemText(int id, const std::u16string& text)
{
    QWidget* w = Item(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(ToQ(text));
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        QString plain = ToQ(text);
        plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        SetMultiLineText(edit, plain);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(ToQ(text));
        FitStaticText(label, label->property(kTemplateWidth).toInt());
        DescribeStaticText(label);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(ToQ(text));
    }
}

void CQtDialogWindow::SetMultiLineText(QPlainTextEdit* edit, const QString& text)
{
    ReplaceRows(edit, text);
    // The newest row is always in sight: where the font fits fewer rows
    // than the box is given, the oldest go out of sight first.
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
    edit->horizontalScrollBar()->setValue(0);
}

void CQtDialogWindow::LimitText(int id, int maxUnits)
{
    if (auto* edit = qobject_cast<QLineEdit*>(Item(id)))
        edit->setMaxLength(maxUnits);
}

void CQtDialogWindow::SetInputFilter(int id, std::function<bool(const std::u16string&)> accept)
{
    if (auto* edit = qobject_cast<QLineEdit*>(Item(id)))
        edit->setValidator(new CFilterValidator(std::move(accept), edit));
}

void CQtDialogWindow::SetCopyAllEntry(int id, const std::u16string& label,
                                      std::function<std::u16string()> text)
{
    if (QWidget* w = Item(id); qobject_cast<QPlainTextEdit*>(w))
        m_copyAll[w] = {ToQ(label), std::move(text)};
}

void CQtDialogWindow::SetItemToolTip(int id, const std::u16string& text)
{
    if (QWidget* w = Item(id)) {
        w->setToolTip(ToQ(text));
        if (auto* label = qobject_cast<QLabel*>(w))
            DescribeStaticText(label);
        else
            w->setAccessibleDescription(ToQ(text));
    }
}

void CQtDialogWindow::SetTimer(int id, int periodMs)
{
    KillTimer(id);
    m_timers[startTimer(periodMs, Qt::PreciseTimer)] = id;
}

void CQtDialogWindow::KillTimer(int id)
{
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second == id) {
            killTimer(it->first);
            m_timers.erase(it);
            break;
        }
    }
}

void CQtDialogWindow::timerEvent(QTimerEvent* event)
{
    auto it = m_timers.find(event->timerId());
    if (it != m_timers.end())
        m_handler.OnTimer(it->second);
    else
        QDialog::timerEvent(event);
}

bool CQtDialogWindow::AppendSystemMenu(wsys::MenuItem kind, int id, const std::u16string& text)
{
    m_menu.push_back({kind, id, ToQ(text)});
    return true;
}

void CQtDialogWindow::SetIcon(wsys::IconHandle icon, bool big)
{
    // Qt keeps one icon with all its sizes for title bar and task bar.
    if (!icon)
        return;
    setWindowIcon(CQtWindowSystem::ToQIcon(icon));
    (void)big;
}

bool CQtDialogWindow::IsIconic() const { return isMinimized(); }

wsys::Size CQtDialogWindow::ClientSize() const { return {width(), height()}; }

wsys::Size CQtDialogWindow::SystemIconSize() const
{
    const int size = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    return {size, size};
}

void CQtDialogWindow::DrawIcon(int x, int y, wsys::IconHandle icon)
{
    if (!m_pPainter || !icon)
        return;
    const wsys::Size size = SystemIconSize();
    CQtWindowSystem::ToQIcon(icon).paint(m_pPainter, x, y, size.cx, size.cy);
}

void CQtDialogWindow::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    m_pPainter = &painter;
    m_handler.OnPaint();
    m_pPainter = nullptr;
}

// The functions wait in a queue of the window's own, under a lock every
// thread sees, and an eventfd wakes the loop. Nothing crosses threads
// inside a Qt event: one is made on the poster's thread and read here
// under Qt's own lock, out of the race detector's sight. The queue dies
// with the window.
void CQtDialogWindow::Post(std::function<void()> fn)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        wake = m_posts.empty();
        m_posts.push_back(std::move(fn));
    }
    if (!wake)
        return;
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        (void)!write(m_wakeFd, &one, sizeof one);
    } else {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }
}

void CQtDialogWindow::customEvent(QEvent*)
{
    RunPosted();
}

void CQtDialogWindow::RunPosted()
{
    if (m_wakeFd >= 0) {
        std::uint64_t count;
        (void)!read(m_wakeFd, &count, sizeof count);
    }
    std::deque<std::function<void()>> posts;
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        posts.swap(m_posts);
    }
    for (auto& fn : posts)
        fn();
}

QMenu* CQtDialogWindow::CreateContextMenu(QWidget* widget)
{
    QMenu* menu = nullptr;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        menu = edit->createStandardContextMenu();
    else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
        menu = edit->createStandardContextMenu();
    if (menu) {
        menu->setParent(this, menu->windowFlags());
        if (auto it = m_copyAll.find(widget); it != m_copyAll.end()) {
            QAction* all = menu->addAction(it->second.label);
            all->setObjectName(QStringLiteral("copyAll"));
            connect(all, &QAction::triggered, this, [source = it->second.text] {
                QString text = ToQ(source());
                text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                QGuiApplication::clipboard()->setText(text);
            });
        }
        menu->addSeparator();
    } else {
        // The window's own entries, as a window menu has them.
        menu = new QMenu(this);
        if (m_tmpl.style & res::kMinimizeBox)
            connect(menu->addAction(QStringLiteral("最小化(&N)")), &QAction::triggered, this,
                    [this] { showMinimized(); });
        connect(menu->addAction(QStringLiteral("閉じる(&C)")), &QAction::triggered, this,
                [this] { close(); }, Qt::QueuedConnection);
    }
    menu->setObjectName(QStringLiteral("windowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const MenuEntry& entry : m_menu) {
        if (entry.kind == wsys::MenuItem::Separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(entry.text);
        action->setObjectName(QStringLiteral("sysCommand%1").arg(entry.id));
        const int id = entry.id;
        // Queued, so that the menu has closed before a modal box opens.
        connect(action, &QAction::triggered, this, [this, id] { m_handler.OnSysCommand(id, 0); },
                Qt::QueuedConnection);
    }
    return menu;
}

void CQtDialogWindow::ShowContextMenu(QWidget* widget, const QPoint& globalPos)
{
    m_bMenuShown = true;
    QMenu* menu = CreateContextMenu(widget);
    menu->popup(globalPos);
    // Screen readers that keep a copy of the tree learn of it here.
    QAccessibleEvent shown(menu, QAccessible::ObjectCreated);
    QAccessible::updateAccessibility(&shown);
}

void CQtDialogWindow::contextMenuEvent(QContextMenuEvent* event)
{
    ShowContextMenu(this, event->globalPos());
}

bool CQtDialogWindow::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    switch (event->type()) {
    case QEvent::ContextMenu:
        // The edit controls' menus carry the window menu's entries too.
        if (widget->contextMenuPolicy() == Qt::CustomContextMenu) {
            ShowContextMenu(widget, static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // The Menu key and Shift+F10 open the context menu of the focused
        // control. Some platforms turn the Menu key into a context-menu
        // event themselves (on the press); the release opens it only where
        // none came.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat())
            return false;
        if (event->type() == QEvent::KeyPress) {
            const bool menuKey = key->key() == Qt::Key_Menu ||
                                 (key->key() == Qt::Key_F10 &&
                                  (key->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier);
            if (!menuKey)
                return false;
            m_nMenuKey = key->key();
            m_bMenuShown = false;
            return true;
        }
        // Shift may already be up when F10 is released.
        if (m_nMenuKey == 0 || key->key() != m_nMenuKey)
            return false;
        m_nMenuKey = 0;
        if (!m_bMenuShown) {
            QWidget* target = focusWidget() ? focusWidget() : this;
            ShowContextMenu(target, target->mapToGlobal(target->rect().center()));
        }
        return true;
    }
    default:
        return false;
    }
}
