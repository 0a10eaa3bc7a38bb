// CWendrelDlg's sends: what the input line and the Boot button send, what
// becomes of each (NoteSendResult), the notes the status label shows for
// a few seconds, and the fit rule every line meets before it goes.
#include "wendrel_dlg.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "codepage.h"
#include "utf16.h"

void CWendrelDlg::OnOK()
{
    wsys::IWindow* wnd = Window();
    if (!wnd)
        return;
    // The line alone: the status label may show a note, not m_strStatus.
    m_strSend = wnd->GetItemText(res::IDC_SEND_TEXT);
    // Recalled even when no board took it: the line is not lost.
    m_recall.Sent(m_strSend);
    const std::u16string line = m_strSend;
    // The board may answer before the send returns: the line stands before
    // the answer.
    const CHistoryFeed::Place at = m_history.Here(ArrivalTimeMs());
    const hid::SendResult result = m_device.Send(line, [this, line](hid::SendResult late) {
        NoteSendResult(line, late, SendSource::InputLine);
    });
    // On its way, or gone: the line empties. A late failure brings it back.
    if (!hid::Failed(result)) {
        m_strSend.clear();
        wnd->SetItemText(res::IDC_SEND_TEXT, m_strSend);
    }
    NoteSendResult(line, result, SendSource::InputLine, at);
}

void CWendrelDlg::OnBnClickedBoot()
{
    const std::u16string boot = u"Boot";
    const CHistoryFeed::Place at = m_history.Here(ArrivalTimeMs());
    NoteSendResult(boot, m_device.Send(boot, [this, boot](hid::SendResult late) {
        NoteSendResult(boot, late, SendSource::Boot);
    }), SendSource::Boot, at);
}

void CWendrelDlg::NoteSendResult(const std::u16string& line, hid::SendResult result,
                                 SendSource source, const std::optional<CHistoryFeed::Place>& at)
{
    // A line on its way counts as sent; should it fail later, that is noted
    // when it does.
    if (at)
        RecordSend(line, !hid::Failed(result), *at);
    else if (hid::Failed(result))
        RecordSend(line, false, m_history.Here(ArrivalTimeMs()));
    if (!hid::Failed(result))
        return;
    std::fprintf(stderr, "%s\n", texts::SendFailedLog(line, result).c_str());
    wsys::IWindow* wnd = Window();
    if (!wnd)
        return;
    // A line refused at once is still there as typed; one that failed
    // later returns unless the user has typed since.
    if (source == SendSource::InputLine && !line.empty() &&
        wnd->GetItemText(res::IDC_SEND_TEXT).empty()) {
        m_strSend = line;
        wnd->SetItemText(res::IDC_SEND_TEXT, m_strSend);
    }
    wnd->Beep();
    ShowNote(texts::SendFailed(result), texts::SendFailedTip(result));
}

void CWendrelDlg::ShowNote(const std::u16string& text, const std::u16string& tip)
{
    wsys::IWindow* wnd = Window();
    if (!wnd)
        return;
    m_strNote = text;
    wnd->SetItemText(res::IDC_STATUS, m_strNote);
    // The tip keeps the link state readable while the note hides it.
    SetStatusTip(texts::NoteTip(tip, m_strStatus));
    wnd->SetTimer(res::IDT_NOTE, kNoteMs);  // again from now, if one showed
}

void CWendrelDlg::EndNote()
{
    wsys::IWindow* wnd = Window();
    if (wnd)
        wnd->KillTimer(res::IDT_NOTE);
    if (m_strNote.empty() || !wnd)
        return;
    m_strNote.clear();
    wnd->SetItemText(res::IDC_STATUS, m_strStatus);
    SetStatusTip(link_state::Tip(m_link, m_device.GetAccessFacts()));
}

void CWendrelDlg::FitInputLine()
{
    wsys::IWindow* wnd = Window();
    if (!wnd)
        return;
    const std::u16string typed = wnd->GetItemText(res::IDC_SEND_TEXT);
    if (FitsOutputReport(typed))
        return;
    m_strSend = FitToOutputReport(typed);
    wnd->SetItemText(res::IDC_SEND_TEXT, m_strSend);
    wnd->Beep();
    ShowNote(std::u16string(texts::kLineCut),
             texts::LineCutTip(static_cast<int>(m_strSend.size())));
}

std::optional<std::u16string> CWendrelDlg::Recall(bool older, const std::u16string& current)
{
    std::optional<std::u16string> line = m_recall.Recall(older, current);
    if (line && !FitsOutputReport(*line)) {
        *line = FitToOutputReport(*line);
        if (wsys::IWindow* wnd = Window()) {
            wnd->Beep();
            ShowNote(std::u16string(texts::kLineCut),
                     texts::LineCutTip(static_cast<int>(line->size())));
        }
    }
    return line;
}

bool CWendrelDlg::FitsOutputReport(const std::u16string& text) const
{
    if (static_cast<int>(text.size()) > kMaxSendChars)
        return false;
    // What the board's code page cannot hold would never reach it.
    if (!hid::CanEncode(text))
        return false;
    const int capacity = m_device.OutLength();
    if (!m_device.IsOpen() || capacity <= 0)
        return true;
    // Room for the longest encoding of 63 units, so the count is never cut.
    std::uint8_t buf[kMaxSendChars * 4 + 1];
    const std::size_t bytes = hid::EncodeText(text, buf, sizeof buf);
    return static_cast<int>(bytes) + 1 <= capacity;
}

std::u16string CWendrelDlg::FitToOutputReport(const std::u16string& text) const
{
    // At most 63 units: a few tries from the longest start down.
    for (std::size_t k = text.size(); k > 0; --k) {
        if (text::WholeCharacterCut(text, k) != k)
            continue;
        std::u16string start = text.substr(0, k);
        if (FitsOutputReport(start))
            return start;
    }
    return {};
}
