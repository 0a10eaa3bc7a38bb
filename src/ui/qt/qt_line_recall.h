// Up and Down in a single-line edit bring back lines the program gives
// (window_system.h, SetLineRecall).
#pragma once

#include <QObject>

#include <functional>

#include "window_system.h"

class QLineEdit;

class CQtLineRecall final : public QObject {
public:
    // Owned by `edit`, whose keys it watches. `show` puts a line into the
    // edit as the program's text.
    CQtLineRecall(QLineEdit* edit, wsys::IWindow::Recall recall,
                  std::function<void(const QString&)> show);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_pEdit;
    wsys::IWindow::Recall m_recall;
    std::function<void(const QString&)> m_show;
};
