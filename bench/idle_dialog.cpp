// The yardstick for the console's start-up, memory and idle cost: a bare
// Qt dialog that shows itself and does nothing else.
#include <QApplication>
#include <QDialog>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Idle"));
    dialog.resize(480, 300);
    return dialog.exec();
}
