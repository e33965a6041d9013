// Helpers for the tests that drive the desktop program's real widgets and
// dialogs offscreen: answering modal dialogs as a user would, a dialog host
// over a real engine, and a main window over a fake world.
#pragma once

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include "app/desktop/main_window.h"
#include "display/line_joiner.h"
#include "settings/settings_file.h"
#include "support/fake_world.h"
#include "app/desktop/dialogs/dialog_host.h"

namespace tolvane::desktop {

// Each test program includes this header once, and uses only some helpers.
namespace {

using tolvane::testing::FakeSound;
using tolvane::testing::TestRig;

// Answers every modal dialog that comes up while it lives, as a user would:
// keeps the text of a one-line message, lets `before` fill the dialog in,
// then presses OK (its own OK button, so that its checks run), or Cancel
// while `accept` is false. A dialog still up after its OK has refused: it is
// cancelled, so that the test goes on and finds the refusal in `texts`.
class ModalAnswer : public QObject {
public:
    explicit ModalAnswer(bool accept = true, std::function<void(QDialog&)> before = {}) {
        connect(&timer_, &QTimer::timeout, this, [this, accept, before] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || pressing_.contains(dialog)) return;
            if (dialog == pressed_) return dialog->reject();
            if (auto* text = dialog->findChild<QLabel*>("text")) texts << text->text();
            if (before) before(*dialog);
            if (!accept) return dialog->reject();
            // Pressed after this slot, so that a message which OK brings up is answered as well;
            // still being pressed while that message is up, so not pressed twice.
            pressing_ << dialog;
            QTimer::singleShot(0, this, [this, dialog = QPointer<QDialog>(dialog)] { PressOk(dialog); });
        });
        timer_.start(5);
    }
    QStringList texts;

private:
    void PressOk(const QPointer<QDialog>& dialog) {
        if (dialog == nullptr) return;
        auto* box = dialog->findChild<QDialogButtonBox*>();
        QPushButton* ok = box != nullptr ? box->button(QDialogButtonBox::Ok) : nullptr;
        ok != nullptr ? ok->click() : dialog->accept();
        pressing_.removeAll(dialog);
        pressed_ = dialog;
    }
    QTimer timer_;
    QList<QPointer<QDialog>> pressing_;
    QPointer<QDialog> pressed_;
};

// Runs `action`, answering the dialogs it brings up as ModalAnswer does: the messages shown, joined by "|".
QString Answered(const std::function<void()>& action, bool accept = true,
                 const std::function<void(QDialog&)>& fill = {}) {
    ModalAnswer answer(accept, fill);
    action();
    return answer.texts.join('|');
}

// A `before` for ModalAnswer that fills in the dialogs of type D, not the messages they show.
template <class D> std::function<void(QDialog&)> FillIn(std::function<void(D&)> fill) {
    return [fill](QDialog& dialog) {
        if (auto* d = dynamic_cast<D*>(&dialog)) fill(*d);
    };
}

// The dialogs' host over a real engine which, as in the main window, compares
// the record handed over with the one it has; saved to a temporary INI file.
class TestHost : public DialogHost {
public:
    explicit TestHost(const Settings& s) : rig(s) {}
    const Settings& CurrentSettings() const override { return rig.engine->settings(); }
    void ApplySettings(const Settings& next) override { rig.engine->ApplySettings(next); }
    bool SaveSettingsFile() override { return ++saves, SaveSettings(kAppName, path_, CurrentSettings()); }
    const Statistics& CurrentStatistics() override { return rig.engine->Stats(); }
    Settings Saved() const { return [this](Settings s) { return LoadSettings(kAppName, path_, s), s; }({}); }
    TestRig rig;
    int saves = 0;

private:
    QTemporaryDir folder_;
    std::string path_ = folder_.filePath("Tolvane.INI").toStdString();
};

// Picks an item the way a user completes a choice in a list.
[[maybe_unused]] void Choose(QComboBox* list, int item) {
    list->setCurrentIndex(item);
    emit list->activated(item);
}

// "1" for each enabled widget, "0" for each disabled one.
[[maybe_unused]] QString On(std::initializer_list<QWidget*> widgets) {
    QString states;
    for (QWidget* w : widgets) states += w->isEnabled() ? '1' : '0';
    return states;
}

// The pane's completed rows joined back into lines (a full row continues on the next one).
[[maybe_unused]] QStringList PaneLines(const TextPane& pane) {
    QStringList lines;
    LineJoiner joiner([&lines](const std::string& line) { lines << QString::fromLatin1(line.c_str()); });
    for (std::uint32_t r = 0; r < pane.row; ++r) joiner.RowCompleted(pane, r, pane.RowText(r).size() == pane.lineWidth);
    return lines;
}

// A recording that tolvane-gen makes in `dir` as `name` from `args`: its options and page descriptions.
[[maybe_unused]] QString Generated(const QTemporaryDir& dir, const QString& name, const QStringList& args) {
    const QString path = dir.filePath(name);
    if (QProcess::execute(TOLVANE_GEN, QStringList{"-o", path} + args) != 0)
        QTest::qFail(qPrintable("tolvane-gen could not make " + path), __FILE__, __LINE__);
    return path;
}

Settings TestSettings(int confirmExit = 0) {
    Settings s;
    s.xPos = s.yPos = 10, s.xSize = 640, s.ySize = 420, s.ConfirmExit = confirmExit, s.Timestamp = 0;
    s.Filters.push_back(FilterRecord{FilterType::Text, "", 0, "Fire", "FIRE", 0, 0, 0});
    return s;
}

struct Fixture {
    explicit Fixture(const Settings& settings = TestSettings(), MainWindow::Options options = {})
        : window(settings, std::move(options), sound) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    Output& output() { return window.engine().output(); }
    const TextPane& lower() { return output().MessagePane; }
    void PutLine(const std::string& text) {
        output().PanePutText(output().MessagePane, text);
        output().PaneEndLine(output().MessagePane);
    }
    FakeSound sound;
    MainWindow window;
};

constexpr std::uint32_t kRed = MakeColor(200, 0, 0);

}  // namespace
}  // namespace tolvane::desktop
