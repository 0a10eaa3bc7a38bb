// The console and the About box on Qt (offscreen), with a fake board.
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "fake_platform.h"
#include "qt_dialog_window.h"
#include "qt_window_system.h"
#include "resources.h"
#include "wendrel_app.h"
#include "counting_dlg.h"
#include "wendrel_dlg.h"

using hid::test::FakeBoard;
using hid::test::FakePlatform;

namespace {

const std::u16string kPath = u"/dev/hidraw0";

FakeBoard Board() { return {kPath, u"HID\\VID_04D8&PID_003F&REV_0002", {65, 65}}; }

hid::test::Report InputReport(const QByteArray& bytes)
{
    hid::test::Report r(65, 0);
    for (int i = 0; i < bytes.size() && i < 63; ++i)
        r[1 + i] = static_cast<std::uint8_t>(bytes[i]);
    return r;
}

// Blocks the user-interface thread, as a busy event loop would.
bool WaitWithoutEvents(const std::function<bool()>& pred)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Types `text` as key presses; QTest::keyClicks takes Latin-1 only.
void Type(QWidget* widget, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

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
    std::unique_ptr<CountingDlg> m_dlg;

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
        m_dlg = std::make_unique<CountingDlg>(*m_ws, m_board);
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
                {"status", "", "状態", 7, 185, 82, 8},
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

            // Tab order as the template lists the controls; the status
            // label takes no focus.
            QCOMPARE(console->focusWidget(), Find<QWidget>(console, "send"));
            const char* order[] = {"quit", "history", "input", "boot", "send"};
            for (const char* name : order) {
                QTest::keyClick(console->focusWidget(), Qt::Key_Tab);
                QCOMPARE(console->focusWidget()->objectName(), QString::fromLatin1(name));
            }

            auto* history = Find<QPlainTextEdit>(console, "history");
            QVERIFY(history->isReadOnly());
            QCOMPARE(history->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QCOMPARE(history->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QCOMPARE(Find<QLineEdit>(console, "input")->maxLength(), 63);
        });
    }

    void labelsShowTheirWholeText()
    {
        RunConsole([&](QDialog* console) {
            Connect(console);
            auto* status = Find<QLabel>(console, "status");
            QVERIFY(status->width() >= status->fontMetrics().horizontalAdvance(status->text()));
            // ...without running under the buttons.
            QVERIFY(status->geometry().right() < Find<QWidget>(console, "boot")->x());

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
            // The status label's name says what it is; what it shows is in
            // its description, where screen readers look for it.
            Connect(console);
            QAccessibleInterface* status =
                QAccessible::queryAccessibleInterface(Find<QWidget>(console, "status"));
            QCOMPARE(status->text(QAccessible::Name), QStringLiteral("状態"));
            QCOMPARE(status->text(QAccessible::Description),
                     QStringLiteral("VID:0x04D8 / PID:0x003F"));
        });
    }

    void historyShowsEighteenLinesFromTheTop()
    {
        RunConsole([&](QDialog* console) {
            Connect(console);
            for (int i = 1; i <= 25; ++i)
                m_board->PushInput(kPath, InputReport("line " + QByteArray::number(i)));
            auto* history = Find<QPlainTextEdit>(console, "history");
            QTRY_VERIFY(history->toPlainText().endsWith(QStringLiteral("line 25")));
            QCOMPARE(history->toPlainText().split('\n').size(), 18);
            QVERIFY(history->toPlainText().startsWith(QStringLiteral("line 8\n")));
            QCOMPARE(history->cursorForPosition(QPoint(2, 2)).blockNumber(), 0);
            // All 18 fit: the last line's bottom is inside the viewport.
            const QRect last = history->cursorRect(QTextCursor(history->document()->lastBlock()));
            QVERIFY2(last.bottom() <= history->viewport()->height(),
                     qPrintable(QString("%1 > %2").arg(last.bottom()).arg(
                         history->viewport()->height())));
        });
    }

    void deviceTextIsShownLiterally()
    {
        RunConsole([&](QDialog* console) {
            Connect(console);
            m_board->PushInput(kPath, InputReport("<b>x</b> &amp; <a href=x>y</a>"));
            auto* history = Find<QPlainTextEdit>(console, "history");
            QTRY_COMPARE(history->toPlainText(), QStringLiteral("<b>x</b> &amp; <a href=x>y</a>"));
        });
    }

    void burstOfReportsCostsOneDisplayUpdate()
    {
        RunConsole([&](QDialog* console) {
            Connect(console);
            auto* history = Find<QPlainTextEdit>(console, "history");
            QSignalSpy updates(history, &QPlainTextEdit::textChanged);
            for (int i = 1; i <= 60; ++i)
                m_board->PushInput(kPath, InputReport("burst " + QByteArray::number(i)));
            QVERIFY(WaitWithoutEvents([&] { return m_dlg->received == 60; }));
            QCoreApplication::processEvents();
            // setPlainText signals twice per update (clear, then fill).
            QVERIFY2(updates.size() <= 2, qPrintable(QString::number(updates.size())));
            QVERIFY(history->toPlainText().endsWith(QStringLiteral("burst 60")));
        });
    }

    void enterSendsAndKeepsTheWindow()
    {
        RunConsole([&](QDialog* console) {
            Connect(console);
            auto* input = Find<QLineEdit>(console, "input");
            input->setFocus();
            QTest::keyClicks(input, QStringLiteral("abc"));
            QTest::keyClick(input, Qt::Key_Return);
            QVERIFY(m_board->WaitWritten(kPath, 1));
            const auto report = m_board->Written(kPath).at(0);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(report.data()), 5),
                     QByteArray("\0abc\0", 5));
            QCOMPARE(input->text(), QString());
            QVERIFY(console->isVisible());
        });
    }

    void escapeCloseBoxAndQuitEndTheRun_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("escape") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("終了") << 2;
    }

    void escapeCloseBoxAndQuitEndTheRun()
    {
        QFETCH(int, how);
        const int result = RunConsole([&](QDialog* console) {
            if (how == 0)
                QTest::keyClick(console->focusWidget(), Qt::Key_Escape);
            else if (how == 1)
                console->close();
            else
                QTest::mouseClick(Find<QPushButton>(console, "quit"), Qt::LeftButton);
        });
        QCOMPARE(result, int(res::IDCANCEL));
    }

    void inputRefusesThe64thCharacter()
    {
        RunConsole([&](QDialog* console) {
            auto* input = Find<QLineEdit>(console, "input");
            input->setFocus();
            QTest::keyClicks(input, QString(64, QLatin1Char('x')));
            QCOMPARE(input->text(), QString(63, QLatin1Char('x')));

            // While connected, also what the board's report cannot carry.
            Connect(console);
            input->setFocus();
            Type(input, QString(30, QChar(0x3042)));  // 3 bytes each
            QCOMPARE(input->text(), QString(21, QChar(0x3042)));
        });
    }

    void bootWhileDisconnectedDoesNothing()
    {
        RunConsole([&](QDialog* console) {
            QTRY_COMPARE(Find<QLabel>(console, "status")->text(),
                         QStringLiteral("Non Connections"));
            QTest::mouseClick(Find<QPushButton>(console, "boot"), Qt::LeftButton);
            QVERIFY(console->isVisible());
            QCOMPARE(Find<QLabel>(console, "status")->text(), QStringLiteral("Non Connections"));
        });
    }

    void aboutEntryOpensTheAboutBox_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("right click") << "mouse";
        QTest::newRow("Shift+F10 in the input line") << "shift-f10";
        QTest::newRow("Menu key on a button") << "menu-key";
    }

    void aboutEntryOpensTheAboutBox()
    {
        QFETCH(QString, how);
        bool aboutSeen = false;
        RunConsole([&](QDialog* console) {
            if (how == "mouse") {
                QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(300, 290),
                                     console->mapToGlobal(QPoint(300, 290)));
                QApplication::sendEvent(console, &ev);
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

            // The About box runs modally; the console resumes after it.
            WhenDialogOpens("about", [&](QWidget* box) {
                aboutSeen = true;
                QCOMPARE(box->windowTitle(), QStringLiteral("バージョン情報 Wendrel"));
                QCOMPARE(Find<QLabel>(box, "version")->text(),
                         QStringLiteral("Wendrel, Version 1.5"));
                QVERIFY(!Find<QLabel>(box, "copyright")->text().isEmpty());
                QVERIFY(!Find<QLabel>(box, "authors")->text().isEmpty());
                QVERIFY(Find<QLabel>(box, "icon"));
                QTest::mouseClick(Find<QPushButton>(box, "ok"), Qt::LeftButton);
            });
            menu->close();
            about->trigger();
            QTRY_VERIFY(aboutSeen && ActiveDialog("console"));
            QVERIFY(console->isVisible());
        });
        QVERIFY(aboutSeen);
    }

    // The board is there but this user may not open it: the label names
    // the problem, the tooltip explains the fix. Screenshot for people to
    // look at: build/screenshots/permission.png.
    void permissionProblemOnTheStatusLabel()
    {
        RunConsole([&](QDialog* console) {
            m_board->SetOpenFails(hid::OpenError::PermissionDenied);
            m_board->Plug(Board());
            auto* status = Find<QLabel>(console, "status");
            QTRY_COMPARE(status->text(), QString::fromStdU16String(PermissionDeniedStatus()));
            QVERIFY(status->toolTip().contains(QStringLiteral("70-wendrel.rules")));
            // The whole text is shown, beside the buttons rather than under.
            QVERIFY(status->width() >= status->fontMetrics().horizontalAdvance(status->text()));
            QVERIFY(status->geometry().right() < Find<QWidget>(console, "boot")->x());
            const QString dir = QStringLiteral(WENDREL_SCREENSHOT_DIR);
            QDir().mkpath(dir);
            QVERIFY(console->grab().save(dir + "/permission.png"));

            m_board->ClearOpenFails();
            QTRY_COMPARE(status->text(), QStringLiteral("VID:0x04D8 / PID:0x003F"));
            QCOMPARE(status->toolTip(), QString());
        });
    }

    // For people to look at: build/screenshots/console.png and about.png.
    void screenshots()
    {
        const QString dir = QStringLiteral(WENDREL_SCREENSHOT_DIR);
        QDir().mkpath(dir);
        RunConsole([&](QDialog* console) {
            Connect(console);
            const char* lines[] = {
                "Hello",
                "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF "
                "(konnichiwa)",
                "ADC0=0512 ADC1=1023",
                "\xE6\xB8\xA9\xE5\xBA\xA6 23.5 \xE2\x84\x83",
                "<b>not bold</b>",
            };
            for (int i = 0; i < 20; ++i)
                m_board->PushInput(kPath, InputReport(lines[i % 5] + QByteArray(" #") +
                                                      QByteArray::number(i + 1)));
            auto* history = Find<QPlainTextEdit>(console, "history");
            QTRY_VERIFY(history->toPlainText().endsWith(QStringLiteral("#20")));
            auto* input = Find<QLineEdit>(console, "input");
            input->setFocus();
            Type(input, QStringLiteral("送信するテキスト abc"));
            QVERIFY(console->grab().save(dir + "/console.png"));

            bool saved = false;
            WhenDialogOpens("about", [&](QWidget* box) {
                saved = box->grab().save(dir + "/about.png");
                box->close();
            });
            m_dlg->OnSysCommand(res::IDM_ABOUTBOX, 0);
            QVERIFY(saved);
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
        QCOMPARE(threads(), before);
    }
};

QTEST_MAIN(ConsoleDialogTest)
#include "console_dialog_test.moc"
