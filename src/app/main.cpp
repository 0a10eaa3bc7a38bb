#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "wendrel_app.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendrel"));
    QApplication::setDesktopFileName(QStringLiteral("wendrel"));
    // The console is the only window, and its modal run is the program's
    // life; nothing else may end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Qt's own texts (the edit controls' menus) in the user's language,
    // where the translations are installed.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    CWendrelApp theApp;
    theApp.InitInstance();
    return 0;
}
