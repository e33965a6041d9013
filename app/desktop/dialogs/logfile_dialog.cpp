#include "app/desktop/dialogs/logfile_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>

namespace tolvane::desktop {

LogfileDialog::LogfileDialog(DialogHost& host, QWidget* parent) : SettingsDialog(host, parent, "Tolvane Logfile") {
    const Settings& s = S();
    auto* grid = new QGridLayout;
    enabled = AddCheck(grid, 0, "Enable Log File:", s.LogFileEnabled != 0, 0, 1);
    file = new QLineEdit(Q(s.LogFile));
    file->setMaxLength(kPathFieldMax);
    grid->addWidget(WithBrowse(file, "Log File", "*.log", {"Log Files (*.log)", "All Files (*)"}, FileUse::Write,
                               &Settings::FilterFile, "Log file can't be same as Filter file!"),
                    0, 1);
    useDate = AddCheck(grid, 1, "Use Date For Log File Name (YYMMMDD.LOG)", s.LogFileUseDate != 0);
    flush = AddCheck(grid, 2, "Flush Log File Output To Disk Every: ", s.LogFileFlush != 0, 0, 1);
    flushTime = MakeList(kFlushItems, s.LogFlushTime == 0 ? 4 : s.LogFlushTime - 1);
    grid->addWidget(flushTime, 2, 1);
    UpdateEnabling();
    for (QCheckBox* box : {enabled, useDate, flush}) connect(box, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
    Finish(grid);
    enabled->setFocus();
}

void LogfileDialog::UpdateEnabling() { EnableOutputFile(enabled->isChecked(), file, useDate, flush, flushTime); }

bool LogfileDialog::Apply(Settings& s) {
    const std::string name = Text(file);
    const bool on = enabled->isChecked();
    if (on && name.empty() && !useDate->isChecked()) return Refuse("You must select a log file!");
    if (!name.empty()) s.LogFile = name;  // kept even with logging off
    s.LogFileEnabled = on;
    s.LogFileUseDate = useDate->isChecked();
    s.LogFileFlush = flush->isChecked();
    s.LogFlushTime = Selected(flushTime) + 1;
    return true;
}

bool ShowLogfileDialog(QWidget* parent, DialogHost& host) {
    LogfileDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop
