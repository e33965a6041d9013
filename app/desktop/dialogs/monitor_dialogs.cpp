#include "app/desktop/dialogs/monitor_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "monitor/keep_alive.h"

namespace tolvane::desktop {

namespace {

QGroupBox* CountGroup(const char* title, std::array<QLabel*, kStatCategoryCount>& numeric,
                      std::array<QLabel*, kStatCategoryCount>& alpha, const StatCounters& counters, bool daily) {
    auto* group = new QGroupBox(title);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("Numeric"), 0, 1, Qt::AlignRight);
    grid->addWidget(new QLabel("Alpha"), 0, 2, Qt::AlignRight);
    for (std::size_t c = 0; c < kStatCategoryCount; ++c) {
        const int row = static_cast<int>(c) + 1;
        grid->addWidget(new QLabel(kStatCategoryNames[c]), row, 0);
        numeric[c] = new QLabel(CountText(counters.numericMsgs[c], daily));
        alpha[c] = new QLabel(CountText(counters.alphaMsgs[c], daily));
        grid->addWidget(numeric[c], row, 1, Qt::AlignRight);
        grid->addWidget(alpha[c], row, 2, Qt::AlignRight);
    }
    return group;
}

QStringList HourItems(const char* minutes) {
    QStringList items = {"Disabled"};
    for (int hour = 0; hour < 24; ++hour) {
        items << QString("%1:%2 %3").arg(hour % 12 == 0 ? 12 : hour % 12).arg(minutes).arg(hour < 12 ? "am" : "pm");
    }
    return items;
}

QStringList TimeoutItems() {
    QStringList items = {"Disabled"};
    for (std::size_t i = 1; i < KeepAliveMinutes.size(); ++i) {
        items << QString("%1 minute%2").arg(KeepAliveMinutes[i]).arg(KeepAliveMinutes[i] == 1 ? "" : "s");
    }
    return items;
}

}  // namespace

QString CountText(std::uint32_t count, bool daily) {
    return count >= (daily ? 10000000u : 1000000u) ? QString("******") : QString::number(count);
}

StatisticsDialog::StatisticsDialog(DialogHost& host, QWidget* parent)
    : SettingsDialog(host, parent, "Tolvane Statistics") {
    const Settings& s = S();
    const Statistics& stats = host.CurrentStatistics();  // a snapshot: the dialog does not follow the counts
    auto* grid = new QGridLayout;
    grid->addWidget(CountGroup("Hourly Statistics", counts[0], counts[1], stats.HourlyStats, false), 0, 0);
    grid->addWidget(CountGroup("Daily Statistics", counts[2], counts[3], stats.DailyStats, true), 0, 1);
    textEnabled = AddCheck(grid, 1, "Write Statistics to Text File:", s.StatFileEnabled != 0, 0, 1);
    textFile = new QLineEdit(Q(s.StatFile));
    grid->addWidget(WithBrowse(textFile, "Statistics File", "*.st", {"Statistics Files (*.st)", "All Files (*)"},
                               FileUse::Write),
                    1, 1);
    textUseDate = AddCheck(grid, 2, "Use Date For Statistics Text File Name (YYMMMDD.ST)", s.StatFileUseDate != 0);
    csvEnabled = AddCheck(grid, 3, "Write Statistics to CSV File:", s.StatCSVFileEnabled != 0, 0, 1);
    csvFile = new QLineEdit(Q(s.StatCSVFile));
    grid->addWidget(WithBrowse(csvFile, "Statistics CSV File", "*.csv", {"CSV Files (*.csv)", "All Files (*)"}, FileUse::Write),
                    3, 1);
    csvUseDate = AddCheck(grid, 4, "Use Date For Statistics CSV File Name (YYMMMDD.CSV)", s.StatCSVFileUseDate != 0);
    for (QLineEdit* field : {textFile, csvFile}) field->setMaxLength(kPathFieldMax);
    UpdateEnabling();
    for (QCheckBox* box : {textEnabled, textUseDate, csvEnabled, csvUseDate}) {
        connect(box, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
    }
    Finish(grid);
    textEnabled->setFocus();
}

void StatisticsDialog::UpdateEnabling() {
    textFile->setEnabled(textEnabled->isChecked() && !textUseDate->isChecked());
    textUseDate->setEnabled(textEnabled->isChecked());
    csvFile->setEnabled(csvEnabled->isChecked() && !csvUseDate->isChecked());
    csvUseDate->setEnabled(csvEnabled->isChecked());
}

bool StatisticsDialog::Apply(Settings& s) {
    const std::string text = Text(textFile);
    const std::string csv = Text(csvFile);
    if (textEnabled->isChecked() && text.empty() && !textUseDate->isChecked()) {
        return Refuse("You must select a statistics file!");
    }
    if (csvEnabled->isChecked() && csv.empty() && !csvUseDate->isChecked()) {
        return Refuse("You must select a statistics file!");
    }
    s.StatFile = text;
    s.StatFileEnabled = textEnabled->isChecked();
    s.StatFileUseDate = textUseDate->isChecked();
    s.StatCSVFile = csv;
    s.StatCSVFileEnabled = csvEnabled->isChecked();
    s.StatCSVFileUseDate = csvUseDate->isChecked();
    return true;
}

KeepAliveDialog::KeepAliveDialog(DialogHost& host, QWidget* parent)
    : SettingsDialog(host, parent, "Tolvane Keep Alive") {
    const Settings& s = S();
    const QStringList lists[3] = {HourItems("00"), HourItems("59"), TimeoutItems()};
    const char* names[3] = {"Start:", "Stop:", "Timeout:"};
    auto* grid = new QGridLayout;
    for (std::size_t r = 0; r < 3; ++r) {
        const std::int32_t chosen[3] = {s.KeepAliveStart[r], s.KeepAliveStop[r], s.KeepAliveTimeout[r]};
        for (std::size_t l = 0; l < 3; ++l) {
            ranges[r][l] = MakeList(lists[l], chosen[l]);
            auto* name = new QLabel(names[l]);
            name->setBuddy(ranges[r][l]);
            grid->addWidget(name, static_cast<int>(r), static_cast<int>(2 * l));
            grid->addWidget(ranges[r][l], static_cast<int>(r), static_cast<int>(2 * l + 1));
            // "Disabled" in one list of a range disables the whole range.
            connect(ranges[r][l], &QComboBox::activated, this, [this, r](int item) {
                if (item == 0) {
                    for (QComboBox* list : ranges[r]) list->setCurrentIndex(0);
                }
            });
        }
    }
    commandEnabled = AddCheck(grid, 3, "Enable Command File:", s.KeepAliveCmdFileEnabled != 0, 0, 2);
    commandFile = new QLineEdit(Q(s.KeepAliveCmdFile));
    commandFile->setMaxLength(kPathFieldMax);
    grid->addWidget(
        WithBrowse(commandFile, "Keep Alive Command", "", {"Command Files (*.sh)", "All Files (*)"}, FileUse::Read), 3, 2, 1, 4);
    auto* argsName = new QLabel("Command File Arguments:");
    commandArgs = new QLineEdit(Q(s.KeepAliveCmdArgs));
    commandArgs->setMaxLength(kPathFieldMax);
    argsName->setBuddy(commandArgs);
    grid->addWidget(argsName, 4, 0, 1, 2);
    grid->addWidget(commandArgs, 4, 2, 1, 4);
    auto enable = [this](bool on) {
        commandFile->setEnabled(on);
        commandArgs->setEnabled(on);
    };
    enable(commandEnabled->isChecked());
    connect(commandEnabled, &QCheckBox::toggled, this, enable);
    Finish(grid);
    ranges[0][0]->setFocus();
}

bool KeepAliveDialog::Apply(Settings& s) {
    std::array<bool, 24> used{};
    std::array<std::int32_t, 3> start{}, stop{}, timeout{};
    for (std::size_t r = 0; r < 3; ++r) {
        start[r] = std::max(0, Selected(ranges[r][0]));
        stop[r] = std::max(0, Selected(ranges[r][1]));
        timeout[r] = std::max(0, Selected(ranges[r][2]));
        if (start[r] == 0 || stop[r] == 0) continue;
        // From start to stop through the hours 1..24, past midnight if need be.
        for (std::int32_t h = start[r];; h = h % 24 + 1) {
            const auto hour = static_cast<std::size_t>(h - 1);
            if (r > 0 && used[hour]) return Refuse("Time ranges overlap!");
            used[hour] = true;
            if (h == stop[r]) break;
        }
    }
    const std::string command = Text(commandFile);
    if (commandEnabled->isChecked() && command.empty()) return Refuse("You must select a command file!");
    s.KeepAliveStart = start;
    s.KeepAliveStop = stop;
    s.KeepAliveTimeout = timeout;
    s.KeepAliveCmdFileEnabled = commandEnabled->isChecked();
    s.KeepAliveCmdFile = command;
    s.KeepAliveCmdArgs = Text(commandArgs);
    return true;
}

bool ShowStatisticsDialog(QWidget* parent, DialogHost& host) {
    StatisticsDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool ShowKeepAliveDialog(QWidget* parent, DialogHost& host) {
    KeepAliveDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop
