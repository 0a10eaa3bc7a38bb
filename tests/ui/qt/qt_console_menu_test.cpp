// What is Qt's own in the console, continued: its accessible tree, the
// context menu that stands in for the window menu, and the find window.
#include "qt_console_fixture.h"

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
