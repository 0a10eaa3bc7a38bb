#include "qt_window_system.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>

#include "qt_dialog_window.h"

std::unique_ptr<wsys::IWindow> CQtWindowSystem::CreateDialogWindow(int templateId,
                                                                   wsys::IDialogHandler& handler)
{
    const res::DialogTemplate* tmpl = res::FindDialogTemplate(templateId);
    if (!tmpl)
        return nullptr;
    // A dialog opened from another (the About box) belongs to it: it stays
    // above it and is centred on it.
    return MakeWindow(*tmpl, handler, QApplication::activeModalWidget());
}

std::unique_ptr<CQtDialogWindow> CQtWindowSystem::MakeWindow(const res::DialogTemplate& tmpl,
                                                             wsys::IDialogHandler& handler,
                                                             QWidget* parent)
{
    return std::make_unique<CQtDialogWindow>(*this, tmpl, handler, parent);
}

wsys::IconHandle CQtWindowSystem::LoadIcon(int id)
{
    if (id != res::IDR_MAINFRAME)
        return nullptr;
    auto& slot = m_icons[id];
    if (!slot) {
        QIcon icon;
        // The sizes a title bar and a taskbar use. The window system gets
        // every size the icon has as soon as it is set, decoded and sent to
        // the X server before the window shows: 128 and 256 px cost a good
        // part of the start-up for nothing (launchers take the desktop
        // file's icon).
        for (int size : {16, 24, 32, 48, 64}) {
            const QString file = QStringLiteral(":/icons/wendrel-%1.png").arg(size);
            if (QFile::exists(file))
                icon.addFile(file, QSize(size, size));
        }
        if (icon.isNull())
            return nullptr;
        slot = std::make_unique<QIcon>(icon);
    }
    return slot.get();
}

std::unique_ptr<wsys::IWindowSystem> wsys::CreatePlatformWindowSystem()
{
    return std::make_unique<CQtWindowSystem>();
}

QIcon CQtWindowSystem::ToQIcon(wsys::IconHandle icon)
{
    return icon ? *static_cast<const QIcon*>(icon) : QIcon();
}

QFont DialogFont(const res::DialogTemplate& tmpl)
{
    // The template's face is proportional: where it is missing, so is the
    // first stand-in (IPAPGothic, not the fixed-pitch IPAGothic), or texts
    // drawn for it wrap.
    QString family;
    for (const QString& candidate :
         {QString::fromStdU16String(tmpl.fontFace), QStringLiteral("IPAPGothic"),
          QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")}) {
        // By any of its names: under a Japanese locale the listed name of
        // IPAPGothic is "IPA Pゴシック".
        if (QFontDatabase::hasFamily(candidate)) {
            family = candidate;
            break;
        }
    }
    QFont font = family.isEmpty() ? QApplication::font() : QFont(family);
    font.setPointSize(tmpl.pointSize);
    return font;
}
