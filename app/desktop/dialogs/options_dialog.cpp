#include "app/desktop/dialogs/options_dialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

#include "output/charset.h"

namespace tolvane::desktop {

namespace {

struct Option {
    const char* text;
    std::int32_t Settings::*field;
};
constexpr std::array<Option, 10> kOptions = {{
    {"Confirm E&xit", &Settings::ConfirmExit},
    {"&Timestamp", &Settings::Timestamp},
    {"Show &Frame", &Settings::ShowFrame},
    {"Show &Numeric/Tone", &Settings::ShowNumeric},
    {"Show &Miscellaneous", &Settings::ShowMisc},
    {"Enable Filter &Beep", &Settings::FilterBeep},
    {"Decode POCSAG", &Settings::DecodePocsag},
    {"Decode FLEX/ReFLEX", &Settings::DecodeFlex},
    {"Decode Golay (GSC)", &Settings::DecodeGolay},
    {"Join FLEX &Fragments", &Settings::JoinFragments},
}};

constexpr int kRepeatWindowMax = 24 * 3600;

}  // namespace

OptionsDialog::OptionsDialog(DialogHost& host, QWidget* parent) : SettingsDialog(host, parent, "Tolvane Options") {
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        boxes[i] = AddCheck(grid, static_cast<int>(i), kOptions[i].text, S().*kOptions[i].field != 0);
    }
    int row = static_cast<int>(kOptions.size());
    repeatWindow = new QSpinBox;
    repeatWindow->setRange(0, kRepeatWindowMax);
    repeatWindow->setSuffix(" s");
    repeatWindow->setSpecialValueText("Off");
    repeatWindow->setValue(S().RepeatWindow);
    auto* repeatLabel = new QLabel("Fold &Repeats Within:");
    repeatLabel->setBuddy(repeatWindow);
    grid->addWidget(repeatLabel, row, 0);
    grid->addWidget(repeatWindow, row++, 1);
    QStringList names;
    for (const char* name : kNationalCharsetNames) names << name;
    charset = MakeList(names, S().Charset);
    auto* charsetLabel = new QLabel("Text &Characters:");
    charsetLabel->setBuddy(charset);
    grid->addWidget(charsetLabel, row, 0);
    grid->addWidget(charset, row, 1);
    Finish(grid);
    boxes[0]->setFocus();
}

bool OptionsDialog::Apply(Settings& s) {
    // A box left as it was keeps the stored number: ShowNumeric and ShowMisc
    // read a 2 differently from a 1, and both show as ticked.
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        std::int32_t& value = s.*kOptions[i].field;
        if (boxes[i]->isChecked() != (value != 0)) value = boxes[i]->isChecked() ? 1 : 0;
    }
    s.RepeatWindow = repeatWindow->value();
    s.Charset = std::max(0, Selected(charset));
    return true;
}

bool ShowOptionsDialog(QWidget* parent, DialogHost& host) {
    OptionsDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop
