// The desktop program as it starts: settings and output files it cannot
// read or write leave the window up, with the trouble in the status line
// (and the settings' troubles on standard error too), and a settings file
// it could not read is never saved over. (The real program on the
// project's hand-edited settings file: quit_signals_test.sh.)
#include <unistd.h>

#include <cstdio>

#include "support/file_access.h"

#include "desktop_support.h"

using namespace tolvane;
using namespace tolvane::desktop;

namespace {

// What this process writes to standard error while it lives.
class StderrCapture {
public:
    StderrCapture() {
        file_.open();
        std::fflush(stderr);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QString Text() {
        std::fflush(stderr);
        return QString::fromLocal8Bit(testing::ReadFile(file_.fileName().toStdString()));
    }

private:
    int saved_ = ::dup(STDERR_FILENO);
    QTemporaryFile file_;
};

// In every text "@" stands for the test's folder. A row's settings file is
// `file` in it ("plain" there is a file), made of `bytes` (none: absent)
// with the permission bits `mode`. The window shows `atStart`, and after
// Options > OK (a save) `afterSave`. At exit the file is either as it was
// (`savedHas` empty) or a save holding `savedHas`.
struct Row {
    const char* name;
    QByteArray bytes;
    QFile::Permissions mode;
    const char* file;
    int showNumeric;
    QString atStart, afterSave;
    const char* savedHas;
};

constexpr QFile::Permissions kReadWrite = QFile::ReadOwner | QFile::WriteOwner;
const QString kNotSaved = "settings not saved: @/Tolvane.INI could not be read at start";

QString Unread(const QString& reason) {
    return "cannot read settings file @/Tolvane.INI: " + reason + " (the defaults are used; the file is left as it is)";
}
QString Unwritable(const QString& file, const QString& reason) {
    return "cannot write " + file + ": " + reason + " (skipped until it works again)";
}

const Row kRows[] = {
    {"log folder missing", "[Tolvane]\nShowNumeric=0\nLogFileEnabled=1\nLogFile=@/missing/pages.log\n", kReadWrite,
     "Tolvane.INI", 0, Unwritable("@/missing/pages.log", "No such file or directory"),
     Unwritable("@/missing/pages.log", "No such file or directory"), "LogFileEnabled=1"},
    {"CSV file is a folder", "[Tolvane]\nShowNumeric=0\nStatCSVFileEnabled=1\nStatCSVFile=@\n", kReadWrite,
     "Tolvane.INI", 0, Unwritable("@", "Is a directory"), Unwritable("@", "Is a directory"), "StatCSVFileEnabled=1"},
    {"no permission", "[Tolvane]\nShowNumeric=0\n[Other]\nKeep=me\n", {}, "Tolvane.INI", 1,
     Unread("Permission denied"), kNotSaved, ""},
    {"font height out of range", "[Tolvane]\nShowNumeric=0\nFont.Height=-2147483648\n", kReadWrite, "Tolvane.INI", 0,
     "settings file @/Tolvane.INI: Font.Height=-2147483648 is out of range (-1000 to 1000); -11 kept", "",
     "Font.Height=-11"},
    {"read-only settings file", "[Tolvane]\nShowNumeric=0\n", QFile::ReadOwner, "Tolvane.INI", 0, "",
     "cannot save settings to @/Tolvane.INI: Permission denied", ""},
    {"settings folder is a file", "", {}, "plain/Tolvane.INI", 1, "",
     "cannot save settings to @/plain/Tolvane.INI: Not a directory", ""},
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void badFiles_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < std::size(kRows); ++i) QTest::newRow(kRows[i].name) << static_cast<int>(i);
    }
    void badFiles() {
        QFETCH(int, row);
        const Row& r = kRows[row];
        QTemporaryDir dir;
        const auto here = [&dir](QString text) { return text.replace('@', dir.path()); };
        const QString path = here("@/") + r.file;
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        const QByteArray before = QByteArray(r.bytes).replace('@', dir.path().toUtf8());
        QFile ini(path);
        if (!before.isEmpty()) {
            QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write(before) == before.size());
            ini.close();
            QVERIFY(ini.setPermissions(r.mode));
        }
        QString errors;
        {
            testing::UserFileAccess user;  // as root too, the file's mode bits hold
            StderrCapture capture;
            Settings settings;
            const SettingsLoad load = LoadSettings(kAppName, path.toStdString(), settings);
            {
                Fixture f(settings, {path.toStdString(), {}, {}, false});
                f.window.ReportSettingsLoad(load);
                QCOMPARE(f.window.StatusText(), here(r.atStart));
                QCOMPARE(f.window.engine().settings().ShowNumeric, r.showNumeric);
                Answered([&f] { f.window.RunCommand(kOptions); });  // OK saves
                QCOMPARE(f.window.StatusText(), here(r.afterSave));
            }
            errors = capture.Text();
        }
        // The settings' own troubles go to standard error as well.
        for (const QString& text : {r.atStart, r.afterSave}) {
            if (text.isEmpty() || text.startsWith("cannot write")) continue;
            QVERIFY2(errors.contains("tolvane: " + here(text)), qPrintable(errors));
        }
        if (QFileInfo::exists(path)) QVERIFY(ini.setPermissions(kReadWrite) && ini.open(QIODevice::ReadOnly));
        const QByteArray after = ini.isOpen() ? ini.readAll() : QByteArray();
        if (*r.savedHas == 0) {
            QCOMPARE(after, before);
        } else {
            QVERIFY2(after.contains(r.savedHas) && after.count("[Tolvane]") == 1, after.constData());
        }
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
