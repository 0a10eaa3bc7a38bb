#include "qt_find.h"

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include "qt_accessibility.h"
#include "qt_row_box.h"
#include "resources.h"
#include "text_search.h"

namespace {

QString Text(int id) { return QString::fromStdU16String(res::LoadString(id)); }

}  // namespace

CQtFind::CQtFind(QDialog& dialog, CQtRowBox& box) : QObject(&dialog), m_dialog(dialog), m_box(box)
{
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), &dialog);
    connect(find, &QShortcut::activated, this, [this] { Open(); });
    AddKeys(&dialog);
}

void CQtFind::AddKeys(QWidget* window)
{
    auto* next = new QShortcut(QKeySequence(Qt::Key_F3), window);
    connect(next, &QShortcut::activated, this, [this] { Repeat(true); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), window);
    connect(previous, &QShortcut::activated, this, [this] { Repeat(false); });
}

void CQtFind::Build()
{
    // A child of the dialog: above it, and taking input while the dialog
    // runs modally.
    m_pWindow = new QDialog(&m_dialog, Qt::Dialog | Qt::CustomizeWindowHint |
                                            Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_pWindow->setObjectName(QStringLiteral("find"));
    m_pWindow->setWindowTitle(Text(res::IDS_FIND_TITLE));
    m_pWindow->setModal(false);
    m_pWindow->setFont(m_dialog.font());

    m_pField = new QLineEdit(m_pWindow);
    m_pField->setObjectName(QStringLiteral("findText"));
    // The window's title says what the field is for.
    m_pField->setAccessibleName(Text(res::IDS_FIND_TITLE));
    m_pNext = new QPushButton(Text(res::IDS_FIND_NEXT), m_pWindow);
    m_pNext->setObjectName(QStringLiteral("findNext"));
    m_pNext->setDefault(true);
    m_pPrevious = new QPushButton(Text(res::IDS_FIND_PREVIOUS), m_pWindow);
    m_pPrevious->setObjectName(QStringLiteral("findPrevious"));
    m_pPrevious->setAutoDefault(false);
    m_pMatchCase = new QCheckBox(Text(res::IDS_MATCH_CASE), m_pWindow);
    m_pMatchCase->setObjectName(QStringLiteral("matchCase"));
    auto* close = new QPushButton(Text(res::IDS_FIND_CLOSE), m_pWindow);
    close->setObjectName(QStringLiteral("findClose"));
    close->setAutoDefault(false);
    m_pStatus = new QLabel(m_pWindow);
    m_pStatus->setObjectName(QStringLiteral("findStatus"));
    m_pStatus->setTextFormat(Qt::PlainText);

    auto* grid = new QGridLayout(m_pWindow);
    grid->addWidget(m_pField, 0, 0);
    grid->addWidget(m_pNext, 0, 1);
    grid->addWidget(m_pMatchCase, 1, 0);
    grid->addWidget(m_pPrevious, 1, 1);
    grid->addWidget(m_pStatus, 2, 0);
    grid->addWidget(close, 2, 1);
    grid->setColumnStretch(0, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    m_pField->setMinimumWidth(m_pField->fontMetrics().averageCharWidth() * 28);
    QWidget::setTabOrder(m_pField, m_pMatchCase);
    QWidget::setTabOrder(m_pMatchCase, m_pNext);
    QWidget::setTabOrder(m_pNext, m_pPrevious);
    QWidget::setTabOrder(m_pPrevious, close);

    auto enable = [this] {
        const bool any = !m_pField->text().isEmpty();
        m_pNext->setEnabled(any);
        m_pPrevious->setEnabled(any);
        SayNotFound(false);
    };
    enable();
    connect(m_pField, &QLineEdit::textChanged, this, enable);
    connect(m_pMatchCase, &QCheckBox::toggled, this, [this] { SayNotFound(false); });
    connect(m_pNext, &QPushButton::clicked, this, [this] { Search(true); });
    connect(m_pPrevious, &QPushButton::clicked, this, [this] { Search(false); });
    connect(close, &QPushButton::clicked, m_pWindow, &QDialog::reject);
    // The keys go back to the console, as a window manager would have it
    // (and where there is none).
    connect(m_pWindow, &QDialog::finished, this, [this] { m_dialog.activateWindow(); });
    AddKeys(m_pWindow);
}

void CQtFind::Open()
{
    if (!m_pWindow)
        Build();
    // A selection over several rows cannot be a search: the field keeps
    // the last one.
    const QString selected = m_box.textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        m_pField->setText(selected);
    Show();
}

void CQtFind::Show()
{
    if (!m_pWindow->isVisible()) {
        // In the box's top right corner, over the ends of the rows, where
        // it hides the least.
        const QPoint corner = m_box.mapToGlobal(QPoint(m_box.width(), 0));
        m_pWindow->adjustSize();
        m_pWindow->move(corner.x() - m_pWindow->width(), corner.y());
    }
    m_pWindow->show();
    m_pWindow->raise();
    m_pWindow->activateWindow();
    m_pField->setFocus(Qt::ShortcutFocusReason);
    m_pField->selectAll();
}

void CQtFind::Repeat(bool forward)
{
    if (!m_pWindow || m_pField->text().isEmpty()) {
        Open();
        return;
    }
    Search(forward);
}

void CQtFind::Search(bool forward)
{
    const std::u16string needle = m_pField->text().toStdU16String();
    const std::u16string text = m_box.toPlainText().toStdU16String();
    const QTextCursor c = m_box.textCursor();
    const auto match =
        wsys::FindInText(text, needle, static_cast<std::size_t>(c.selectionStart()),
                         static_cast<std::size_t>(c.selectionEnd()), forward,
                         m_pMatchCase->isChecked());
    if (!match) {
        // Said where it can be read, the selection left as it was.
        if (!m_pWindow->isVisible())
            Show();
        SayNotFound(true);
        return;
    }
    SayNotFound(false);
    m_box.ShowMatch(static_cast<int>(match->start), static_cast<int>(match->start + match->length));
}

void CQtFind::SayNotFound(bool notFound)
{
    m_pStatus->setText(notFound ? Text(res::IDS_NOT_FOUND) : QString());
}
