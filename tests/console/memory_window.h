// A window with no screen: every control is a string (a box of rows keeps
// its rows too), and what it has nowhere to show it drops. The unit tests'
// fake window and the rig's ticking window are built on it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "post_queue.h"
#include "window_system.h"

namespace fake {

class MemoryWindow : public wsys::IWindow {
public:
    explicit MemoryWindow(wsys::IDialogHandler& handler) : m_handler(handler) {}

    std::u16string GetItemText(int id) const override
    {
        auto it = text.find(id);
        return it == text.end() ? std::u16string() : it->second;
    }
    void SetItemText(int id, const std::u16string& t) override { text[id] = t; }
    // The box's rows; its text is them joined, as a real box gives them.
    void UpdateRows(int id, const wsys::RowChange& change) override
    {
        wsys::ApplyRowChange(rows[id], change);
        text[id] = wsys::JoinRows(rows[id], u"\r\n");
    }
    void LimitText(int, int) override {}
    void SetInputFilter(int, std::function<bool(const std::u16string&)>) override {}
    void SetItemToolTip(int, const std::u16string&) override {}
    bool AppendSystemMenu(wsys::MenuItem, int, const std::u16string&) override { return true; }
    void SetIcon(wsys::IconHandle, bool) override {}
    bool IsIconic() const override { return iconic; }
    wsys::Size ClientSize() const override { return client; }
    wsys::Size SystemIconSize() const override { return {32, 32}; }
    void DrawIcon(int, int, wsys::IconHandle) override {}

    std::map<int, std::u16string> text;
    std::map<int, std::vector<std::u16string>> rows;
    bool iconic = false;
    wsys::Size client{480, 300};

protected:
    // The end of a modal run: the dialog's last call, after which posted
    // calls are dropped.
    void Destroy()
    {
        m_handler.OnDestroy();
        m_posts.Close();
    }

    wsys::IDialogHandler& m_handler;
    wsys::CPostQueue m_posts;
};

}  // namespace fake
