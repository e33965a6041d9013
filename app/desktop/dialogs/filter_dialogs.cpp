#include "app/desktop/dialogs/filter_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/desktop/dialogs/message_box.h"
#include "output/charset.h"

namespace tolvane::desktop {

namespace {

FilterType TypeOfItem(int item) { return static_cast<FilterType>(item + 1); }

QString Line(const FilterRecord& record) { return Q(FormatFilterLine(record)); }

}  // namespace

FilterEditDialog::FilterEditDialog(FilterRecord& record, QWidget* parent) : QDialog(parent), record_(record) {
    UseDialogFrame(this);
    setWindowTitle("Tolvane Add/Edit Filter");
    auto* grid = new QGridLayout;
    auto row = [grid](int r, const char* name, QWidget* control) {
        grid->addWidget(new QLabel(name), r, 0);
        grid->addWidget(control, r, 1);
    };
    type = MakeList({"Text", "POCSAG Capcode", "FLEX Short Capcode", "FLEX Long Capcode", "Golay (GSC) Capcode"}, 0);
    row(0, "Filter:", type);
    capcode = new QLineEdit;
    row(1, "Capcode:", capcode);
    reject = AddCheck(grid, 2, "Reject Capcode", record.reject != 0);
    // "Any" until a type that uses the function or rate chooses otherwise.
    function = MakeList({"Any", "1", "2", "3", "4"}, 0);
    row(3, "Function Code:", function);
    label = new QLineEdit(Q(record.label));
    label->setMaxLength(static_cast<int>(kFilterLabelMax));
    row(4, "Label:", label);
    baud = MakeList({"Any", "2400", "1200", "512"}, 0);
    row(5, "Baud Rate:", baud);
    text = new QLineEdit(Q(record.text));
    text->setMaxLength(static_cast<int>(kFilterTextMax));
    row(6, "Text:", text);
    command = AddCheck(grid, 7, "Enable Filter Command File", record.command != 0);
    QStringList tables = {"As Options"};
    for (const char* name : kNationalCharsetNames) tables << name;
    charset = MakeList(tables, record.charset);
    row(8, "Text Characters:", charset);
    for (QWidget* w : std::initializer_list<QWidget*>{capcode, function, baud, reject, charset}) w->setEnabled(false);

    if (record.type != FilterType::Unassigned) {  // edit mode: the type stays
        type->setCurrentIndex(static_cast<int>(record.type) - 1);
        type->setEnabled(false);
        const int length = FilterCapcodeLength(record.type);
        if (length > 0) {
            capcode->setEnabled(true);
            capcode->setMaxLength(length);
            capcode->setText(Q(record.capcode));
            if (FilterUsesFunction(record.type)) {
                function->setEnabled(true);
                function->setCurrentIndex(record.function);
            }
            if (FilterUsesBaud(record.type)) {
                baud->setEnabled(true);
                baud->setCurrentIndex(record.baud);
            }
            reject->setEnabled(true);
            charset->setEnabled(true);
            if (record.reject != 0) {
                for (QWidget* w : std::initializer_list<QWidget*>{label, text, command}) w->setEnabled(false);
            }
        }
    }
    connect(type, &QComboBox::activated, this, [this](int item) { TypeChosen(item); });
    connect(reject, &QCheckBox::clicked, this, [this](bool on) { RejectToggled(on); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ok = buttons->button(QDialogButtonBox::Ok);
    connect(ok, &QPushButton::clicked, this, [this] { Accept(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    CenterDialog(this);
    type->setFocus();
}

void FilterEditDialog::TypeChosen(int item) {
    const FilterType chosen = TypeOfItem(item);
    if (chosen == FilterType::Text) {
        reject->setChecked(false);
        charset->setCurrentIndex(0);
        for (QWidget* w : std::initializer_list<QWidget*>{reject, capcode, function, baud, charset}) w->setEnabled(false);
        RejectToggled(false);
        return;
    }
    capcode->setEnabled(true);
    capcode->setMaxLength(FilterCapcodeLength(chosen));
    function->setEnabled(FilterUsesFunction(chosen));
    if (!FilterUsesFunction(chosen)) function->setCurrentIndex(0);
    baud->setEnabled(FilterUsesBaud(chosen));
    if (!FilterUsesBaud(chosen)) baud->setCurrentIndex(0);
    reject->setEnabled(true);
    charset->setEnabled(true);
}

void FilterEditDialog::RejectToggled(bool on) {
    if (on) {
        label->clear();
        text->clear();
        command->setChecked(false);
    } else {
        if (!record_.label.empty()) label->setText(Q(record_.label));
        if (!record_.text.empty()) text->setText(Q(record_.text));
        command->setChecked(record_.command != 0);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{label, text, command}) w->setEnabled(!on);
}

void FilterEditDialog::Accept() {
    FilterRecord entered = record_;
    entered.type = TypeOfItem(Selected(type));
    if (FilterCapcodeLength(entered.type) > 0) entered.capcode = capcode->text().toStdString();
    entered.function = static_cast<std::int8_t>(std::max(0, Selected(function)));
    entered.baud = std::max(0, Selected(baud));
    entered.reject = reject->isChecked();
    entered.label = Text(label, static_cast<int>(kFilterLabelMax));
    entered.text = Text(text, static_cast<int>(kFilterTextMax));
    entered.command = command->isChecked();
    entered.charset = std::max(0, Selected(charset));
    if (const char* refusal = CompleteFilterEntry(entered)) {
        MessageDialog(this, refusal);
        return;
    }
    record_ = entered;
    accept();
}

FiltersDialog::FiltersDialog(DialogHost& host, QWidget* parent) : SettingsDialog(host, parent, "Tolvane Filters") {
    const Settings& s = S();
    list = new QListWidget;
    for (const FilterRecord& record : s.Filters) list->addItem(Line(record));
    auto* grid = new QGridLayout;
    grid->addWidget(list, 0, 0, 1, 2);
    outputEnabled = AddCheck(grid, 1, "Enable Output File:", s.FilterFileEnabled != 0, 0, 1);
    outputFile = new QLineEdit(Q(s.FilterFile));
    outputFile->setMaxLength(kPathFieldMax);
    grid->addWidget(WithBrowse(outputFile, "Filter Output File", "*.flt", {"Filter Log Files (*.flt)", "All Files (*)"},
                               FileUse::Write, &Settings::LogFile, "Filter file can't be same as Log file!"),
                    1, 1);
    useDate = AddCheck(grid, 2, "Use Date For Output File Name (YYMMMDD.FLT)", s.FilterFileUseDate != 0);
    flush = AddCheck(grid, 3, "Flush Filter Output To Disk Every: ", s.FilterFileFlush != 0, 0, 1);
    flushTime = MakeList(kFlushItems, s.FilterFlushTime == 0 ? 4 : s.FilterFlushTime - 1);
    grid->addWidget(flushTime, 3, 1);
    commandEnabled = AddCheck(grid, 4, "Enable Command File:", s.FilterCmdFileEnabled != 0, 0, 1);
    commandFile = new QLineEdit(Q(s.FilterCmdFile));
    commandFile->setMaxLength(kPathFieldMax);
    grid->addWidget(WithBrowse(commandFile, "Filter Command", "", {"Command Files (*.sh)", "All Files (*)"}, FileUse::Read),
                    4, 1);
    commandArgs = AddField(grid, 5, "Command File Arguments:", s.FilterCmdArgs, kPathFieldMax);

    auto* actions = new QWidget;
    auto* row = new QHBoxLayout(actions);
    row->setContentsMargins(0, 0, 0, 0);
    add = new QPushButton("&Add");
    edit = new QPushButton("&Edit");
    remove = new QPushButton("&Delete");
    for (QPushButton* b : {add, edit, remove}) {
        b->setAutoDefault(false);
        row->addWidget(b);
    }
    connect(add, &QPushButton::clicked, this, [this] { Add(); });
    connect(edit, &QPushButton::clicked, this, [this] { Edit(); });
    connect(remove, &QPushButton::clicked, this, [this] { Delete(); });
    connect(list, &QListWidget::itemDoubleClicked, this, [this] { Edit(); });
    editFilter = [this](FilterRecord& record) { return FilterEditDialog(record, this).exec() == QDialog::Accepted; };

    // The first filter is selected, so that Edit and Delete act on the line
    // that has the focus.
    if (list->count() > 0) list->setCurrentRow(0);
    UpdateEnabling();
    for (QCheckBox* box : {outputEnabled, useDate, flush, commandEnabled}) {
        connect(box, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
    }
    Finish(grid, actions);
    list->setFocus();
}

void FiltersDialog::UpdateEnabling() {
    EnableOutputFile(outputEnabled->isChecked(), outputFile, useDate, flush, flushTime);
    commandFile->setEnabled(commandEnabled->isChecked());
    commandArgs->setEnabled(commandEnabled->isChecked());
}

void FiltersDialog::Add() {
    if (S().Filters.size() >= static_cast<std::size_t>(kMaxFilters)) {
        MessageDialog(this, "Error!  Max filters defined!");
        return;
    }
    FilterRecord record;
    if (!editFilter(record)) return;
    Settings next = S();
    next.Filters.push_back(record);
    ChangeTable(next);
    list->addItem(Line(record));
    list->setCurrentRow(list->count() - 1);
}

int FiltersDialog::SelectedFilter() const {
    const int row = list->currentRow();
    const bool inTable = row >= 0 && static_cast<std::size_t>(row) < host_.CurrentSettings().Filters.size();
    return inTable && list->currentItem()->isSelected() ? row : -1;
}

void FiltersDialog::ChangeTable(const Settings& next) {
    host_.ApplySettings(next);
}

void FiltersDialog::Edit() {
    const int row = SelectedFilter();
    if (row < 0) {
        MessageDialog(this, "You must select a filter to edit!");
        return;
    }
    FilterRecord record = S().Filters[static_cast<std::size_t>(row)];
    if (!editFilter(record) || row >= static_cast<int>(S().Filters.size())) return;
    Settings next = S();
    next.Filters[static_cast<std::size_t>(row)] = record;
    ChangeTable(next);
    list->item(row)->setText(Line(record));
    list->setCurrentRow(row);
}

void FiltersDialog::Delete() {
    const int row = SelectedFilter();
    if (row < 0) {
        MessageDialog(this, "You must select a filter to delete!");
        return;
    }
    if (!QuestionDialog(this, "Delete " + list->item(row)->text() + "?")) return;
    if (row >= static_cast<int>(S().Filters.size())) return;
    Settings next = S();
    next.Filters.erase(next.Filters.begin() + row);
    ChangeTable(next);
    delete list->takeItem(row);
    list->setCurrentRow(list->count() > 0 ? std::min(row, list->count() - 1) : -1);
}

bool FiltersDialog::Apply(Settings& s) {
    const std::string output = Text(outputFile);
    if (outputEnabled->isChecked() && output.empty() && !useDate->isChecked()) {
        return Refuse("You must select a filter file!");
    }
    const std::string commandName = Text(commandFile);
    if (commandEnabled->isChecked() && commandName.empty()) return Refuse("You must select a command file!");
    if (!output.empty()) s.FilterFile = output;
    s.FilterFileEnabled = outputEnabled->isChecked();
    s.FilterFileUseDate = useDate->isChecked();
    s.FilterCmdFileEnabled = commandEnabled->isChecked();
    s.FilterCmdFile = commandName;
    s.FilterFileFlush = flush->isChecked();
    s.FilterFlushTime = Selected(flushTime) + 1;
    s.FilterCmdArgs = Text(commandArgs);
    return true;
}

bool ShowFiltersDialog(QWidget* parent, DialogHost& host) {
    FiltersDialog dialog(host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvane::desktop
