// What is Qt's own in the console and the About box (offscreen, with a
// fake board): layout in dialog units of the dialog font, accessibility,
// the context menu standing in for the window menu, the whole start-up.
// What every window system does alike is in ../contract_*_test.cpp.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "fake_platform.h"
#include "qt_dialog_window.h"
#include "qt_window_system.h"
#include "resources.h"
#include "wendrel_app.h"
#include "wendrel_dlg.h"

using hid::test::FakeBoard;
using hid::test::FakePlatform;

namespace {

const std::u16string kPath = u"/dev/hidraw0";

FakeBoard Board() { return {kPath, u"HID\\VID_04D8&PID_003F&REV_0002", {65, 65}}; }

template <typename T>
T* Find(QWidget* dialog, const char* name)
{
    return dialog->findChild<T*>(QString::fromLatin1(name));
}

QWidget* ActiveDialog(const char* name)
{
    QWidget* w = QApplication::activeModalWidget();
    return w && w->objectName() == QLatin1String(name) ? w : nullptr;
}

// Runs the event loop until `done` holds; the bound only catches a hang.
bool WaitUntil(const std::function<bool()>& done)
{
    return QTest::qWaitFor(done, 60000);
}

std::string S(const QString& s) { return s.toStdString(); }

}  // namespace

class ConsoleDialogTest : public ::testing::Test {
protected:
    QObject m_context;  // the timers' owner
    std::shared_ptr<FakePlatform> m_board = std::make_shared<FakePlatform>();
    std::unique_ptr<CQtWindowSystem> m_ws = std::make_unique<CQtWindowSystem>();
    std::unique_ptr<CWendrelDlg> m_dlg = std::make_unique<CWendrelDlg>(*m_ws, m_board);

    void TearDown() override
    {
        m_dlg.reset();
        m_ws.reset();
        EXPECT_EQ(m_board->OpenHandles(), 0);
    }

    // Runs the console modally; `body` acts as the user while it runs.
    // Returns DoModal's result. The console is closed afterwards if the
    // body (or a failed check in it) left it open.
    int RunConsole(const std::function<void(QDialog*)>& body)
    {
        QTimer::singleShot(0, &m_context, [&] {
            QDialog* console = qobject_cast<QDialog*>(ActiveDialog("console"));
            if (!console) {
                ADD_FAILURE() << "the console is not the active modal window";
                return;
            }
            body(console);
            if (console->isVisible())
                QMetaObject::invokeMethod(console, [console] { console->done(-2); },
                                          Qt::QueuedConnection);
        });
        return m_dlg->DoModal();
    }

    // Calls `fn` once the modal dialog `name` is up, from inside its own
    // event loop (so `fn` must not wait for it to open).
    void WhenDialogOpens(const char* name, std::function<void(QWidget*)> fn)
    {
        auto* poll = new QTimer(&m_context);
        QObject::connect(poll, &QTimer::timeout, &m_context, [poll, name, fn] {
            if (QWidget* box = ActiveDialog(name); box && box->isVisible()) {
                poll->stop();
                poll->deleteLater();
                fn(box);
            }
        });
        poll->start(10);
    }

    void Connect(QDialog* console)
    {
        m_board->Plug(Board());
        EXPECT_TRUE(WaitUntil([&] {
            return Find<QLabel>(console, "status")->text() == "VID:0x04D8 / PID:0x003F";
        })) << S(Find<QLabel>(console, "status")->text());
    }
};

TEST_F(ConsoleDialogTest, LayoutFollowsTheTemplateInDialogUnits)
{
    RunConsole([&](QDialog* console) {
        auto* wnd = dynamic_cast<CQtDialogWindow*>(console);
        ASSERT_TRUE(wnd);
        EXPECT_EQ(S(console->windowTitle()), "Wendrel");
        const int bx = wnd->BaseUnitX(), by = wnd->BaseUnitY();
        ASSERT_TRUE(bx > 0 && by > 0);
        EXPECT_EQ(console->size(), QSize(res::DluToPixelsX(320, bx), res::DluToPixelsY(200, by)));
        EXPECT_EQ(console->minimumSize(), console->maximumSize());
        EXPECT_TRUE(console->windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(console->windowFlags() & Qt::WindowMaximizeButtonHint);

        const QStringList families{"MS UI Gothic", "IPAGothic", "IPAPGothic",
                                   "Noto Sans CJK JP"};
        EXPECT_TRUE(families.contains(console->font().family())) << S(console->font().family());
        // Proportional like the template's face, where that is missing.
        if (!QFontDatabase::hasFamily("MS UI Gothic") && QFontDatabase::hasFamily("IPAPGothic")) {
            EXPECT_EQ(S(console->font().family()), "IPAPGothic");
        }
        // The main window, not a dialog: it gets a taskbar entry.
        EXPECT_EQ(console->windowType(), Qt::Window);
        EXPECT_EQ(console->font().pointSize(), 9);

        struct Expect {
            const char* name;
            const char* text;
            const char* accessible;
            int x, y, cx, cy;
        } const expected[] = {
            {"send", "送信", "送信", 209, 179, 50, 14},
            {"quit", "終了", "終了", 263, 179, 50, 14},
            {"history", "", "受信履歴", 7, 7, 306, 149},
            {"input", "", "送信テキスト", 7, 160, 306, 14},
            {"status", "", "", 7, 185, 82, 8},
            {"boot", "Bootloder", "Bootloder", 135, 179, 50, 14},
        };
        for (const Expect& e : expected) {
            SCOPED_TRACE(e.name);
            QWidget* w = Find<QWidget>(console, e.name);
            ASSERT_TRUE(w);
            const QRect want(res::DluToPixelsX(e.x, bx), res::DluToPixelsY(e.y, by),
                             res::DluToPixelsX(e.cx, bx), res::DluToPixelsY(e.cy, by));
            if (qobject_cast<QLabel*>(w)) {
                // A label grows to the right rather than cut its text.
                EXPECT_EQ(w->pos(), want.topLeft());
                EXPECT_EQ(w->height(), want.height());
                EXPECT_GE(w->width(), want.width());
            } else {
                EXPECT_EQ(w->geometry(), want);
            }
            EXPECT_EQ(S(w->accessibleName()), e.accessible);
            if (auto* b = qobject_cast<QPushButton*>(w)) {
                EXPECT_EQ(S(b->text()), e.text);
            }
        }
        EXPECT_TRUE(Find<QPushButton>(console, "send")->isDefault());

        auto* history = Find<QPlainTextEdit>(console, "history");
        EXPECT_TRUE(history->isReadOnly());
        EXPECT_EQ(history->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        EXPECT_EQ(history->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(Find<QLineEdit>(console, "input")->maxLength(), 63);
    });
}

// The status label grows to show its whole text, without running under
// the buttons: the board's ids, or the longer word that it may not be
// opened. So do the About box's labels.
TEST_F(ConsoleDialogTest, LabelsShowTheirWholeText)
{
    RunConsole([&](QDialog* console) {
        auto* status = Find<QLabel>(console, "status");
        const auto fits = [&] {
            EXPECT_GE(status->width(), status->fontMetrics().horizontalAdvance(status->text()))
                << S(status->text());
            EXPECT_LT(status->geometry().right(), Find<QWidget>(console, "boot")->x());
        };
        m_board->SetOpenFails(hid::OpenError::PermissionDenied);
        m_board->Plug(Board());
        const QString denied = QString::fromStdU16String(PermissionDeniedStatus());
        EXPECT_TRUE(WaitUntil([&] { return status->text() == denied; })) << S(status->text());
        fits();
        m_board->ClearOpenFails();
        EXPECT_TRUE(WaitUntil([&] { return status->text() == "VID:0x04D8 / PID:0x003F"; }))
            << S(status->text());
        fits();

        bool checked = false;
        WhenDialogOpens("about", [&](QWidget* box) {
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().isEmpty())
                    continue;  // the icon
                EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
                    << S(label->text());
                EXPECT_LT(label->geometry().right(), box->width());
            }
            checked = true;
            box->close();
        });
        m_dlg->OnSysCommand(res::IDM_ABOUTBOX, 0);
        EXPECT_TRUE(checked);
    });
}

TEST_F(ConsoleDialogTest, AccessibleRoles)
{
    RunConsole([&](QDialog* console) {
        Connect(console);
        struct {
            const char* name;
            QAccessible::Role role;
        } const cases[] = {
            {"status", QAccessible::StaticText},
            {"input", QAccessible::EditableText},
            {"history", QAccessible::EditableText},
            {"send", QAccessible::Button},
            {"quit", QAccessible::Button},
            {"boot", QAccessible::Button},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            QAccessibleInterface* a =
                QAccessible::queryAccessibleInterface(Find<QWidget>(console, c.name));
            ASSERT_TRUE(a);
            EXPECT_EQ(a->role(), c.role);
            EXPECT_FALSE(a->text(QAccessible::Name).isEmpty());
        }
        QAccessibleInterface* history =
            QAccessible::queryAccessibleInterface(Find<QWidget>(console, "history"));
        EXPECT_TRUE(history->state().readOnly);
        // Screen readers speak the status label's name: it is what the
        // label shows.
        QAccessibleInterface* status =
            QAccessible::queryAccessibleInterface(Find<QWidget>(console, "status"));
        EXPECT_EQ(S(status->text(QAccessible::Name)), "VID:0x04D8 / PID:0x003F");
        EXPECT_EQ(S(status->text(QAccessible::Description)), "");
    });
}

// The window manager owns the window menu on Linux: its entries are on
// the context menu, which the mouse and the keys open anywhere in the
// console, and the About entry there opens the About box.
TEST_F(ConsoleDialogTest, ContextMenuOpensTheAboutBox)
{
    for (const char* how : {"right click", "Shift+F10 in the input line", "Menu key on a button",
                            "right click in the history box"}) {
        SCOPED_TRACE(how);
        const std::string way = how;
        bool aboutSeen = false;
        RunConsole([&](QDialog* console) {
            if (way == "right click") {
                QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(300, 290),
                                     console->mapToGlobal(QPoint(300, 290)));
                QApplication::sendEvent(console, &ev);
            } else if (way == "right click in the history box") {
                // As the platform delivers it: to the box's viewport.
                QWidget* viewport = Find<QPlainTextEdit>(console, "history")->viewport();
                QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(20, 20),
                                     viewport->mapToGlobal(QPoint(20, 20)));
                QApplication::sendEvent(viewport, &ev);
            } else if (way == "Shift+F10 in the input line") {
                auto* input = Find<QLineEdit>(console, "input");
                input->setFocus();
                QTest::keyClick(input, Qt::Key_F10, Qt::ShiftModifier);
            } else {
                auto* boot = Find<QPushButton>(console, "boot");
                boot->setFocus();
                QTest::keyClick(boot, Qt::Key_Menu);
            }
            QMenu* menu = nullptr;
            ASSERT_TRUE(WaitUntil(
                [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
            const QList<QAction*> actions = menu->actions();
            ASSERT_GE(actions.size(), 2);
            EXPECT_TRUE(actions.at(actions.size() - 2)->isSeparator());
            QAction* about = actions.last();
            EXPECT_EQ(S(about->text()), "バージョン情報 Wendrel(&A)...");

            WhenDialogOpens("about", [&](QWidget* box) {
                aboutSeen = true;
                QTest::mouseClick(Find<QPushButton>(box, "ok"), Qt::LeftButton);
            });
            menu->close();
            about->trigger();
            EXPECT_TRUE(WaitUntil([&] { return aboutSeen && ActiveDialog("console"); }));
            EXPECT_TRUE(console->isVisible());
        });
        EXPECT_TRUE(aboutSeen);
    }
}

// The open context menu is part of the window's accessible tree, so
// screen readers and test tools can reach the About entry.
TEST_F(ConsoleDialogTest, OpenContextMenuIsOnTheAccessibilityTree)
{
    RunConsole([&](QDialog* console) {
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(console);
        const int closed = window->childCount();
        QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(300, 290),
                             console->mapToGlobal(QPoint(300, 290)));
        QApplication::sendEvent(console, &ev);
        QMenu* menu = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
        EXPECT_EQ(window->childCount(), closed + 1);
        QAccessibleInterface* popup = window->child(closed);
        ASSERT_TRUE(popup);
        EXPECT_EQ(popup->object(), menu);
        EXPECT_EQ(popup->role(), QAccessible::PopupMenu);
        EXPECT_EQ(window->indexOfChild(popup), closed);
        QStringList names;
        for (int i = 0; i < popup->childCount(); ++i)
            names.append(popup->child(i)->text(QAccessible::Name));
        EXPECT_TRUE(names.contains(QStringLiteral("バージョン情報 Wendrel(A)...")))
            << S(names.join(" | "));
        menu->close();
        EXPECT_TRUE(WaitUntil([&] { return window->childCount() == closed; }));
    });
}

// The history box's own entries are on the tree too, the times entry
// as a check that says whether it is on.
TEST_F(ConsoleDialogTest, HistoryMenuEntriesOnTheAccessibilityTree)
{
    RunConsole([&](QDialog* console) {
        auto* history = Find<QPlainTextEdit>(console, "history");
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(console);
        for (const bool on : {false, true}) {
            SCOPED_TRACE(on ? "times on" : "times off");
            const QPoint at = history->viewport()->rect().center();
            QContextMenuEvent ev(QContextMenuEvent::Mouse, at, history->viewport()->mapToGlobal(at));
            QApplication::sendEvent(history->viewport(), &ev);
            QMenu* menu = nullptr;
            ASSERT_TRUE(WaitUntil(
                [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
            QAccessibleInterface* popup = window->child(window->childCount() - 1);
            ASSERT_TRUE(popup && popup->object() == menu);
            QAccessibleInterface* times = nullptr;
            QStringList names;
            for (int i = 0; i < popup->childCount(); ++i) {
                names.append(popup->child(i)->text(QAccessible::Name));
                if (names.back() == QStringLiteral("時刻を表示(T)"))
                    times = popup->child(i);
            }
            for (const char* entry : {"検索(F)...", "履歴を消去(L)", "受信履歴をすべてコピー(H)"})
                EXPECT_TRUE(names.contains(QString::fromUtf8(entry))) << S(names.join(" | "));
            ASSERT_TRUE(times) << S(names.join(" | "));
            EXPECT_TRUE(times->state().checkable);
            EXPECT_EQ(bool(times->state().checked), on);
            if (!on) {
                const QList<QAction*> actions = menu->actions();
                for (QAction* action : actions)
                    if (action->text() == QStringLiteral("時刻を表示(&T)"))
                        action->trigger();
            }
            menu->close();
            EXPECT_TRUE(WaitUntil([] { return !QApplication::activePopupWidget(); }));
        }
    });
}

// The find window is ours on Linux: modeless over the console, with
// its field, two searches (the next the default), the case option off
// and a close button; the searches wait for something to find.
TEST_F(ConsoleDialogTest, FindWindowHasItsControls)
{
    RunConsole([&](QDialog* console) {
        // A shortcut of the window the user types in.
        console->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(console));
        QTest::keyClick(Find<QLineEdit>(console, "input"), Qt::Key_F, Qt::ControlModifier);
        QDialog* find = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] { return (find = Find<QDialog>(console, "find")) && find->isVisible(); }));
        EXPECT_EQ(S(find->windowTitle()), "検索");
        EXPECT_FALSE(find->isModal());
        EXPECT_EQ(QApplication::activeModalWidget(), console);
        auto* field = Find<QLineEdit>(find, "findText");
        ASSERT_TRUE(field);
        EXPECT_EQ(S(field->accessibleName()), "検索");
        auto* next = Find<QPushButton>(find, "findNext");
        auto* previous = Find<QPushButton>(find, "findPrevious");
        EXPECT_EQ(S(next->text()), "次を検索(&N)");
        EXPECT_EQ(S(previous->text()), "前を検索(&P)");
        EXPECT_TRUE(next->isDefault());
        auto* matchCase = Find<QCheckBox>(find, "matchCase");
        EXPECT_EQ(S(matchCase->text()), "大文字と小文字を区別する(&C)");
        EXPECT_FALSE(matchCase->isChecked());
        EXPECT_TRUE(!next->isEnabled() && !previous->isEnabled());
        QTest::keyClicks(field, "x");
        EXPECT_TRUE(next->isEnabled() && previous->isEnabled());
        auto* close = Find<QPushButton>(find, "findClose");
        EXPECT_EQ(S(close->text()), "閉じる");
        QTest::mouseClick(close, Qt::LeftButton);
        EXPECT_TRUE(WaitUntil([&] { return !find->isVisible(); }));
    });
}

// The whole start-up: the console runs, Escape ends it, and every
// thread it started has ended when InitInstance returns.
TEST(ConsoleStartUp, InitInstanceEndsWithNothingLeft)
{
#if !defined(__linux__)
    GTEST_SKIP() << "counts threads through /proc";
#endif
    const auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    const auto before = threads();
    bool closed = false;
    QObject context;
    QTimer::singleShot(0, &context, [&] {
        QWidget* console = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (console = ActiveDialog("console")); }));
        QTest::qWait(120);  // a few poll ticks
        QTest::keyClick(console, Qt::Key_Escape);
        closed = true;
    });
    CWendrelApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(closed);
    // A device worker still inside a kernel call is left to end on its
    // own rather than hold the exit; on a loaded machine that can take
    // a moment after InitInstance returns.
    EXPECT_TRUE(WaitUntil([&] { return threads() == before; })) << threads() << " vs " << before;
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
