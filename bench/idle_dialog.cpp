// The yardsticks for the console's start-up, memory and idle cost: a bare
// Qt dialog that shows itself and does nothing else, and (with the
// argument "controls") the same dialog holding the console's kinds of
// controls and Japanese texts, so that the cost of fonts and text layout,
// which any such dialog pays, can be told from the console's own.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstring>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Idle"));
    dialog.resize(480, 300);
    if (argc > 1 && std::strcmp(argv[1], "controls") == 0) {
        QFont font(QStringLiteral("IPAPGothic"));
        font.setPointSize(9);
        dialog.setFont(font);
        auto* status = new QLabel(QStringLiteral("Non Connections"), &dialog);
        status->setGeometry(10, 10, 300, 20);
        auto* caption = new QLabel(QStringLiteral("受信履歴"), &dialog);
        caption->setGeometry(10, 40, 300, 20);
        auto* history = new QPlainTextEdit(&dialog);
        history->setReadOnly(true);
        history->setGeometry(10, 60, 460, 160);
        auto* input = new QLineEdit(&dialog);
        input->setGeometry(10, 230, 300, 24);
        const char16_t* buttons[] = {u"送信", u"終了", u"Bootloder"};
        int x = 10;
        for (const char16_t* text : buttons) {
            auto* button = new QPushButton(QString::fromUtf16(text), &dialog);
            button->setGeometry(x, 262, 90, 28);
            x += 100;
        }
    }
    return dialog.exec();
}
