#include "qt_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDialog>
#include <QLabel>
#include <QMenu>

#include "qt_dialog_window.h"
#include "qt_row_box.h"
#include "qt_row_box_accessible.h"

namespace {

class CDialogAccessible : public QAccessibleWidget {
public:
    explicit CDialogAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Dialog) {}

    int childCount() const override
    {
        return QAccessibleWidget::childCount() + static_cast<int>(OpenMenus().size());
    }

    QAccessibleInterface* child(int index) const override
    {
        const int own = QAccessibleWidget::childCount();
        if (index < own)
            return QAccessibleWidget::child(index);
        const QList<QMenu*> menus = OpenMenus();
        return index - own < menus.size()
                   ? QAccessible::queryAccessibleInterface(menus.at(index - own))
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child && child->object()) {
            const int at = OpenMenus().indexOf(qobject_cast<QMenu*>(child->object()));
            if (at >= 0)
                return QAccessibleWidget::childCount() + at;
        }
        return QAccessibleWidget::indexOfChild(child);
    }

private:
    QList<QMenu*> OpenMenus() const
    {
        QList<QMenu*> open;
        for (QMenu* menu : widget()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
            if (menu->isVisible())
                open.append(menu);
        }
        return open;
    }
};

QAccessibleInterface* DialogAccessibleFactory(const QString&, QObject* object)
{
    if (auto* dialog = dynamic_cast<CQtDialogWindow*>(object))
        return new CDialogAccessible(dialog);
    if (auto* box = dynamic_cast<CQtRowBox*>(object))
        return new CQtRowBoxAccessible(box);
    return nullptr;
}

}  // namespace

void InstallDialogAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(DialogAccessibleFactory);
        return true;
    }();
    (void)installed;
}

QString WithoutMnemonic(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

void DescribeLabel(QLabel* label) { label->setAccessibleDescription(label->toolTip()); }
