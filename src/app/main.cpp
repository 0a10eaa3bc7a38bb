// The program's entry on Qt: the command line, the display, then the
// console until it is closed.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "wendrel_app.h"
#include "wendrel_version.h"

namespace {

const char kUsage[] =
    "Usage: wendrel [--help | --version]\n"
    "A text console for the Wendrel USB HID board (vendor 0x04D8, product 0x003F).\n"
    "It connects by itself when the board is plugged in and takes no settings.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n";

enum class Command { Run, Help, Version, Wrong };

// Only --help and --version: the console is configured by nothing, and
// Qt's own options are not passed on either.
Command Parse(int argc, char* argv[], std::string& wrong)
{
    Command command = Command::Run;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            command = Command::Help;
        } else if (std::strcmp(arg, "--version") == 0) {
            if (command == Command::Run)
                command = Command::Version;
        } else {
            wrong = arg;
            return Command::Wrong;
        }
    }
    return command;
}

const char* EnvOrEmpty(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool HasDisplay()
{
    return *EnvOrEmpty("DISPLAY") || *EnvOrEmpty("WAYLAND_DISPLAY") ||
           *EnvOrEmpty("QT_QPA_PLATFORM");
}

// While QApplication connects to the display, Qt's messages are held back:
// if it cannot, Qt would print several lines and abort with a core dump;
// one line and exit status 1 say it better. If it can, they are passed on.
struct HeldMessage {
    QtMsgType type;
    // The context's strings are static data of the caller.
    const char* file;
    int line;
    const char* function;
    const char* category;
    QString text;
};
std::mutex g_heldLock;
std::vector<HeldMessage> g_held;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        const char* display = *EnvOrEmpty("WAYLAND_DISPLAY") ? EnvOrEmpty("WAYLAND_DISPLAY")
                                                             : EnvOrEmpty("DISPLAY");
        if (*display)
            std::fprintf(stderr, "wendrel: cannot open the display \"%s\": no window can be shown\n",
                         display);
        else
            std::fputs("wendrel: no display to show the console on\n", stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    std::lock_guard<std::mutex> lock(g_heldLock);
    g_held.push_back({type, context.file, context.line, context.function, context.category, text});
}

void PassHeldMessages(QtMessageHandler previous)
{
    std::vector<HeldMessage> held;
    {
        std::lock_guard<std::mutex> lock(g_heldLock);
        held.swap(g_held);
    }
    for (const HeldMessage& m : held) {
        const QMessageLogContext context(m.file, m.line, m.function, m.category);
        if (previous)
            previous(m.type, context, m.text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(m.text));
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    std::string wrong;
    switch (Parse(argc, argv, wrong)) {
    case Command::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case Command::Version:
        std::printf("wendrel %s\n", WENDREL_VERSION);
        return 0;
    case Command::Wrong:
        std::fprintf(stderr, "wendrel: unknown option '%s'\n%s", wrong.c_str(), kUsage);
        return 2;
    case Command::Run:
        break;
    }
    if (!HasDisplay()) {
        std::fputs("wendrel: no display to show the console on (DISPLAY is not set)\n", stderr);
        return 1;
    }

    int qtArgc = 1;  // Qt's own options are not taken either
    const QtMessageHandler previous = qInstallMessageHandler(HoldMessage);
    QApplication app(qtArgc, argv);
    qInstallMessageHandler(previous);
    PassHeldMessages(previous);

    QApplication::setApplicationName(QStringLiteral("Wendrel"));
    QApplication::setApplicationVersion(QStringLiteral(WENDREL_VERSION));
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
