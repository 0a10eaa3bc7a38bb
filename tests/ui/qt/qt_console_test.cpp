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

}  // namespace

class ConsoleDialogTest : public QObject {
    Q_OBJECT

    std::shared_ptr<FakePlatform> m_board;
    std::unique_ptr<CQtWindowSystem> m_ws;
    std::unique_ptr<CWendrelDlg> m_dlg;

    // Runs the console modally; `body` acts as the user while it runs.
    // Returns DoModal's result. The console is closed afterwards if the
    // body (or a failed check in it) left it open.
    int RunConsole(const std::function<void(QDialog*)>& body)
    {
        QTimer::singleShot(0, this, [&] {
            QDialog* console = qobject_cast<QDialog*>(ActiveDialog("console"));
            if (!console) {
                QFAIL("the console is not the active modal window");
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
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, name, fn] {
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
        QTRY_COMPARE(Find<QLabel>(console, "status")->text(),
                     QStringLiteral("VID:0x04D8 / PID:0x003F"));
    }

private slots:
    void init()
    {
        m_board = std::make_shared<FakePlatform>();
        m_ws = std::make_unique<CQtWindowSystem>();
        m_dlg = std::make_unique<CWendrelDlg>(*m_ws, m_board);
    }

    void cleanup()
    {
        m_dlg.reset();
        m_ws.reset();
        QCOMPARE(m_board->OpenHandles(), 0);
    }

    void layoutFollowsTheTemplateInDialogUnits()
    {
        RunConsole([&](QDialog* console) {
            auto* wnd = dynamic_cast<CQtDialogWindow*>(console);
            QVERIFY(wnd);
            QCOMPARE(console->windowTitle(), QStringLiteral("Wendrel"));
            const int bx = wnd->BaseUnitX(), by = wnd->BaseUnitY();
            QVERIFY(bx > 0 && by > 0);
            QCOMPARE(console->size(),
                     QSize(res::DluToPixelsX(320, bx), res::DluToPixelsY(200, by)));
            QCOMPARE(console->minimumSize(), console->maximumSize());
            QVERIFY(console->windowFlags() & Qt::WindowMinimizeButtonHint);
            QVERIFY(!(console->windowFlags() & Qt::WindowMaximizeButtonHint));

            const QStringList families{"MS UI Gothic", "IPAGothic", "IPAPGothic",
                                       "Noto Sans CJK JP"};
            QVERIFY2(families.contains(console->font().family()),
                     qPrintable(console->font().family()));
            // Proportional like the template's face, where that is missing.
            if (!QFontDatabase::hasFamily("MS UI Gothic") && QFontDatabase::hasFamily("IPAPGothic"))
                QCOMPARE(console->font().family(), QStringLiteral("IPAPGothic"));
            // The main window, not a dialog: it gets a taskbar entry.
            QCOMPARE(console->windowType(), Qt::Window);
            QCOMPARE(console->font().pointSize(), 9);

            struct Expect {
                const char* name;
                QString text;
                QString accessible;
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
                QWidget* w = Find<QWidget>(console, e.name);
                QVERIFY2(w, e.name);
                const QRect want(res::DluToPixelsX(e.x, bx), res::DluToPixelsY(e.y, by),
                                 res::DluToPixelsX(e.cx, bx), res::DluToPixelsY(e.cy, by));
                if (qobject_cast<QLabel*>(w)) {
                    // A label grows to the right rather than cut its text.
                    QCOMPARE(w->pos(), want.topLeft());
                    QCOMPARE(w->height(), want.height());
                    QVERIFY(w->width() >= want.width());
                } else {
                    QCOMPARE(w->geometry(), want);
                }
                QCOMPARE(w->accessibleName(), e.accessible);
                if (auto* b = qobject_cast<QPushButton*>(w))
                    QCOMPARE(b->text(), e.text);
            }
            QVERIFY(Find<QPushButton>(console, "send")->isDefault());

            auto* history = Find<QPlainTextEdit>(console, "history");
            QVERIFY(history->isReadOnly());
            QCOMPARE(history->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
            QCOMPARE(history->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QCOMPARE(Find<QLineEdit>(console, "input")->maxLength(), 63);
        });
    }

    // The status label grows to show its whole text, without running under
    // the buttons: the board's ids, or the longer word that it may not be
    // opened. So do the About box's labels.
    void labelsShowTheirWholeText()
    {
        RunConsole([&](QDialog* console) {
            auto* status = Find<QLabel>(console, "status");
            const auto fits = [&] {
                QVERIFY2(status->width() >= status->fontMetrics().horizontalAdvance(status->text()),
                         qPrintable(status->text()));
                QVERIFY(status->geometry().right() < Find<QWidget>(console, "boot")->x());
            };
            m_board->SetOpenFails(hid::OpenError::PermissionDenied);
            m_board->Plug(Board());
            QTRY_COMPARE(status->text(), QString::fromStdU16String(PermissionDeniedStatus()));
            fits();
            m_board->ClearOpenFails();
            QTRY_COMPARE(status->text(), QStringLiteral("VID:0x04D8 / PID:0x003F"));
            fits();

            bool checked = false;
            WhenDialogOpens("about", [&](QWidget* box) {
                for (QLabel* label : box->findChildren<QLabel*>()) {
                    if (label->text().isEmpty())
                        continue;  // the icon
                    QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                             qPrintable(label->text()));
                    QVERIFY(label->geometry().right() < box->width());
                }
                checked = true;
                box->close();
            });
            m_dlg->OnSysCommand(res::IDM_ABOUTBOX, 0);
            QVERIFY(checked);
        });
    }

    void accessibleRoles()
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
                QAccessibleInterface* a =
                    QAccessible::queryAccessibleInterface(Find<QWidget>(console, c.name));
                QVERIFY2(a, c.name);
                QCOMPARE(a->role(), c.role);
                QVERIFY(!a->text(QAccessible::Name).isEmpty());
            }
            QAccessibleInterface* history =
                QAccessible::queryAccessibleInterface(Find<QWidget>(console, "history"));
            QVERIFY(history->state().readOnly);
            // Screen readers speak the status label's name: it is what the
            // label shows.
            QAccessibleInterface* status =
                QAccessible::queryAccessibleInterface(Find<QWidget>(console, "status"));
            QCOMPARE(status->text(QAccessible::Name), QStringLiteral("VID:0x04D8 / PID:0x003F"));
            QCOMPARE(status->text(QAccessible::Description), QString());
        });
    }

    // The window manager owns the window menu on Linux: its entries are on
    // the context menu, which the mouse and the keys open anywhere in the
    // console, and the About entry there opens the About box.
    void contextMenuOpensTheAboutBox_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("right click") << "mouse";
        QTest::newRow("Shift+F10 in the input line") << "shift-f10";
        QTest::newRow("Menu key on a button") << "menu-key";
        QTest::newRow("right click in the history box") << "history";
    }

    void contextMenuOpensTheAboutBox()
    {
        QFETCH(QString, how);
        bool aboutSeen = false;
        RunConsole([&](QDialog* console) {
            if (how == "mouse") {
                QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(300, 290),
                                     console->mapToGlobal(QPoint(300, 290)));
                QApplication::sendEvent(console, &ev);
            } else if (how == "history") {
                // As the platform delivers it: to the box's viewport.
                QWidget* viewport = Find<QPlainTextEdit>(console, "history")->viewport();
                QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(20, 20),
                                     viewport->mapToGlobal(QPoint(20, 20)));
                QApplication::sendEvent(viewport, &ev);
            } else if (how == "shift-f10") {
                auto* input = Find<QLineEdit>(console, "input");
                input->setFocus();
                QTest::keyClick(input, Qt::Key_F10, Qt::ShiftModifier);
            } else {
                auto* boot = Find<QPushButton>(console, "boot");
                boot->setFocus();
                QTest::keyClick(boot, Qt::Key_Menu);
            }
            QMenu* menu = nullptr;
            QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
            const QList<QAction*> actions = menu->actions();
            QVERIFY(actions.size() >= 2);
            QVERIFY(actions.at(actions.size() - 2)->isSeparator());
            QAction* about = actions.last();
            QCOMPARE(about->text(), QStringLiteral("バージョン情報 Wendrel(&A)..."));

            WhenDialogOpens("about", [&](QWidget* box) {
                aboutSeen = true;
                QTest::mouseClick(Find<QPushButton>(box, "ok"), Qt::LeftButton);
            });
            menu->close();
            about->trigger();
            QTRY_VERIFY(aboutSeen && ActiveDialog("console"));
            QVERIFY(console->isVisible());
        });
        QVERIFY(aboutSeen);
    }

    // The open context menu is part of the window's accessible tree, so
    // screen readers and test tools can reach the About entry.
    void openContextMenuIsOnTheAccessibilityTree()
    {
        RunConsole([&](QDialog* console) {
            QAccessibleInterface* window = QAccessible::queryAccessibleInterface(console);
            const int closed = window->childCount();
            QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(300, 290),
                                 console->mapToGlobal(QPoint(300, 290)));
            QApplication::sendEvent(console, &ev);
            QMenu* menu = nullptr;
            QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
            QCOMPARE(window->childCount(), closed + 1);
            QAccessibleInterface* popup = window->child(closed);
            QVERIFY(popup);
            QCOMPARE(popup->object(), menu);
            QCOMPARE(popup->role(), QAccessible::PopupMenu);
            QCOMPARE(window->indexOfChild(popup), closed);
            QStringList names;
            for (int i = 0; i < popup->childCount(); ++i)
                names.append(popup->child(i)->text(QAccessible::Name));
            QVERIFY2(names.contains(QStringLiteral("バージョン情報 Wendrel(A)...")),
                     qPrintable(names.join(" | ")));
            menu->close();
            QTRY_COMPARE(window->childCount(), closed);
        });
    }

    // The history box's own entries are on the tree too, the times entry
    // as a check that says whether it is on.
    void historyMenuEntriesOnTheAccessibilityTree()
    {
        RunConsole([&](QDialog* console) {
            auto* history = Find<QPlainTextEdit>(console, "history");
            QAccessibleInterface* window = QAccessible::queryAccessibleInterface(console);
            for (const bool on : {false, true}) {
                const QPoint at = history->viewport()->rect().center();
                QContextMenuEvent ev(QContextMenuEvent::Mouse, at, history->viewport()->mapToGlobal(at));
                QApplication::sendEvent(history->viewport(), &ev);
                QMenu* menu = nullptr;
                QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
                QAccessibleInterface* popup = window->child(window->childCount() - 1);
                QVERIFY(popup && popup->object() == menu);
                QAccessibleInterface* times = nullptr;
                QStringList names;
                for (int i = 0; i < popup->childCount(); ++i) {
                    names.append(popup->child(i)->text(QAccessible::Name));
                    if (names.back() == QStringLiteral("時刻を表示(T)"))
                        times = popup->child(i);
                }
                for (const char* entry : {"検索(F)...", "履歴を消去(L)", "受信履歴をすべてコピー(H)"})
                    QVERIFY2(names.contains(QString::fromUtf8(entry)), qPrintable(names.join(" | ")));
                QVERIFY2(times, qPrintable(names.join(" | ")));
                QVERIFY(times->state().checkable);
                QCOMPARE(bool(times->state().checked), on);
                if (!on) {
                    const QList<QAction*> actions = menu->actions();
                    for (QAction* action : actions)
                        if (action->text() == QStringLiteral("時刻を表示(&T)"))
                            action->trigger();
                }
                menu->close();
                QTRY_VERIFY(!QApplication::activePopupWidget());
            }
        });
    }

    // The find window is ours on Linux: modeless over the console, with
    // its field, two searches (the next the default), the case option off
    // and a close button; the searches wait for something to find.
    void findWindowHasItsControls()
    {
        RunConsole([&](QDialog* console) {
            // A shortcut of the window the user types in.
            console->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(console));
            QTest::keyClick(Find<QLineEdit>(console, "input"), Qt::Key_F, Qt::ControlModifier);
            QDialog* find = nullptr;
            QTRY_VERIFY((find = Find<QDialog>(console, "find")) && find->isVisible());
            QCOMPARE(find->windowTitle(), QStringLiteral("検索"));
            QVERIFY(!find->isModal());
            QCOMPARE(QApplication::activeModalWidget(), console);
            auto* field = Find<QLineEdit>(find, "findText");
            QVERIFY(field);
            QCOMPARE(field->accessibleName(), QStringLiteral("検索"));
            auto* next = Find<QPushButton>(find, "findNext");
            auto* previous = Find<QPushButton>(find, "findPrevious");
            QCOMPARE(next->text(), QStringLiteral("次を検索(&N)"));
            QCOMPARE(previous->text(), QStringLiteral("前を検索(&P)"));
            QVERIFY(next->isDefault());
            auto* matchCase = Find<QCheckBox>(find, "matchCase");
            QCOMPARE(matchCase->text(), QStringLiteral("大文字と小文字を区別する(&C)"));
            QVERIFY(!matchCase->isChecked());
            QVERIFY(!next->isEnabled() && !previous->isEnabled());
            QTest::keyClicks(field, "x");
            QVERIFY(next->isEnabled() && previous->isEnabled());
            auto* close = Find<QPushButton>(find, "findClose");
            QCOMPARE(close->text(), QStringLiteral("閉じる"));
            QTest::mouseClick(close, Qt::LeftButton);
            QTRY_VERIFY(!find->isVisible());
        });
    }

    // The whole start-up: the console runs, Escape ends it, and every
    // thread it started has ended when InitInstance returns.
    void initInstanceEndsWithNothingLeft()
    {
#if !defined(__linux__)
        QSKIP("counts threads through /proc");
#endif
        const auto threads = [] {
            return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                 std::filesystem::directory_iterator());
        };
        const auto before = threads();
        bool closed = false;
        QTimer::singleShot(0, this, [&] {
            QWidget* console = nullptr;
            QTRY_VERIFY((console = ActiveDialog("console")));
            QTest::qWait(120);  // a few poll ticks
            QTest::keyClick(console, Qt::Key_Escape);
            closed = true;
        });
        CWendrelApp app;
        QCOMPARE(app.InitInstance(), false);
        QVERIFY(closed);
        // A device worker still inside a kernel call is left to end on its
        // own rather than hold the exit; on a loaded machine that can take
        // a moment after InitInstance returns.
        QTRY_COMPARE_WITH_TIMEOUT(threads(), before, 10000);
    }
};

QTEST_MAIN(ConsoleDialogTest)
#include "qt_console_test.moc"
