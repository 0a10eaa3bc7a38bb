// The window system on Qt Widgets.
#pragma once

#include <QFont>
#include <QIcon>
#include <map>
#include <memory>

#include "resources.h"
#include "window_system.h"

class CQtDialogWindow;

class CQtWindowSystem : public wsys::IWindowSystem {
public:
    std::unique_ptr<wsys::IWindow> CreateDialogWindow(int templateId,
                                                      wsys::IDialogHandler& handler) override;
    // Icon 128 from the program's resources (":/icons/wendrel-<n>.png");
    // nullptr when none of its sizes is there.
    wsys::IconHandle LoadIcon(int id) override;

    // The icon behind a handle of this window system; a null icon for
    // nullptr.
    static QIcon ToQIcon(wsys::IconHandle icon);

protected:
    // Tests put a window of their own in here.
    virtual std::unique_ptr<CQtDialogWindow> MakeWindow(const res::DialogTemplate& tmpl,
                                                        wsys::IDialogHandler& handler,
                                                        QWidget* parent);

private:
    std::map<int, std::unique_ptr<QIcon>> m_icons;
};

// The template's face at its point size where installed, otherwise the
// first Japanese UI gothic found, so that kana and kanji never fall back
// to a font of another style.
QFont DialogFont(const res::DialogTemplate& tmpl);
