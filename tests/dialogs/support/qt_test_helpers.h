// What the Qt tests of the desktop program and its dialogs share.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace tolvane::testing {

// Answers every modal dialog that comes up while it lives, as a user would:
// keeps the text of a one-line message, lets `before` fill the dialog in,
// then presses OK (its own OK button, so that its checks run), or Cancel
// while `accept` is false.
class ModalAnswer : public QObject {
public:
    explicit ModalAnswer(bool accepting = true, std::function<void(QDialog&)> before = {}) : accept(accepting) {
        connect(&timer_, &QTimer::timeout, this, [this, before] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            ++answered;
            if (auto* text = dialog->findChild<QLabel*>("text")) texts << text->text();
            if (before) before(*dialog);
            auto* box = dialog->findChild<QDialogButtonBox*>();
            QPushButton* ok = box != nullptr ? box->button(QDialogButtonBox::Ok) : nullptr;
            if (!accept) return dialog->reject();
            if (ok != nullptr) return ok->click();
            dialog->accept();
        });
        timer_.start(5);
    }
    QStringList texts;
    int answered = 0;
    bool accept;

private:
    QTimer timer_;
};

}  // namespace tolvane::testing
