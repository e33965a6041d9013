// Pieces the settings dialogs share: the OK/Cancel frame that saves and
// reports on OK, file-name fields with a Browse button, and small list
// helpers.
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

// Whether the program reads a chosen file (an Open chooser, the file must
// exist) or writes it (a Save chooser, any name).
enum class FileUse { Read, Write };

// A file chooser: caption, initial file name (may be empty), file types
// ("Log Files (*.log)") and use; returns the chosen path or empty. Dialogs
// hold one so that tests can choose for the user.
using FileChooser = std::function<QString(QWidget* parent, const QString& title, const QString& initial,
                                          const QStringList& types, FileUse use)>;
// The desktop's own chooser.
QString ChooseFile(QWidget* parent, const QString& title, const QString& initial, const QStringList& types, FileUse use);

// The flush interval list of the log and filter files; setting = item + 1.
inline const QStringList kFlushItems = {"Message", "5 Seconds", "10 Seconds", "30 Seconds", "60 Seconds"};

// A modal dialog over the host's settings: OK runs Apply() on a copy of the
// record, which either refuses (a message has been shown, the dialog stays
// open) or has made it the new settings; the host then applies and saves
// them.
class SettingsDialog : public QDialog {
public:
    SettingsDialog(DialogHost& host, QWidget* parent, const char* title);

    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    FileChooser chooser = ChooseFile;

protected:
    // Returns false after showing why the entries were refused; otherwise
    // has edited `next`.
    virtual bool Apply(Settings& next) = 0;

    // Lays out the grid of controls above the OK/Cancel row and centres the dialog.
    void Finish(QGridLayout* grid, QWidget* extraButtons = nullptr);
    bool Refuse(const QString& text);
    const Settings& S() const { return host_.CurrentSettings(); }

    // `field` with a Browse button beside it (enabled with the field), to
    // be laid out in its place. The button opens the chooser on the
    // field's text, or on `empty` when there is none; the choice goes to the
    // field, unless it names the file in `other` (then `refusal` is shown).
    QWidget* WithBrowse(QLineEdit* field, const char* title, const char* empty, QStringList types, FileUse use,
                        std::string Settings::*other = nullptr, const char* refusal = nullptr);

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
