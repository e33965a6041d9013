// Pieces the settings dialogs share: the OK/Cancel frame that saves and
// reports on OK, file choosers that open when a name field gains the focus,
// and small list helpers.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <string>

#include "app/desktop/dialogs/dialog_host.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGridLayout;
class QLineEdit;
class QPushButton;

namespace tolvane::desktop {

// Longest text the path and argument fields hold (what the settings file keeps).
inline constexpr int kPathFieldMax = 255;

// A file-open chooser: caption, initial file name (may be empty) and file
// types ("Log Files (*.log)"); returns the chosen path or empty. Dialogs hold
// one so that tests can choose for the user.
using FileChooser = std::function<QString(QWidget* parent, const QString& title, const QString& initial,
                                          const QStringList& types)>;
// The desktop's own chooser: any name may be typed, existing or not.
QString ChooseFile(QWidget* parent, const QString& title, const QString& initial, const QStringList& types);

// The flush interval list of the log and filter files; setting = item + 1.
inline const QStringList kFlushItems = {"Message", "5 Seconds", "10 Seconds", "30 Seconds", "60 Seconds"};

// A modal dialog over the host's settings: OK runs Apply() on a copy of the
// record, which either refuses (a message has been shown, the dialog stays
// open) or has edited the copy; the host then applies and saves it.
class SettingsDialog : public QDialog {
public:
    SettingsDialog(DialogHost& host, QWidget* parent, const char* title);

    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    FileChooser chooser = ChooseFile;

protected:
    // Returns false after showing why the entries were refused; otherwise
    // has edited `next` and set `changes` to what the engine must apply.
    virtual bool Apply(Settings& next, unsigned& changes) = 0;

    // Lays out the grid of controls above the OK/Cancel row and centres the dialog.
    void Finish(QGridLayout* grid, QWidget* extraButtons = nullptr);
    bool Refuse(const QString& text);
    const Settings& S() { return host_.CurrentSettings(); }

    // Opens the chooser whenever `field` gains the focus (not again while
    // one is up or its result is handled), then moves the focus to OK. The
    // choice goes to `field`, unless it names the file in `other` (then
    // `refusal` is shown); `initial` and `empty` give the start name.
    void PickOnFocus(QLineEdit* field, const char* title, const std::string& initial, const char* empty,
                     QStringList types, std::string Settings::*other = nullptr, const char* refusal = nullptr);

    DialogHost& host_;

private:
    void Accept();
};

QCheckBox* AddCheck(QGridLayout* grid, int row, const char* text, bool checked, int column = 0, int span = 2);
QLineEdit* AddField(QGridLayout* grid, int row, const char* label, const std::string& text, int maxLength);
QComboBox* MakeList(const QStringList& items, int selected);  // selected outside the list: none
// An output file's controls: the name only while the file is on and not
// named by the date, the flush interval only while flushing.
void EnableOutputFile(bool on, QLineEdit* file, QCheckBox* useDate, QCheckBox* flush, QComboBox* flushTime);
// The selected item, or -1.
int Selected(const QComboBox* list);
// Settings text fields hold std::string.
std::string Text(const QLineEdit* field, int maxLength = kPathFieldMax);
QString Q(const std::string& text);

}  // namespace tolvane::desktop
