// "Tolvane Statistics" (the counts so far, the statistics files) and
// "Tolvane Keep Alive" (the off-the-air watch).
#pragma once

#include <array>

#include "app/desktop/dialogs/dialog_parts.h"

class QLabel;

namespace tolvane::desktop {

class StatisticsDialog : public SettingsDialog {
public:
    StatisticsDialog(DialogHost& host, QWidget* parent = nullptr);

    // By category: hourly numeric, hourly alpha, daily numeric, daily alpha.
    std::array<std::array<QLabel*, kStatCategoryCount>, 4> counts{};
    QCheckBox* textEnabled;
    QLineEdit* textFile;
    QCheckBox* textUseDate;
    QCheckBox* csvEnabled;
    QLineEdit* csvFile;
    QCheckBox* csvUseDate;

protected:
    bool Apply(Settings& next) override;

private:
    void UpdateEnabling();
};

class KeepAliveDialog : public SettingsDialog {
public:
    KeepAliveDialog(DialogHost& host, QWidget* parent = nullptr);

    // Per range: start, stop, timeout.
    std::array<std::array<QComboBox*, 3>, 3> ranges{};
    QCheckBox* commandEnabled;
    QLineEdit* commandFile;
    QLineEdit* commandArgs;

protected:
    bool Apply(Settings& next) override;
};

// The text of a count: "******" when it does not fit its field.
QString CountText(std::uint32_t count, bool daily);

}  // namespace tolvane::desktop
