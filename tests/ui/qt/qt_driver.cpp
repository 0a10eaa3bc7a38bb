// The window contract's driver on Qt, offscreen: the user's keys and
// clicks are Qt Test's, controls are found by their object names.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

#include "qt_counting_window.h"
#include "qt_dialog_window.h"
#include "qt_input.h"
#include "qt_window_system.h"
#include "window_contract.h"

namespace {

using namespace qtdrv;

class CQtDriver final : public contract::CDriver {
public:
    wsys::IWindowSystem& WindowSystem() override { return m_ws; }

    int Run(const std::function<int()>& modal, const std::function<void()>& user) override
    {
        bool started = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QPointer<CQtDialogWindow> wnd = Innermost();
            if (started || !wnd || !wnd->isVisible())
                return;
            started = true;
            poll.stop();
            user();
            if (wnd && wnd->isVisible())
                wnd->EndDialog(-2);
        });
        poll.start(5);
        return modal();
    }

    bool WaitUntil(const std::function<bool()>& done) override
    {
        return QTest::qWaitFor(done, 60000);
    }

    void ProcessEvents() override { QCoreApplication::processEvents(); }

    void WhenDialogOpens(const char* name, std::function<void()> whileUp) override
    {
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [poll, name = QString::fromLatin1(name),
                                                  fn = std::move(whileUp)] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || w->objectName() != name || !w->isVisible())
                return;
            poll->stop();
            poll->deleteLater();
            fn();
        });
        poll->start(10);
    }

    std::vector<std::string> ModalDialogs() override
    {
        // exec() makes each one application-modal: the one under it takes
        // no input.
        std::vector<std::string> names;
        for (QWidget* w = QApplication::activeModalWidget(); w; w = w->parentWidget())
            names.insert(names.begin(), w->objectName().toStdString());
        return names;
    }

    std::u16string Title() override
    {
        QDialog* dlg = Innermost();
        return dlg ? dlg->windowTitle().toStdU16String() : std::u16string();
    }

    void CloseBox() override
    {
        if (QDialog* dlg = Innermost())
            dlg->close();
    }

    std::u16string Text(const char* control) override
    {
        QWidget* w = Control(control);
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            return edit->text().toStdU16String();
        if (auto* box = qobject_cast<QPlainTextEdit*>(w))
            return box->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdU16String();
        if (auto* label = qobject_cast<QLabel*>(w))
            return label->text().toStdU16String();
        if (auto* button = qobject_cast<QPushButton*>(w))
            return button->text().toStdU16String();
        return {};
    }

    std::u16string ToolTip(const char* control) override
    {
        QWidget* w = Control(control);
        return w ? w->toolTip().toStdU16String() : std::u16string();
    }

    bool Exists(const char* control) override
    {
        QDialog* dlg = Innermost();
        return dlg && dlg->findChild<QWidget*>(QString::fromLatin1(control));
    }

    std::string Focused() override
    {
        QDialog* dlg = Innermost();
        QWidget* w = dlg ? dlg->focusWidget() : nullptr;
        return w ? w->objectName().toStdString() : std::string();
    }

    std::string NextInTabOrder(const char* control) override
    {
        Focus(control);
        if (QDialog* dlg = Innermost(); dlg && dlg->focusWidget())
            QTest::keyClick(dlg->focusWidget(), Qt::Key_Tab);
        return Focused();
    }

    void Focus(const char* control) override
    {
        if (QWidget* w = Control(control))
            w->setFocus(Qt::OtherFocusReason);
    }

    void Type(const char* control, const std::u16string& text) override
    {
        if (QWidget* w = Control(control))
            qt_input::Type(w, text);
    }

    void Paste(const char* control, const std::u16string& text) override
    {
        QApplication::clipboard()->setText(ToQ(text));
        if (QWidget* w = Control(control))
            QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
    }

    void Press(const char* control, contract::Key key) override
    {
        if (QWidget* w = Control(control))
            qt_input::Press(w, key);
    }

    void Click(const char* control) override
    {
        if (QWidget* w = Control(control))
            QTest::mouseClick(w, Qt::LeftButton);
    }

    void Select(const char* control, int start, int end) override
    {
        QWidget* w = Control(control);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setCursorPosition(start);
            if (end > start)
                edit->setSelection(start, end - start);
        } else if (auto* box = qobject_cast<QPlainTextEdit*>(w)) {
            QTextCursor c(box->document());
            c.setPosition(TextToDocument(box->document(), start));
            c.setPosition(TextToDocument(box->document(), end), QTextCursor::KeepAnchor);
            box->setTextCursor(c);
        }
    }

    std::pair<int, int> Selection(const char* control) override
    {
        QWidget* w = Control(control);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            if (!edit->hasSelectedText())
                return {edit->cursorPosition(), edit->cursorPosition()};
            return {edit->selectionStart(), edit->selectionEnd()};
        }
        if (auto* box = qobject_cast<QPlainTextEdit*>(w)) {
            const QTextCursor c = box->textCursor();
            return {DocumentToText(box->document(), c.selectionStart()),
                    DocumentToText(box->document(), c.selectionEnd())};
        }
        return {0, 0};
    }

    contract::RowsInSight RowsShown(const char* control) override
    {
        contract::RowsInSight shown;
        auto* box = qobject_cast<QPlainTextEdit*>(Control(control));
        if (!box)
            return shown;
        const int bottom = box->viewport()->height();
        for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) {
            const QRect r = box->cursorRect(QTextCursor(b));
            if (r.top() < 0 || r.bottom() > bottom)
                continue;
            if (shown.first < 0)
                shown.first = b.blockNumber();
            shown.last = b.blockNumber();
        }
        return shown;
    }

    void Shrink(const char* control, int rows, int of) override
    {
        if (QWidget* w = Control(control))
            w->setFixedHeight(w->height() * rows / of);
    }

    bool HasScrollBar(const char* control) override
    {
        auto* box = qobject_cast<QPlainTextEdit*>(Control(control));
        // Shown on the loop's next turn, as the user sees it.
        QCoreApplication::processEvents();
        return box && box->verticalScrollBar()->isVisible();
    }

    void Wheel(const char* control, int notches) override
    {
        if (auto* box = qobject_cast<QPlainTextEdit*>(Control(control)))
            qt_input::Wheel(box->viewport(), notches);
    }

    void CtrlWheel(const char* control, int notches) override
    {
        if (auto* box = qobject_cast<QPlainTextEdit*>(Control(control)))
            qt_input::Wheel(box->viewport(), notches, Qt::ControlModifier);
    }

    int FontPoints(const char* control) override
    {
        QWidget* w = Control(control);
        return w ? w->font().pointSize() : 0;
    }

    void DragScrollBar(const char* control, int row) override
    {
        auto* box = qobject_cast<QPlainTextEdit*>(Control(control));
        if (!box)
            return;
        // As the thumb reports a drag: down, moved, released.
        QScrollBar* bar = box->verticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(std::min(row, bar->maximum()));
        bar->setSliderDown(false);
    }

    bool FindShown() override
    {
        QDialog* find = FindWindow();
        return find && find->isVisible();
    }

    std::u16string FindField() override
    {
        auto* field = FindPart<QLineEdit>("findText");
        return field ? field->text().toStdU16String() : std::u16string();
    }

    void Find(const std::u16string& text, bool matchCase, bool forward) override
    {
        auto* field = FindPart<QLineEdit>("findText");
        auto* option = FindPart<QCheckBox>("matchCase");
        auto* button = FindPart<QPushButton>(forward ? "findNext" : "findPrevious");
        if (!field || !option || !button)
            return;
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        qt_input::Type(field, text);
        if (option->isChecked() != matchCase)
            QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(2, option->height() / 2));
        QTest::mouseClick(button, Qt::LeftButton);
    }

    std::u16string FindMessage() override
    {
        auto* status = FindPart<QLabel>("findStatus");
        return status ? status->text().toStdU16String() : std::u16string();
    }

    void PressInFind(contract::Key key) override
    {
        QDialog* find = FindWindow();
        if (!find) {
            ADD_FAILURE() << "no find window";
            return;
        }
        qt_input::Press(find->focusWidget() ? find->focusWidget() : find, key);
    }

    bool ContextChecked(const char* control, const std::u16string& entry) override
    {
        CQtDialogWindow* dlg = Innermost();
        QWidget* w = Control(control);
        if (!dlg || !w)
            return false;
        QMenu* menu = dlg->CreateContextMenu(w);
        bool checked = false;
        for (QAction* action : menu->actions())
            if (action->text().toStdU16String() == entry)
                checked = action->isChecked();
        delete menu;
        return checked;
    }

    std::vector<std::u16string> WindowMenu() override { return Menu(Innermost(), u""); }

    void ChooseFromWindowMenu(const std::u16string& entry) override { Menu(Innermost(), entry); }

    std::vector<std::u16string> ContextMenu(const char* control,
                                            const std::u16string& choose) override
    {
        return Menu(Control(control), choose);
    }

    std::u16string Clipboard() override
    {
        return QApplication::clipboard()->text().toStdU16String();
    }

    void ClearClipboard() override { QApplication::clipboard()->clear(); }

    void Screenshot(const char* name, const char* control) override
    {
        QWidget* w = control ? Control(control) : Innermost();
        if (!w)
            return;
        const QString dir = QStringLiteral(WENDREL_SCREENSHOT_DIR);
        QDir().mkpath(dir);
        EXPECT_TRUE(w->grab().save(dir + "/" + QString::fromLatin1(name) + ".png")) << name;
    }

    int RowUpdates() override { return m_ws.rowUpdates; }

    void AnswerSaveDialogs(const std::u16string& path, std::function<void()> whileOpen) override
    {
        m_ws.answers.path = path;
        m_ws.answers.whileOpen = std::move(whileOpen);
        m_ws.answers.offers.clear();
        m_ws.answers.messages.clear();
    }
    std::vector<contract::SaveOffer> SaveDialogs() override { return m_ws.answers.offers; }
    std::vector<std::u16string> Messages() override { return m_ws.answers.messages; }

private:
    static CQtDialogWindow* Innermost()
    {
        return dynamic_cast<CQtDialogWindow*>(QApplication::activeModalWidget());
    }

    // The console's find window, once it has one.
    static QDialog* FindWindow()
    {
        QDialog* dlg = Innermost();
        return dlg ? dlg->findChild<QDialog*>(QStringLiteral("find"), Qt::FindDirectChildrenOnly)
                   : nullptr;
    }

    template <typename T>
    static T* FindPart(const char* name)
    {
        QDialog* find = FindWindow();
        T* part = find ? find->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        if (!part)
            ADD_FAILURE() << "no \"" << name << "\" in a find window";
        return part;
    }

    static QWidget* Control(const char* name)
    {
        QDialog* dlg = Innermost();
        QWidget* w = dlg ? dlg->findChild<QWidget*>(QString::fromLatin1(name)) : nullptr;
        if (!w)
            ADD_FAILURE() << "no control \"" << name << "\" in the dialog that runs";
        return w;
    }

    // The context menu over `w` (the dialog's own: the window menu), its
    // entries' texts, and `choose` chosen.
    static std::vector<std::u16string> Menu(QWidget* w, const std::u16string& choose)
    {
        std::vector<std::u16string> entries;
        CQtDialogWindow* dlg = Innermost();
        if (!dlg || !w)
            return entries;
        QMenu* menu = dlg->CreateContextMenu(w);
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            entries.push_back(action->isSeparator() ? u"" : action->text().toStdU16String());
            if (!choose.empty() && entries.back() == choose)
                chosen = action;
        }
        if (chosen)
            chosen->trigger();
        else if (!choose.empty())
            ADD_FAILURE() << "no such menu entry";
        delete menu;
        return entries;
    }

    CCountingWindowSystem m_ws;
};

CQtDriver* g_pDriver = nullptr;  // lives in main, with the application

}  // namespace

contract::CDriver& contract::Driver() { return *g_pDriver; }

int main(int argc, char** argv)
{
    // No display needed; the board's code page is Japanese (932) whatever
    // the machine's locale.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "ja_JP.UTF-8");
    QApplication app(argc, argv);
    // Dialogs come and go; none of them ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    CQtDriver driver;
    g_pDriver = &driver;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
