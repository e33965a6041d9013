// tolvane: the desktop monitor. Start-up: defaults, the settings file, the
// main window at its saved place, then the event loop.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/desktop/main_window.h"
#include "app/desktop/qt_world.h"
#include "app/desktop/quit_signals.h"
#include "settings/settings_file.h"

namespace {

using namespace tolvane;
using namespace tolvane::desktop;

constexpr const char kUsage[] =
    "Usage: tolvane [--ini PATH] [--demo] [INPUT]\n"
    "\n"
    "The desktop monitor for POCSAG, FLEX and GSC paging. INPUT is read as\n"
    "tolvane-cli reads it: an edge stream or audio file (replayed at its own\n"
    "speed), '-' for raw audio on standard input, audio:DEVICE or\n"
    "serial:DEVICE. Without INPUT the input stored in the settings is used.\n"
    "\n"
    "  --ini PATH   the settings file to use (default: Tolvane.INI beside the\n"
    "               program when that folder is writable, else\n"
    "               ~/.config/tolvane/Tolvane.INI)\n"
    "  --demo       replay a bundled recording of POCSAG, FLEX and GSC pages\n"
    "               in a loop, with a filter, using its own settings file\n"
    "               (~/.config/tolvane/demo.ini)\n";

// The box for a start-up step that failed: what failed and the system's
// reason. OK ends the program; Cancel goes on.
int FatalErrorBox(const QString& text) {
    const int error = errno;
    const QString message = QString("%1\n\n%2 (error %3)\n\nPress OK to end Tolvane, or Cancel to go on.")
                                .arg(text, QString::fromLocal8Bit(std::strerror(error)))
                                .arg(error);
    const auto answer = QMessageBox::critical(nullptr, "Tolvane cannot start", message, QMessageBox::Ok | QMessageBox::Cancel);
    if (answer == QMessageBox::Ok) std::exit(0);
    return 1;
}

// Where the help, the demo recording and its settings are: share/tolvane
// beside the program's bin folder (installed and in the build tree alike).
QString DataDirectory() {
    return QDir(QCoreApplication::applicationDirPath() + "/../share/tolvane").absolutePath();
}

// The demo's own settings file, made from the bundled one the first time,
// so that the demo never changes the user's settings.
QString DemoSettingsPath(const QString& data) {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/tolvane";
    const QString path = dir + "/demo.ini";
    if (!QFileInfo::exists(path)) {
        QDir().mkpath(dir);
        QFile::copy(data + "/demo.ini", path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(kAppName);
    QApplication::setWindowIcon(QIcon(DataDirectory() + "/tolvane.svg"));

    QString ini;
    QString input;
    bool demo = false;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--ini" && i + 1 < args.size()) {
            ini = args[++i];
        } else if (arg == "--demo") {
            demo = true;
        } else if (arg.size() > 1 && arg.startsWith('-')) {
            std::fprintf(stderr, "tolvane: unknown option %s\n%s", arg.toLocal8Bit().constData(), kUsage);
            return 2;
        } else if (input.isEmpty()) {
            input = arg;
        } else {
            std::fprintf(stderr, "tolvane: only one INPUT may be given\n");
            return 2;
        }
    }

    const QString data = DataDirectory();
    MainWindow::Options options;
    options.helpPath = (data + "/help/index.html").toStdString();
    if (demo) {
        if (ini.isEmpty()) ini = DemoSettingsPath(data);
        if (input.isEmpty()) input = data + "/demo.tve";
        options.loop = true;
    }
    options.settingsPath = ini.isEmpty() ? DefaultSettingsPath() : ini.toStdString();
    options.input = input.toStdString();

    Settings settings;
    const SettingsLoad load = LoadSettings(kAppName, options.settingsPath, settings);
    if (!ini.isEmpty() && load.file == FileState::Missing) {
        // A settings file named on the command line must be there.
        errno = ENOENT;
        FatalErrorBox("Cannot read the settings file " + ini);
    }

    QtSoundPlayer sound;
    MainWindow window(settings, options, sound);
    window.ReportSettingsLoad(load);
    QuitSignals quitSignals([&window] {
        window.CloseWithoutAsking();
        QApplication::quit();  // also ends the loop of a dialog left open
    });
    window.show();
    return QApplication::exec();
}
