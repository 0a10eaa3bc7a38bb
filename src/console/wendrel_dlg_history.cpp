// CWendrelDlg's history box: the rows it records (received text, sends
// and link events), its views, Clear and Save, and the frame timer that
// shows the newest rows.
#include "wendrel_dlg.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "file_write.h"
#include "history_save.h"
#include "local_time.h"

void CWendrelDlg::RecordSend(const std::u16string& line, bool sent, const CHistoryFeed::Place& at)
{
    if (sent)
        RecordEvent(std::u16string(texts::kEventSent) + line, at);
    else
        RecordEvent(std::u16string(texts::kEventNotSent) + line +
                        std::u16string(texts::kEventNotSentEnd),
                    at);
}

void CWendrelDlg::RecordEvent(const std::u16string& text)
{
    RecordEvent(text, m_history.Here(ArrivalTimeMs()));
}

void CWendrelDlg::RecordEvent(const std::u16string& text, const CHistoryFeed::Place& at)
{
    wsys::RowChange change;
    if (m_history.RecordEvent(at, text, change) && Window())
        Window()->UpdateRows(res::IDC_HISTORY, change);
}

void CWendrelDlg::OnShowTimes()
{
    const bool on = !m_history.ShowsTimes();
    ShowView(m_history.ShowTimes(on), res::IDM_SHOW_TIMES, on);
}

void CWendrelDlg::OnShowBytes()
{
    const bool on = !m_history.ShowsBytes();
    ShowView(m_history.ShowBytes(on), res::IDM_SHOW_BYTES, on);
}

void CWendrelDlg::OnShowEvents()
{
    const bool on = !m_history.ShowsEvents();
    ShowView(m_history.ShowEvents(on), res::IDM_SHOW_EVENTS, on);
}

void CWendrelDlg::ShowView(const std::vector<wsys::RowChange>& changes, int command, bool on)
{
    if (wsys::IWindow* wnd = Window()) {
        for (const wsys::RowChange& change : changes)
            wnd->UpdateRows(res::IDC_HISTORY, change);
        wnd->SetContextCheck(res::IDC_HISTORY, command, on);
    }
}

void CWendrelDlg::OnClearHistory()
{
    const wsys::RowChange change = m_history.Clear();
    if (Window() && !change.Empty())
        Window()->UpdateRows(res::IDC_HISTORY, change);
}

void CWendrelDlg::OnSaveHistory()
{
    wsys::IWindow* wnd = Window();
    if (!wnd || m_bSaving)
        return;
    wsys::SaveRequest request;
    request.title = res::LoadString(res::IDS_SAVE_TITLE);
    request.fileName = history_save::SuggestedName(base::WallClockMs());
    request.filterLabel = res::LoadString(res::IDS_SAVE_FILTER);
    request.pattern = u"*.txt";
    request.extension = u"txt";
    m_bSaving = true;
    const std::optional<std::u16string> path = wnd->AskSavePath(request);
    m_bSaving = false;
    if (!path || !Window())
        return;
    // The rows as they are now: those that came while the dialog was
    // open are in.
    const base::FileWriteResult result = base::WriteFileReplacing(
        *path, history_save::FileText(m_history.ShownRows(), base::TextLineBreak()));
    if (!result.ok)
        Window()->ShowError(texts::SaveFailed(*path, result.reason));
}

std::int64_t CWendrelDlg::ArrivalTimeMs() const { return base::WallClockMs(); }

void CWendrelDlg::OnReceive(const std::u16string& text, std::span<const std::uint8_t> bytes)
{
    if (m_history.Append(text, ArrivalTimeMs(), bytes))
        PostToWindow([this] { ShowHistory(); });
}

// The first report after a quiet spell is shown at once, as the reader
// asks. While reports stream in, the reader does not ask again: the frame
// timer shows the newest rows once a frame, and stops after a frame with
// nothing new, which also ends the request.
void CWendrelDlg::ShowHistory()
{
    if (ShowNewestHistory())
        Window()->SetTimer(res::IDT_FRAME, kFrameMs);
}

bool CWendrelDlg::ShowNewestHistory()
{
    wsys::RowChange rows;
    if (!Window() || !m_history.Take(rows))
        return false;
    if (!rows.Empty())
        Window()->UpdateRows(res::IDC_HISTORY, rows);
    return true;
}
