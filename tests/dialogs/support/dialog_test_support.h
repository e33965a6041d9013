// A host over a settings record and an INI file in a temporary folder, and
// a watcher that answers the one-line dialogs as a user would.
#pragma once

#include <QComboBox>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

#include "app/desktop/dialogs/dialog_host.h"

namespace tolvane::desktop::testing {

class TestHost : public DialogHost {
public:
    explicit TestHost(const Settings& settings = Settings());

    Settings& CurrentSettings() override { return settings; }
    bool SaveSettingsFile() override;
    void SettingsChanged(unsigned changes) override { reported.push_back(changes); }
    const Statistics& CurrentStatistics() override { return statistics; }

    // The record as the saved file gives it back.
    Settings Saved() const;
    // OR of everything reported.
    unsigned AllReported() const;

    Settings settings;
    Statistics statistics;
    std::vector<unsigned> reported;
    int saves = 0;

private:
    QTemporaryDir folder_;
    std::string path_;
};

// Answers every one-line dialog opened while it lives: keeps its text and
// presses OK, or Cancel when `answer` is false.
class MessageWatcher : public QObject {
public:
    explicit MessageWatcher(bool answer = true);
    QStringList texts;
    bool answer;

private:
    QTimer timer_;
};

// Picks an item the way a user completes a choice in a list.
void Choose(QComboBox* list, int item);

}  // namespace tolvane::desktop::testing
