// The window's save dialog, error box and command keys on Qt.
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QShortcut>
#include <QStandardPaths>

#include "qt_dialog_window.h"

namespace {

QString ToQ(const std::u16string& s) { return QString::fromStdU16String(s); }

// Where the desktop keeps documents; the home folder where there is none.
QString DocumentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

}  // namespace

void CQtDialogWindow::AddCommandKey(char16_t letter, int command)
{
    if (letter < u'A' || letter > u'Z')
        return;
    // The dialog's own: it does not reach the find window, a window of its
    // own.
    auto* key = new QShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_A + (letter - u'A'))),
                              this);
    key->setContext(Qt::WindowShortcut);
    connect(key, &QShortcut::activated, this, [this, command] { m_handler.OnCommand(command); });
}

std::optional<std::u16string> CQtDialogWindow::AskSavePath(const wsys::SaveRequest& request)
{
    // Qt's file dialog, which is the desktop's own where its platform
    // theme provides one (a portal, GTK, KDE), and Qt's widgets elsewhere.
    // Both ask before a file is replaced.
    QFileDialog dialog(this, ToQ(request.title));
    dialog.setObjectName(QStringLiteral("saveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(ToQ(request.filterLabel));
    dialog.setDefaultSuffix(ToQ(request.extension));
    dialog.setDirectory(DocumentsFolder());
    dialog.selectFile(ToQ(request.fileName));
    if (ExecSaveDialog(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(files.front()).toStdU16String();
}

void CQtDialogWindow::ShowError(const std::u16string& text)
{
    QMessageBox box(QMessageBox::Critical, windowTitle(), ToQ(text), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("message"));
    box.setTextFormat(Qt::PlainText);
    ExecMessageBox(box);
}

int CQtDialogWindow::ExecSaveDialog(QFileDialog& dialog) { return dialog.exec(); }

void CQtDialogWindow::ExecMessageBox(QMessageBox& box) { box.exec(); }
