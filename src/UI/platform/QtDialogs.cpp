#include "UI/platform/QtDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "platform/Text.h"

namespace onex::ui::platform {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QWidget* dialogParent() {
    return QApplication::activeWindow();
}

void showBox(QMessageBox::Icon icon, const std::string& message, const std::string& title,
             bool modal) {
    QMessageBox box(icon, q(title), q(message), QMessageBox::Ok, dialogParent());
    box.setTextFormat(Qt::PlainText);
    // Every box waits until it is closed; a modal one also blocks every
    // other window, the others only their parent.
    box.setWindowModality(modal ? Qt::ApplicationModal : Qt::WindowModal);
    box.exec();
}

}  // namespace

std::string qtNameFilter(const std::string& filter) {
    const std::string all = "All files (*)";
    if (filter.empty() || filter == "*" || filter == "*.*") return all;
    std::string kind;
    if (filter.rfind("*.", 0) == 0) kind = onex::platform::toUpper(filter.substr(2));
    return (kind.empty() ? filter : kind + " files") + " (" + filter + ");;" + all;
}

void QtDialogs::errorBox(const std::string& message, const std::string& title, bool modal) {
    showBox(QMessageBox::Critical, message, title, modal);
}

void QtDialogs::messageBox(const std::string& message, const std::string& title, bool modal) {
    showBox(QMessageBox::Information, message, title, modal);
}

std::string QtDialogs::questionBox(const std::string& question, const std::string& title,
                                   const std::vector<std::string>& buttons,
                                   const std::string& defaultButton) {
    QMessageBox box(QMessageBox::Question, q(title), q(question), QMessageBox::NoButton,
                    dialogParent());
    box.setTextFormat(Qt::PlainText);
    std::vector<std::pair<QAbstractButton*, std::string>> added;
    for (const std::string& label : buttons) {
        // A label's "&" is text ("Recalc & Download"), not an access key.
        QPushButton* b = box.addButton(q(label).replace('&', "&&"), QMessageBox::ActionRole);
        added.emplace_back(b, label);
        if (label == defaultButton) box.setDefaultButton(b);
    }
    box.exec();
    for (const auto& [button, label] : added)
        if (box.clickedButton() == button) return label;
    return {};  // closed without a button
}

std::optional<std::vector<std::string>> QtDialogs::inputBox(
    const std::vector<std::string>& prompts, const std::string& title, int lineCount,
    const std::vector<std::string>& defaults) {
    QDialog dialog(dialogParent());
    dialog.setWindowTitle(q(title));
    auto* layout = new QVBoxLayout(&dialog);
    std::vector<QLineEdit*> single;
    std::vector<QPlainTextEdit*> multi;
    for (std::size_t i = 0; i < prompts.size(); ++i) {
        auto* label = new QLabel(q(prompts[i]), &dialog);
        layout->addWidget(label);
        const QString value = i < defaults.size() ? q(defaults[i]) : QString();
        if (lineCount <= 1) {
            auto* edit = new QLineEdit(value, &dialog);
            label->setBuddy(edit);
            layout->addWidget(edit);
            single.push_back(edit);
        } else {
            auto* edit = new QPlainTextEdit(value, &dialog);
            edit->setFixedHeight(edit->fontMetrics().lineSpacing() * lineCount + 12);
            label->setBuddy(edit);
            layout->addWidget(edit);
            multi.push_back(edit);
        }
    }
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> answers;
    for (QLineEdit* e : single)
        answers.push_back(e->text().toStdString());
    for (QPlainTextEdit* e : multi)
        answers.push_back(e->toPlainText().toStdString());
    return answers;
}

std::optional<std::string> QtDialogs::openFile(const std::string& filter,
                                               const std::string& title) {
    const QString name =
        QFileDialog::getOpenFileName(dialogParent(), q(title), QString(), q(qtNameFilter(filter)));
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

std::optional<std::string> QtDialogs::saveFile(const std::string& filter,
                                               const std::string& title) {
    const QString name =
        QFileDialog::getSaveFileName(dialogParent(), q(title), QString(), q(qtNameFilter(filter)));
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

namespace {

// Runs f on the GUI thread and returns its result.
template <class F>
auto onGuiThread(F&& f) -> decltype(f()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) return f();
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(
            app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

}  // namespace

void GuiThreadDialogs::errorBox(const std::string& message, const std::string& title, bool modal) {
    onGuiThread([&] { inner_.errorBox(message, title, modal); });
}

void GuiThreadDialogs::messageBox(const std::string& message, const std::string& title,
                                  bool modal) {
    onGuiThread([&] { inner_.messageBox(message, title, modal); });
}

std::string GuiThreadDialogs::questionBox(const std::string& question, const std::string& title,
                                          const std::vector<std::string>& buttons,
                                          const std::string& defaultButton) {
    return onGuiThread([&] { return inner_.questionBox(question, title, buttons, defaultButton); });
}

std::optional<std::vector<std::string>> GuiThreadDialogs::inputBox(
    const std::vector<std::string>& prompts, const std::string& title, int lineCount,
    const std::vector<std::string>& defaults) {
    return onGuiThread([&] { return inner_.inputBox(prompts, title, lineCount, defaults); });
}

std::optional<std::string> GuiThreadDialogs::openFile(const std::string& filter,
                                                      const std::string& title) {
    return onGuiThread([&] { return inner_.openFile(filter, title); });
}

std::optional<std::string> GuiThreadDialogs::saveFile(const std::string& filter,
                                                      const std::string& title) {
    return onGuiThread([&] { return inner_.saveFile(filter, title); });
}

}  // namespace onex::ui::platform
