#include "app/desktop/dialogs/channels_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <cmath>

#include "receiver/iq/channel_bank.h"
#include "receiver/iq/iq_select.h"

namespace tolvane::desktop {

namespace {

const QStringList kPolarityItems = {"Auto", "Normal", "Inverted"};
constexpr double kMostSampleRate = 100e6;  // what the IQ inputs accept
constexpr double kMostPpm = 1000;
constexpr double kMostGainDb = 100;

// A frequency field's value; empty fields are `empty`. False for anything
// else than a frequency.
bool ReadFrequency(const QLineEdit* field, double empty, double& hz) {
    const std::string text = field->text().trimmed().toStdString();
    if (text.empty()) return hz = empty, true;
    return ParseFrequency(text, hz);
}

// A plain number within -most..most (0..most when `positive`); empty is `empty`.
bool ReadNumber(const QLineEdit* field, double empty, double most, bool positive, double& value) {
    const QString text = field->text().trimmed();
    if (text.isEmpty()) return value = empty, true;
    bool number = false;
    value = text.toDouble(&number);
    return number && std::isfinite(value) && std::fabs(value) <= most && (!positive || value >= 0);
}

QString NumberText(double value) { return QString::number(value, 'g', 12); }

}  // namespace

QString FrequencyText(double hz) {
    if (hz >= 1e6) return NumberText(hz / 1e6) + "M";
    if (hz >= 1e3) return NumberText(hz / 1e3) + "k";
    return NumberText(hz);
}

ChannelsDialog::ChannelsDialog(DialogHost& host, QWidget* parent, std::optional<double> newFrequencyHz)
    : SettingsDialog(host, parent, "Tolvane Channels"), channels_(S().Iq.Channels) {
    const IqBand& band = S().Iq;
    auto* grid = new QGridLayout;
    list = new QTableWidget(0, 4);
    list->setHorizontalHeaderLabels({"Frequency", "Name", "Levels", "Polarity"});
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    grid->addWidget(list, 0, 0, 1, 2);

    frequency = AddField(grid, 1, "&Frequency (Hz, k, M):", "", 20);
    frequency->setPlaceholderText("929.6125M");
    name = AddField(grid, 2, "&Name:", "", static_cast<int>(kChannelNameMax));
    name->setPlaceholderText("its number");
    levels = MakeList({"2 Level", "4 Level"}, 0);
    polarity = MakeList(kPolarityItems, 0);
    grid->addWidget(new QLabel("Levels:"), 3, 0);
    grid->addWidget(levels, 3, 1);
    grid->addWidget(new QLabel("Polarity:"), 4, 0);
    grid->addWidget(polarity, 4, 1);
    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    add = new QPushButton("&Add");
    change = new QPushButton("&Change");
    remove = new QPushButton("&Remove");
    for (QPushButton* button : {add, change, remove}) {
        button->setAutoDefault(false);
        row->addWidget(button);
    }
    grid->addWidget(buttons, 5, 0, 1, 2);

    grid->addWidget(new QLabel("IQ band (empty: from the recording)"), 6, 0, 1, 2);
    sampleRate = AddField(grid, 7, "&Sample Rate (Hz, k, M):", band.SampleRate > 0 ? FrequencyText(band.SampleRate).toStdString() : "", 20);
    centre = AddField(grid, 8, "C&entre (Hz, k, M):", band.CenterHz > 0 ? FrequencyText(band.CenterHz).toStdString() : "", 20);
    ppm = AddField(grid, 9, "Frequency &Error (ppm):", NumberText(band.Ppm).toStdString(), 12);
    gain = AddField(grid, 10, "&Gain (dB, empty: automatic):", band.GainDb >= 0 ? NumberText(band.GainDb).toStdString() : "", 12);

    connect(list, &QTableWidget::itemSelectionChanged, this, [this] { RowChosen(); });
    connect(add, &QPushButton::clicked, this, [this] {
        if (channels_.size() >= static_cast<std::size_t>(kMaxChannels)) {
            Refuse(QString("At most %1 channels!").arg(kMaxChannels));
        } else if (const std::optional<ChannelRecord> channel = FromFields()) {
            channels_.push_back(*channel);
            ShowList();
            list->selectRow(list->rowCount() - 1);
        }
    });
    connect(change, &QPushButton::clicked, this, [this] {
        const int r = list->currentRow();
        if (r < 0) return;
        if (const std::optional<ChannelRecord> channel = FromFields()) {
            channels_[static_cast<std::size_t>(r)] = *channel;
            ShowList();
            list->selectRow(r);
        }
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        const int r = list->currentRow();
        if (r < 0) return;
        channels_.erase(channels_.begin() + r);
        ShowList();
        UpdateEnabling();
    });
    ShowList();
    UpdateEnabling();
    list->setMinimumWidth(420);
    Finish(grid);
    if (newFrequencyHz) {
        frequency->setText(FrequencyText(*newFrequencyHz));
        add->setDefault(true);
        name->setFocus();
    } else {
        frequency->setFocus();
    }
}

std::optional<ChannelRecord> ChannelsDialog::FromFields() {
    ChannelRecord channel;
    const std::string text = frequency->text().trimmed().toStdString();
    if (!ParseFrequency(text, channel.FrequencyHz)) {
        Refuse("The frequency is a number of Hz, or of kHz or MHz with k or M after it (929.6125M)!");
        return std::nullopt;
    }
    channel.Name = Text(name, static_cast<int>(kChannelNameMax));
    channel.Levels = Selected(levels) == 1 ? 4 : 2;
    channel.Polarity = static_cast<ChannelPolarity>(std::max(0, Selected(polarity)));
    return channel;
}

void ChannelsDialog::ShowList() {
    list->setRowCount(static_cast<int>(channels_.size()));
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const ChannelRecord& c = channels_[i];
        const int r = static_cast<int>(i);
        const QStringList cells = {FrequencyText(c.FrequencyHz), Q(ChannelLabel(c, i)), QString::number(c.Levels),
                                   kPolarityItems.value(static_cast<int>(c.Polarity))};
        for (int column = 0; column < cells.size(); ++column) list->setItem(r, column, new QTableWidgetItem(cells[column]));
    }
    list->resizeColumnsToContents();
}

void ChannelsDialog::RowChosen() {
    const int r = list->currentRow();
    if (r >= 0 && r < static_cast<int>(channels_.size()) && !list->selectedItems().isEmpty()) {
        const ChannelRecord& c = channels_[static_cast<std::size_t>(r)];
        frequency->setText(FrequencyText(c.FrequencyHz));
        name->setText(Q(c.Name));
        levels->setCurrentIndex(c.Levels == 4 ? 1 : 0);
        polarity->setCurrentIndex(static_cast<int>(c.Polarity));
    }
    UpdateEnabling();
}

void ChannelsDialog::UpdateEnabling() {
    const bool chosen = list->currentRow() >= 0 && !list->selectedItems().isEmpty();
    change->setEnabled(chosen);
    remove->setEnabled(chosen);
}

bool ChannelsDialog::Apply(Settings& next) {
    IqBand band = next.Iq;
    if (!ReadFrequency(sampleRate, 0, band.SampleRate) ||
        (band.SampleRate != 0 && (band.SampleRate < kMinIqSampleRate || band.SampleRate > kMostSampleRate)))
        return Refuse("The sample rate is from 48k to 100M samples/s, or empty to take it from the recording!");
    if (!ReadFrequency(centre, 0, band.CenterHz))
        return Refuse("The centre is a frequency (Hz, or with k or M), or empty to take it from the recording!");
    if (!ReadNumber(ppm, 0, kMostPpm, false, band.Ppm)) return Refuse("The frequency error is -1000 to 1000 ppm!");
    if (!ReadNumber(gain, -1, kMostGainDb, true, band.GainDb))
        return Refuse("The gain is 0 to 100 dB, or empty for automatic gain!");
    // With the band known, a channel outside it is told now rather than
    // when the input is opened.
    if (band.SampleRate > 0 && band.CenterHz > 0) {
        for (std::size_t i = 0; i < channels_.size(); ++i) {
            if (std::fabs(channels_[i].FrequencyHz - band.CenterHz) > band.SampleRate / 2)
                return Refuse(Q("Channel " + ChannelLabel(channels_[i], i) + " lies outside the IQ band!"));
        }
    }
    band.Channels = channels_;
    next.Iq = band;
    return true;
}

bool ShowChannelsDialog(QWidget* parent, DialogHost& host, std::optional<double> newFrequencyHz) {
    ChannelsDialog dialog(host, parent, newFrequencyHz);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop
