#include "qt_dialog_window.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimerEvent>

#include <utility>

#include "label_fit.h"
#include "qt_accessibility.h"
#include "qt_context_menu.h"
#include "qt_find.h"
#include "qt_input_filter.h"
#include "qt_line_recall.h"
#include "qt_row_box.h"
#include "qt_window_system.h"

namespace {

constexpr char kTemplateWidth[] = "templateWidth";

QString ToQ(const std::u16string& s) { return QString::fromStdU16String(s); }

void FitLabel(QLabel* label)
{
    label->resize(wsys::FittedLabelWidth(label->property(kTemplateWidth).toInt(),
                                         label->fontMetrics().horizontalAdvance(label->text()),
                                         label->x(), label->parentWidget()->width()),
                  label->height());
}

}  // namespace

CQtDialogWindow::CQtDialogWindow(CQtWindowSystem& ws, const res::DialogTemplate& tmpl,
                                 wsys::IDialogHandler& handler, QWidget* parent)
    : QDialog(parent), m_ws(ws), m_handler(handler), m_tmpl(tmpl)
{
    InstallDialogAccessibility();
    setObjectName(QString::fromLatin1(tmpl.name));
    setWindowTitle(ToQ(tmpl.title));
    if (m_wake.Valid()) {
        m_pWakeNotifier = new QSocketNotifier(static_cast<qintptr>(m_wake.Native()),
                                              QSocketNotifier::Read, this);
        connect(m_pWakeNotifier, &QSocketNotifier::activated, this, [this] { RunPosted(); });
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

    m_pMenu = new CQtContextMenu(*this, handler, tmpl.style & res::kMinimizeBox);
    BuildControls(tmpl);
    m_pMenu->Watch(this);
}

CQtDialogWindow::~CQtDialogWindow()
{
    // Before the eventfd closes.
    delete m_pWakeNotifier;
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
        QWidget* w = BuildControl(c);
        w->setObjectName(QString::fromLatin1(c.name));
        // A label is named by the text it shows, whatever that is at the
        // time (Qt's default while no name is set).
        if (c.kind != res::ControlKind::Static)
            w->setAccessibleName(c.accessibleName ? ToQ(c.accessibleName)
                                                  : WithoutMnemonic(ToQ(c.text)));
        const QRect r = ToPixels(c.x, c.y, c.cx, c.cy);
        if (c.kind == res::ControlKind::Icon)
            w->move(r.topLeft());
        else
            w->setGeometry(r);
        if (c.kind == res::ControlKind::Static) {
            w->setProperty(kTemplateWidth, r.width());
            FitLabel(static_cast<QLabel*>(w));
        }
        if (c.style & res::kTabStop) {
            w->setFocusPolicy(Qt::StrongFocus);
            if (previous)
                setTabOrder(previous, w);
            previous = w;
        } else if (c.kind != res::ControlKind::Static && c.kind != res::ControlKind::Icon) {
            w->setFocusPolicy(Qt::ClickFocus);
        }
        m_pMenu->Watch(w);
        if (c.id != res::IDC_STATIC)
            m_items[c.id] = w;
    }
}

QWidget* CQtDialogWindow::BuildControl(const res::ControlTemplate& c)
{
    const QString text = ToQ(c.text);
    switch (c.kind) {
    case res::ControlKind::PushButton:
    case res::ControlKind::DefPushButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(true);
        button->setDefault(c.kind == res::ControlKind::DefPushButton);
        const int id = c.id;
        connect(button, &QPushButton::clicked, this, [this, id] { m_handler.OnCommand(id); });
        return button;
    }
    case res::ControlKind::Edit: {
        auto* edit = new QLineEdit(text, this);
        edit->setFrame(c.style & res::kBorder);
        edit->setContextMenuPolicy(Qt::CustomContextMenu);
        return edit;
    }
    case res::ControlKind::MultiEdit: {
        // A multi-line control is a box of rows.
        auto* edit = new CQtRowBox(this);
        edit->setPlainText(text);
        edit->setReadOnly(c.style & res::kReadOnly);
        if (c.style & res::kReadOnly)
            edit->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                          Qt::TextSelectableByKeyboard);
        edit->setFrameShape((c.style & res::kBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
        edit->setContextMenuPolicy(Qt::CustomContextMenu);
        // A right click lands on the viewport, which hands it to the box
        // without going through event filters.
        connect(edit, &QWidget::customContextMenuRequested, this, [this, edit](QPoint pos) {
            m_pMenu->Show(edit, edit->viewport()->mapToGlobal(pos));
        });
        return edit;
    }
    case res::ControlKind::Static: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);  // '&' and markup shown as they are
        label->setText(text);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case res::ControlKind::Icon:
        break;
    }
    // Shown at the icon's own size, as an icon control sizes itself.
    auto* label = new QLabel(this);
    const wsys::Size size = SystemIconSize();
    label->setFixedSize(size.cx, size.cy);
    const QIcon icon = CQtWindowSystem::ToQIcon(m_ws.LoadIcon(c.iconId));
    if (!icon.isNull())
        label->setPixmap(icon.pixmap(QSize(size.cx, size.cy)));
    return label;
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
    m_posts.Close();
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
        if (auto filter = m_filters.find(id); filter != m_filters.end())
            filter->second->SetProgramText(ToQ(text));
        else
            edit->setText(ToQ(text));
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        edit->setPlainText(ToQ(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(ToQ(text));
        FitLabel(label);
        DescribeLabel(label);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(ToQ(text));
    }
}

void CQtDialogWindow::UpdateRows(int id, const wsys::RowChange& change)
{
    if (auto* box = dynamic_cast<CQtRowBox*>(Item(id)))
        box->Update(change);
}

void CQtDialogWindow::LimitText(int id, int maxUnits)
{
    if (auto* edit = qobject_cast<QLineEdit*>(Item(id)))
        edit->setMaxLength(maxUnits);
}

void CQtDialogWindow::SetInputFilter(int id, std::function<bool(const std::u16string&)> accept)
{
    if (auto* edit = qobject_cast<QLineEdit*>(Item(id))) {
        CQtInputFilter*& filter = m_filters[id];
        delete filter;
        filter = new CQtInputFilter(edit, std::move(accept));
        edit->setValidator(filter);
    }
}

void CQtDialogWindow::SetCopyAllEntry(int id, const std::u16string& label,
                                      std::function<std::u16string()> text)
{
    if (QWidget* w = Item(id); qobject_cast<QPlainTextEdit*>(w))
        m_pMenu->SetCopyAll(w, ToQ(label), std::move(text));
}

void CQtDialogWindow::AddContextCommand(int id, int command, const std::u16string& label,
                                        bool checkable)
{
    if (QWidget* w = Item(id); qobject_cast<QPlainTextEdit*>(w))
        m_pMenu->AddCommand(w, command, ToQ(label), checkable);
}

void CQtDialogWindow::SetContextCheck(int id, int command, bool checked)
{
    if (QWidget* w = Item(id))
        m_pMenu->SetChecked(w, command, checked);
}

void CQtDialogWindow::AddFindEntry(int id)
{
    auto* box = dynamic_cast<CQtRowBox*>(Item(id));
    if (!box || m_pFind)
        return;
    m_pFind = new CQtFind(*this, *box);
    m_pMenu->AddOpener(box, ToQ(res::LoadString(res::IDS_FIND)), [this] { m_pFind->Open(); });
}

void CQtDialogWindow::SetLineRecall(int id, Recall recall)
{
    auto* edit = qobject_cast<QLineEdit*>(Item(id));
    if (!edit)
        return;
    new CQtLineRecall(edit, std::move(recall), [this, id](const QString& line) {
        SetItemText(id, line.toStdU16String());
    });
}

void CQtDialogWindow::Beep() { QApplication::beep(); }

void CQtDialogWindow::SetItemToolTip(int id, const std::u16string& text)
{
    if (QWidget* w = Item(id)) {
        w->setToolTip(ToQ(text));
        if (auto* label = qobject_cast<QLabel*>(w))
            DescribeLabel(label);
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
    m_pMenu->Append(kind, id, ToQ(text));
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

// Nothing crosses threads inside a Qt event, which the poster's thread
// makes and this one reads under Qt's own lock, out of the race detector's
// sight: the function waits in the queue, under a lock every thread sees,
// and the eventfd only wakes the loop.
void CQtDialogWindow::Post(std::function<void()> fn)
{
    if (!m_posts.Post(std::move(fn)))
        return;
    if (m_wake.Valid())
        m_wake.Signal();
    else
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
}

void CQtDialogWindow::customEvent(QEvent*) { RunPosted(); }

void CQtDialogWindow::RunPosted()
{
    m_wake.Clear();
    m_posts.Drain();
}

QMenu* CQtDialogWindow::CreateContextMenu(QWidget* widget) { return m_pMenu->Create(widget); }

void CQtDialogWindow::contextMenuEvent(QContextMenuEvent* event)
{
    m_pMenu->Show(this, event->globalPos());
}
