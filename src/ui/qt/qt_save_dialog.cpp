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
    SaveDialog dialog;
    dialog.title = ToQ(request.title);
    dialog.folder = DocumentsFolder();
    dialog.fileName = ToQ(request.fileName);
    dialog.nameFilter = ToQ(request.filterLabel);
    dialog.defaultSuffix = ToQ(request.extension);
    const std::optional<QString> path = ExecSaveDialog(dialog);
    if (!path || path->isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(*path).toStdU16String();
}

void CQtDialogWindow::ShowError(const std::u16string& text)
{
    QMessageBox box(QMessageBox::Critical, windowTitle(), ToQ(text), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("message"));
    box.setTextFormat(Qt::PlainText);
    ExecMessageBox(box);
}

std::optional<QString> CQtDialogWindow::ExecSaveDialog(const SaveDialog& request)
{
    // Qt's file dialog, which is the desktop's own where its platform
    // theme provides one (a portal, GTK, KDE), and Qt's widgets elsewhere.
    // Both ask before a file is replaced unless told not to.
    QFileDialog dialog(this, request.title);
    dialog.setObjectName(QStringLiteral("saveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setNameFilter(request.nameFilter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setDirectory(request.folder);
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

void CQtDialogWindow::ExecMessageBox(QMessageBox& box) { box.exec(); }
