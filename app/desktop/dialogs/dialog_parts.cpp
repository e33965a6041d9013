#include "app/desktop/dialogs/dialog_parts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/desktop/dialogs/message_box.h"

namespace tolvane::desktop {

namespace {

// What a window frame takes beside the title: the close button and margins.
constexpr int kTitleFrameRoom = 160;

// Keeps a Browse button enabled exactly while its name field is.
class FollowEnabled : public QObject {
public:
    FollowEnabled(QLineEdit* field, QPushButton* button) : QObject(button), button_(button) {
        button->setEnabled(field->isEnabled());
        field->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) button_->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
        return QObject::eventFilter(watched, event);
    }

private:
    QPushButton* button_;
};

}  // namespace

QString ChooseFile(QWidget* parent, const QString& title, const QString& initial, const QStringList& types, FileUse use) {
    QFileDialog chooser(parent, title);
    if (use == FileUse::Write) {
        // Output files are appended to: choosing an existing one replaces nothing.
        chooser.setAcceptMode(QFileDialog::AcceptSave);
        chooser.setOption(QFileDialog::DontConfirmOverwrite);
        chooser.setFileMode(QFileDialog::AnyFile);
    } else {
        chooser.setAcceptMode(QFileDialog::AcceptOpen);
        chooser.setFileMode(QFileDialog::ExistingFile);
    }
    chooser.setNameFilters(types);
    if (!initial.isEmpty()) chooser.selectFile(initial);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
    return chooser.selectedFiles().constFirst();
}

SettingsDialog::SettingsDialog(DialogHost& host, QWidget* parent, const char* title) : QDialog(parent), host_(host) {
    UseDialogFrame(this);
    setWindowTitle(title);
    setModal(true);
}

void SettingsDialog::Finish(QGridLayout* grid, QWidget* extraButtons) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ok = buttons->button(QDialogButtonBox::Ok);
    cancel = buttons->button(QDialogButtonBox::Cancel);
    // OK decides itself whether the dialog closes.
    connect(ok, &QPushButton::clicked, this, [this] { Accept(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    if (extraButtons != nullptr) layout->addWidget(extraButtons);
    layout->addWidget(buttons);
    // Wide enough for the whole title beside the frame's close button,
    // also when the controls are narrow.
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + kTitleFrameRoom);
    CenterDialog(this);
}

void SettingsDialog::Accept() {
    Settings next = S();
    if (!Apply(next)) return;
    host_.ApplySettings(next);
    host_.SaveSettingsFile();
    accept();
}

bool SettingsDialog::Refuse(const QString& text) {
    MessageDialog(this, text);
    return false;
}

QWidget* SettingsDialog::WithBrowse(QLineEdit* field, const char* title, const char* empty, QStringList types, FileUse use,
                                    std::string Settings::*other, const char* refusal) {
    auto* both = new QWidget;
    auto* row = new QHBoxLayout(both);
    row->setContentsMargins(0, 0, 0, 0);
    auto* browse = new QPushButton("Browse...");
    browse->setObjectName("browse");
    browse->setAutoDefault(false);
    row->addWidget(field, 1);
    row->addWidget(browse);
    new FollowEnabled(field, browse);
    connect(browse, &QPushButton::clicked, this, [=, this] {
        const QString chosen = chooser(this, title, field->text().isEmpty() ? QString(empty) : field->text(), types, use);
        if (other != nullptr && !chosen.isEmpty() && chosen.toStdString() == S().*other) {
            Refuse(refusal);
        } else if (!chosen.isEmpty()) {
            field->setText(chosen);
        }
    });
    return both;
}

QCheckBox* AddCheck(QGridLayout* grid, int row, const char* text, bool checked, int column, int span) {
    auto* box = new QCheckBox(text);
    box->setChecked(checked);
    grid->addWidget(box, row, column, 1, span);
    return box;
}

QLineEdit* AddField(QGridLayout* grid, int row, const char* label, const std::string& text, int maxLength) {
    auto* field = new QLineEdit;
    field->setMaxLength(maxLength);
    field->setText(Q(text));
    auto* name = new QLabel(label);
    name->setBuddy(field);
    grid->addWidget(name, row, 0);
    grid->addWidget(field, row, 1);
    return field;
}

QComboBox* MakeList(const QStringList& items, int selected) {
    auto* list = new QComboBox;
    list->addItems(items);
    list->setCurrentIndex(selected >= 0 && selected < items.size() ? selected : -1);
    return list;
}

void EnableOutputFile(bool on, QLineEdit* file, QCheckBox* useDate, QCheckBox* flush, QComboBox* flushTime) {
    file->setEnabled(on && !useDate->isChecked());
    useDate->setEnabled(on);
    flush->setEnabled(on);
    flushTime->setEnabled(on && flush->isChecked());
}

int Selected(const QComboBox* list) { return list->currentIndex(); }

std::string Text(const QLineEdit* field, int maxLength) { return field->text().left(maxLength).toStdString(); }

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace tolvane::desktop
