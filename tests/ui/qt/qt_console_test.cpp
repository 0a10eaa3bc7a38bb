// What is Qt's own in the console and the About box (offscreen, with a
// fake board): layout in dialog units of the dialog font, labels that
// show their whole text, the whole start-up. Its accessibility, menus and
// find window are in qt_console_menu_test.cpp.
// What every window system does alike is in ../contract_*_test.cpp.
#include "qt_console_fixture.h"

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
