// The Qt driver's window system: its windows count the row updates they
// are given and answer their save dialogs and message boxes as the test
// says.
#pragma once

#include <QDir>
#include <QMessageBox>
#include <QString>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qt_dialog_window.h"
#include "qt_window_system.h"
#include "window_contract.h"

namespace qtdrv {

inline QString ToQ(const std::u16string& s) { return QString::fromStdU16String(s); }

// The save dialogs and message boxes, answered in the windows' place.
struct CAnswers {
    std::u16string path;
    std::function<void()> whileOpen;
    std::vector<contract::SaveOffer> offers;
    std::vector<std::u16string> messages;
};

// A window that counts the row updates it is given and answers its save
// dialogs and message boxes as the test says.
class CCountingWindow : public CQtDialogWindow {
public:
    CCountingWindow(CQtWindowSystem& ws, const res::DialogTemplate& tmpl,
                    wsys::IDialogHandler& handler, QWidget* parent, int& updates,
                    CAnswers& answers)
        : CQtDialogWindow(ws, tmpl, handler, parent), m_nUpdates(updates), m_answers(answers)
    {
    }
    void UpdateRows(int id, const wsys::RowChange& change) override
    {
        ++m_nUpdates;
        CQtDialogWindow::UpdateRows(id, change);
    }

protected:
    std::optional<QString> ExecSaveDialog(const SaveDialog& request) override
    {
        contract::SaveOffer offer;
        offer.title = request.title.toStdU16String();
        offer.folder = QDir::toNativeSeparators(request.folder).toStdU16String();
        offer.name = request.fileName.toStdU16String();
        offer.filters = {request.nameFilter.toStdU16String()};
        offer.asksBeforeReplacing = request.confirmOverwrite;
        m_answers.offers.push_back(offer);
        if (m_answers.whileOpen)
            m_answers.whileOpen();
        if (m_answers.path.empty())
            return std::nullopt;
        return QString::fromStdU16String(m_answers.path);
    }
    void ExecMessageBox(QMessageBox& box) override
    {
        m_answers.messages.push_back(box.text().toStdU16String());
    }

private:
    int& m_nUpdates;
    CAnswers& m_answers;
};

class CCountingWindowSystem : public CQtWindowSystem {
public:
    int rowUpdates = 0;
    CAnswers answers;

protected:
    std::unique_ptr<CQtDialogWindow> MakeWindow(const res::DialogTemplate& tmpl,
                                                wsys::IDialogHandler& handler,
                                                QWidget* parent) override
    {
        return std::make_unique<CCountingWindow>(*this, tmpl, handler, parent, rowUpdates,
                                                 answers);
    }
};

// Positions in the box's text, where a row break is "\r\n", and in its
// document, where it is one character.
inline int TextToDocument(const QTextDocument* doc, int at)
{
    int breaks = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next(), ++breaks) {
        if (at <= b.position() + breaks + b.length() - 1)
            return std::max(b.position(), at - breaks);
    }
    return doc->characterCount() - 1;
}

inline int DocumentToText(const QTextDocument* doc, int at)
{
    return at + doc->findBlock(at).blockNumber();
}

}  // namespace qtdrv
