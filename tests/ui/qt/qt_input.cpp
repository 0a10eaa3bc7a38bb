#include "qt_input.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

namespace qt_input {

void Press(QWidget* w, contract::Key key)
{
    QWidget* window = w->window();
    if (QApplication::activeWindow() != window) {
        window->activateWindow();
        (void)QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 5000);
    }
    using contract::Key;
    switch (key) {
    case Key::Enter: return QTest::keyClick(w, Qt::Key_Return);
    case Key::Escape: return QTest::keyClick(w, Qt::Key_Escape);
    case Key::CopySelection: return QTest::keyClick(w, Qt::Key_C, Qt::ControlModifier);
    case Key::Up: return QTest::keyClick(w, Qt::Key_Up);
    case Key::Down: return QTest::keyClick(w, Qt::Key_Down);
    case Key::PageUp: return QTest::keyClick(w, Qt::Key_PageUp);
    case Key::PageDown: return QTest::keyClick(w, Qt::Key_PageDown);
    case Key::Home: return QTest::keyClick(w, Qt::Key_Home);
    case Key::End: return QTest::keyClick(w, Qt::Key_End);
    case Key::CtrlHome: return QTest::keyClick(w, Qt::Key_Home, Qt::ControlModifier);
    case Key::CtrlEnd: return QTest::keyClick(w, Qt::Key_End, Qt::ControlModifier);
    case Key::CtrlF: return QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
    case Key::CtrlS: return QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
    case Key::F3: return QTest::keyClick(w, Qt::Key_F3);
    case Key::ShiftF3: return QTest::keyClick(w, Qt::Key_F3, Qt::ShiftModifier);
    case Key::CtrlPlus: return QTest::keyClick(w, Qt::Key_Plus, Qt::ControlModifier);
    case Key::CtrlShiftPlus:
        return QTest::keyClick(w, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
    case Key::CtrlKeypadPlus:
        return QTest::keyClick(w, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    case Key::CtrlMinus: return QTest::keyClick(w, Qt::Key_Minus, Qt::ControlModifier);
    case Key::CtrlKeypadMinus:
        return QTest::keyClick(w, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    case Key::Ctrl0: return QTest::keyClick(w, Qt::Key_0, Qt::ControlModifier);
    }
}

void Type(QWidget* w, const std::u16string& text)
{
    // QTest::keyClicks takes Latin-1 only.
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = i + 1 < text.size() && QChar::isHighSurrogate(text[i]) ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown,
                            QString::fromStdU16String(text.substr(i, n)), Qt::NoModifier);
        i += n;
    }
}

void Wheel(QWidget* w, int notches, Qt::KeyboardModifiers mods)
{
    const QPointF at = w->rect().center();
    QWheelEvent wheel(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &wheel);
}

}  // namespace qt_input
