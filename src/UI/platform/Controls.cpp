#include "UI/platform/Controls.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <cmath>

#include "platform/Error.h"

namespace onex::ui::platform {

namespace {

[[noreturn]] void noProperty(const QObject& o, const char* property) {
    throw Error(std::string("A ") + o.metaObject()->className() + " (" +
                o.objectName().toStdString() + ") has no " + property + " property");
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Lives with a window whose pointer is "watch"; the watch shows over every
// control of the application (an override), so it is lifted when the
// pointer goes back or the window goes away.
class WatchPointer : public QObject {
  public:
    explicit WatchPointer(QObject* parent) : QObject(parent) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WatchPointer() override { QGuiApplication::restoreOverrideCursor(); }
};

WatchPointer* watchOf(const QWidget& window) {
    for (QObject* child : window.children())
        if (auto* w = dynamic_cast<WatchPointer*>(child)) return w;
    return nullptr;
}

QStatusBar* statusBarOf(const QWidget& window) {
    if (auto* main = qobject_cast<const QMainWindow*>(&window)) return main->statusBar();
    return window.findChild<QStatusBar*>();
}

// Marks a status text as one that the next callback clears (a failure, or
// a note about an entry).
constexpr const char* kFailureShown = "onexFailureShown";

void showTransientStatus(QWidget& window, const std::string& text) {
    if (QStatusBar* bar = statusBarOf(window)) {
        bar->showMessage(QString::fromStdString(text));
        bar->setProperty(kFailureShown, true);
    }
}

}  // namespace

double getValue(const QObject& c) {
    if (auto* combo = qobject_cast<const QComboBox*>(&c)) return combo->currentIndex() + 1;
    if (auto* b = qobject_cast<const QAbstractButton*>(&c)) return b->isChecked() ? 1 : 0;
    if (auto* a = qobject_cast<const QAction*>(&c)) return a->isChecked() ? 1 : 0;
    noProperty(c, "Value");
}

void setValue(QObject& c, double value) {
    if (auto* combo = qobject_cast<QComboBox*>(&c)) {
        const double position = std::round(value);
        combo->setCurrentIndex(
            position >= 1 && position <= combo->count() ? static_cast<int>(position) - 1 : -1);
        return;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(&c)) {
        b->setChecked(value != 0);
        return;
    }
    noProperty(c, "Value");
}

std::string getString(const QObject& c) {
    if (auto* e = qobject_cast<const QLineEdit*>(&c)) return e->text().toStdString();
    if (auto* l = qobject_cast<const QLabel*>(&c)) return l->text().toStdString();
    if (auto* b = qobject_cast<const QAbstractButton*>(&c)) return b->text().toStdString();
    if (auto* t = qobject_cast<const QPlainTextEdit*>(&c)) return t->toPlainText().toStdString();
    if (auto* g = qobject_cast<const QGroupBox*>(&c)) return g->title().toStdString();
    noProperty(c, "String");
}

void setString(QObject& c, const std::string& text) {
    if (auto* e = qobject_cast<QLineEdit*>(&c)) {
        e->setText(q(text));
        e->setCursorPosition(0);
        return;
    }
    if (auto* l = qobject_cast<QLabel*>(&c)) return l->setText(q(text));
    if (auto* b = qobject_cast<QAbstractButton*>(&c)) return b->setText(q(text));
    if (auto* t = qobject_cast<QPlainTextEdit*>(&c)) return t->setPlainText(q(text));
    if (auto* g = qobject_cast<QGroupBox*>(&c)) return g->setTitle(q(text));
    noProperty(c, "String");
}

std::vector<std::string> getItems(const QObject& c) {
    auto* combo = qobject_cast<const QComboBox*>(&c);
    if (!combo) noProperty(c, "item list");
    std::vector<std::string> out;
    for (int i = 0; i < combo->count(); ++i)
        out.push_back(combo->itemText(i).toStdString());
    return out;
}

void setItems(QObject& c, const std::vector<std::string>& items) {
    auto* combo = qobject_cast<QComboBox*>(&c);
    if (!combo) noProperty(c, "item list");
    const int selected = combo->currentIndex();
    combo->clear();
    for (const auto& item : items)
        combo->addItem(q(item));
    combo->setCurrentIndex(selected < combo->count() ? selected : -1);
}

void setEnable(QObject& c, bool on) {
    if (auto* w = qobject_cast<QWidget*>(&c)) return w->setEnabled(on);
    if (auto* a = qobject_cast<QAction*>(&c)) return a->setEnabled(on);
    noProperty(c, "Enable");
}

bool getEnable(const QObject& c) {
    if (auto* w = qobject_cast<const QWidget*>(&c)) return w->isEnabled();
    if (auto* a = qobject_cast<const QAction*>(&c)) return a->isEnabled();
    noProperty(c, "Enable");
}

void setVisible(QObject& c, bool on) {
    if (auto* m = qobject_cast<QMenu*>(&c)) return m->menuAction()->setVisible(on);
    if (auto* w = qobject_cast<QWidget*>(&c)) return w->setVisible(on);
    if (auto* a = qobject_cast<QAction*>(&c)) return a->setVisible(on);
    noProperty(c, "Visible");
}

bool getVisible(const QObject& c) {
    if (auto* m = qobject_cast<const QMenu*>(&c)) return m->menuAction()->isVisible();
    // The control's own setting, whether or not its window is shown.
    if (auto* w = qobject_cast<const QWidget*>(&c)) return !w->isHidden();
    if (auto* a = qobject_cast<const QAction*>(&c)) return a->isVisible();
    noProperty(c, "Visible");
}

void setTooltip(QObject& c, const std::string& text) {
    if (auto* w = qobject_cast<QWidget*>(&c)) return w->setToolTip(q(text));
    if (auto* a = qobject_cast<QAction*>(&c)) return a->setToolTip(q(text));
    noProperty(c, "TooltipString");
}

std::string getTooltip(const QObject& c) {
    if (auto* w = qobject_cast<const QWidget*>(&c)) return w->toolTip().toStdString();
    if (auto* a = qobject_cast<const QAction*>(&c)) return a->toolTip().toStdString();
    noProperty(c, "TooltipString");
}

void setChecked(QObject& c, bool on) {
    auto* a = qobject_cast<QAction*>(&c);
    if (!a) noProperty(c, "Checked");
    a->setCheckable(true);
    a->setChecked(on);
}

void setName(QWidget& window, const std::string& name) {
    window.setWindowTitle(q(name));
}

std::string getName(const QWidget& window) {
    return window.windowTitle().toStdString();
}

void showStatus(QWidget& window, const std::string& text) {
    if (QStatusBar* bar = statusBarOf(window)) {
        bar->showMessage(q(text));
        bar->setProperty(kFailureShown, false);
    }
}

void showFailureStatus(QWidget& window, const std::string& text) {
    showTransientStatus(window, text);
}

void showNoteStatus(QWidget& window, const std::string& text) {
    showTransientStatus(window, text);
}

void clearFailureStatus(QWidget& window) {
    QStatusBar* bar = statusBarOf(window);
    if (bar && bar->property(kFailureShown).toBool()) {
        bar->clearMessage();
        bar->setProperty(kFailureShown, false);
    }
}

std::string getStatus(const QWidget& window) {
    const QStatusBar* bar = statusBarOf(window);
    return bar ? bar->currentMessage().toStdString() : std::string();
}

std::string getPointer(const QWidget& window) {
    return watchOf(window) ? "watch" : "arrow";
}

void setPointer(QWidget& window, const std::string& pointer) {
    const bool watch = pointer == "watch";
    WatchPointer* current = watchOf(window);
    if (watch && !current) {
        new WatchPointer(&window);
        window.setCursor(Qt::WaitCursor);
    } else if (!watch && current) {
        delete current;
        window.unsetCursor();
    }
}

}  // namespace onex::ui::platform
