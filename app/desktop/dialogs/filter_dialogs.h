// "Tolvane Filters" and "Tolvane Add/Edit Filter". Add, Edit and Delete
// change the live filter table at once (Cancel keeps them); the table
// reaches the settings file with the next save.
#pragma once

#include "app/desktop/dialogs/dialog_parts.h"

class QListWidget;

namespace tolvane::desktop {

// Edits one record: add mode when its type is Unassigned. On OK the record
// holds the entries; on Cancel it is left as it was.
class FilterEditDialog : public QDialog {
public:
    FilterEditDialog(FilterRecord& record, QWidget* parent = nullptr);

    QComboBox* type;
    QLineEdit* capcode;
    QCheckBox* reject;
    QComboBox* function;
    QLineEdit* label;
    QComboBox* baud;
    QLineEdit* text;
    QCheckBox* command;
    // The text table of the filter's pages: "As Options", then the charsets
    // (capcode filters only).
    QComboBox* charset;
    QPushButton* ok;

private:
    void TypeChosen(int item);
    void RejectToggled(bool on);
    void Accept();
    FilterRecord& record_;
};

class FiltersDialog : public SettingsDialog {
public:
    FiltersDialog(DialogHost& host, QWidget* parent = nullptr);

    QListWidget* list;
    QCheckBox* outputEnabled;
    QLineEdit* outputFile;
    QCheckBox* useDate;
    QCheckBox* flush;
    QComboBox* flushTime;
    QCheckBox* commandEnabled;
    QLineEdit* commandFile;
    QLineEdit* commandArgs;
    QPushButton* add;
    QPushButton* edit;
    QPushButton* remove;
    // Runs the Add/Edit Filter dialog; true when confirmed. Tests fill the record instead.
    std::function<bool(FilterRecord&)> editFilter;

    void Add();
    void Edit();
    void Delete();

protected:
    bool Apply(Settings& next) override;

private:
    void UpdateEnabling();
    int SelectedFilter() const;  // -1 when no line is selected
    void ChangeTable(const Settings& next);
};

}  // namespace tolvane::desktop
