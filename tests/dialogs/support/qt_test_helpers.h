// What the Qt tests of the desktop program and its dialogs share.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

namespace tolvane::testing {

// One data row per case of a table, named after it; CurrentCase gives the
// row's case in the test function.
template <class Table> void AddCaseRows(const Table& table) {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < table.size(); ++i) QTest::newRow(table[i].name) << static_cast<int>(i);
}
template <class Table> const auto& CurrentCase(const Table& table) {
    QFETCH(int, row);
    return table[static_cast<std::size_t>(row)];
}

// Answers every modal dialog that comes up while it lives, as a user would:
// keeps the text of a one-line message, lets `before` fill the dialog in,
// then presses OK (its own OK button, so that its checks run), or Cancel
// while `accept` is false.
class ModalAnswer : public QObject {
public:
    explicit ModalAnswer(bool accepting = true, std::function<void(QDialog&)> before = {})
        : accept(accepting), before_(std::move(before)) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            ++answered;
            if (auto* text = dialog->findChild<QLabel*>("text")) texts << text->text();
            if (before_) before_(*dialog);
            auto* box = dialog->findChild<QDialogButtonBox*>();
            if (!accept) {
                dialog->reject();
            } else if (box != nullptr && box->button(QDialogButtonBox::Ok) != nullptr) {
                box->button(QDialogButtonBox::Ok)->click();
            } else {
                dialog->accept();
            }
        });
        timer_.start(5);
    }
    QStringList texts;
    int answered = 0;
    bool accept;

private:
    std::function<void(QDialog&)> before_;
    QTimer timer_;
};

}  // namespace tolvane::testing
