#include "support/dialog_test_support.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>

#include "settings/settings_file.h"

namespace tolvane::desktop::testing {

TestHost::TestHost(const Settings& s) : rig(s), path_(folder_.filePath("Tolvane.INI").toStdString()) {}

bool TestHost::SaveSettingsFile() {
    ++saves;
    return SaveSettings(kAppName, path_, Live());
}

void TestHost::ApplySettings(const Settings& next, unsigned changes) {
    rig.engine->ApplySettings(next);
    reported.push_back(changes);
}

Settings TestHost::Saved() const {
    Settings loaded;
    LoadSettings(kAppName, path_, loaded);
    return loaded;
}

unsigned TestHost::AllReported() const {
    unsigned all = 0;
    for (unsigned r : reported) all |= r;
    return all;
}

MessageWatcher::MessageWatcher(bool a) : answer(a) {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, [this] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        const QString name = dialog->objectName();
        if (name != "MessageDialog" && name != "QuestionDialog") return;
        texts << dialog->findChild<QLabel*>("text")->text();
        if (answer) {
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
    timer_.start();
}

void Choose(QComboBox* list, int item) {
    list->setCurrentIndex(item);
    emit list->activated(item);
}

}  // namespace tolvane::desktop::testing
