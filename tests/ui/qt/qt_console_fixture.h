// The console on Qt, offscreen, with a fake board: the fixture and
// helpers its case files share.
#pragma once

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

inline FakeBoard Board() { return {kPath, u"HID\\VID_04D8&PID_003F&REV_0002", {65, 65}}; }

template <typename T>
inline T* Find(QWidget* dialog, const char* name)
{
    return dialog->findChild<T*>(QString::fromLatin1(name));
}

inline QWidget* ActiveDialog(const char* name)
{
    QWidget* w = QApplication::activeModalWidget();
    return w && w->objectName() == QLatin1String(name) ? w : nullptr;
}

// Runs the event loop until `done` holds; the bound only catches a hang.
inline bool WaitUntil(const std::function<bool()>& done)
{
    return QTest::qWaitFor(done, 60000);
}

inline std::string S(const QString& s) { return s.toStdString(); }

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
