#include "UI/platform/Windows.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QUiLoader>
#include <vector>

#include "UI/platform/Handles.h"
#include "UI/platform/Services.h"
#include "platform/Error.h"

namespace onex::ui::platform {

namespace {

constexpr const char* kCallback = "Callback";
constexpr const char* kCloseRequest = "CloseRequestFcn";
constexpr const char* kLayout = "onexLayout";
constexpr const char* kConnected = "onexCallbackConnected";
// On a window: an entry was refused while the current input event is
// delivered. On a button: its press came in such an event.
constexpr const char* kRefusedNow = "onexEntryRefusedNow";
constexpr const char* kPressedAfterRefusal = "onexPressedAfterRefusal";

// Runs a control's callback; false when it failed.
bool fire(QObject* control) {
    const std::string text = getCallback(*control);
    return text.empty() || services().router.fire(control, text);
}

// Marks the window for as long as the input event being delivered lasts: a
// mouse press on a button (or its access key) first takes the focus from the
// field, which commits it, and then presses the button, within one event.
void markRefusal(QWidget* window) {
    if (!window) return;
    window->setProperty(kRefusedNow, true);
    QPointer<QWidget> guard(window);
    QTimer::singleShot(0, window, [guard] {
        if (guard) guard->setProperty(kRefusedNow, false);
    });
}

// Keeps on an edit field why it lost the focus, while it has not got it back.
class FocusOutReason : public QObject {
  public:
    using QObject::QObject;
    static constexpr const char* kReason = "onexFocusOutReason";
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut)
            watched->setProperty(kReason,
                                 static_cast<int>(static_cast<QFocusEvent*>(event)->reason()));
        else if (event->type() == QEvent::FocusIn)
            watched->setProperty(kReason, QVariant());
        return false;
    }
};

// The focus went to a control by a click or its access key: the commit of
// the field it left is part of that gesture.
bool lostFocusToAGesture(const QLineEdit& edit) {
    const QVariant reason = edit.property(FocusOutReason::kReason);
    return reason.isValid() &&
           (reason.toInt() == Qt::MouseFocusReason || reason.toInt() == Qt::ShortcutFocusReason);
}

// Commits an edit field whose text the user changed (a redraw's setText
// clears the flag, so an untouched field fires nothing). False when its
// callback refused the text.
bool commitEdit(QLineEdit& edit) {
    if (!edit.isModified()) return true;
    edit.setModified(false);
    if (fire(&edit)) return true;
    if (lostFocusToAGesture(edit)) markRefusal(edit.window());
    return false;
}

// Before a button, menu item or close request acts: the edit field that
// holds the focus in its window is committed first when its text is not
// yet (a shortcut, or a button that takes no focus, acts while the field
// still has it). False when that commit was refused: the action must then
// not go ahead with a value the user has not seen refused.
bool commitFocusedEdit(const QObject* control) {
    QWidget* window = windowOf(control);
    auto* edit = window ? qobject_cast<QLineEdit*>(window->focusWidget()) : nullptr;
    if (!edit || getCallback(*edit).empty()) return true;
    return commitEdit(*edit);
}

// Connects the signal by which a control fires, once.
void connectControl(QObject* control) {
    if (control->property(kConnected).toBool()) return;
    control->setProperty(kConnected, true);
    QPointer<QObject> guard(control);
    auto run = [guard] {
        if (guard) fire(guard.data());
    };
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QObject::connect(combo, &QComboBox::activated, combo, run);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QObject::connect(button, &QAbstractButton::pressed, button, [button] {
            const QWidget* window = button->window();
            button->setProperty(kPressedAfterRefusal,
                                window && window->property(kRefusedNow).toBool());
        });
        QObject::connect(button, &QAbstractButton::clicked, button, [button, run] {
            // The press that took the focus from a field whose text was just
            // refused, or a refused commit now: the status line shows why,
            // and the button does not act on the value kept in place of what
            // the user typed (a check box or toggle goes back).
            const bool afterRefusal = button->property(kPressedAfterRefusal).toBool();
            button->setProperty(kPressedAfterRefusal, false);
            if (afterRefusal || !commitFocusedEdit(button)) {
                if (button->isCheckable()) button->setChecked(!button->isChecked());
                return;
            }
            run();
        });
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->installEventFilter(new FocusOutReason(edit));
        QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit] { commitEdit(*edit); });
    } else if (auto* action = qobject_cast<QAction*>(control)) {
        QObject::connect(action, &QAction::triggered, action, [action, run] {
            if (commitFocusedEdit(action)) run();
        });
    }
}

// Turns a window's close requests into its CloseRequestFcn, and Escape in
// a dialog into a close request (rather than the toolkit's silent hide).
class WindowFilter : public QObject {
  public:
    explicit WindowFilter(QWidget* window) : QObject(window), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_) return false;
        if (event->type() == QEvent::Close) {
            const QString text = window_->property(kCloseRequest).toString();
            if (text.isEmpty()) return false;
            event->ignore();
            if (commitFocusedEdit(window_)) services().router.fire(window_, text.toStdString());
            return true;
        }
        if (event->type() == QEvent::KeyPress && qobject_cast<QDialog*>(window_)) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
                window_->close();
                return true;
            }
        }
        return false;
    }

  private:
    QWidget* window_;
};

void installWindowFilter(QWidget* window) {
    for (QObject* child : window->children())
        if (dynamic_cast<WindowFilter*>(child)) return;
    window->installEventFilter(new WindowFilter(window));
}

struct Wait {
    const QWidget* window;
    QEventLoop* loop;
};
std::vector<Wait>& waits() {
    static std::vector<Wait> w;
    return w;
}

}  // namespace

QWidget* openLayout(std::string_view name, QWidget* parent) {
    const QString qname = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    QFile file(":/layouts/" + qname + ".ui");
    if (!file.open(QIODevice::ReadOnly))
        throw Error("The window layout " + std::string(name) + " does not exist");
    QUiLoader loader;
    QWidget* window = loader.load(&file, parent);
    if (!window)
        throw Error("The window layout " + std::string(name) +
                    " cannot be read: " + loader.errorString().toStdString());
    if (!window->isWindow()) window->setWindowFlag(Qt::Window);
    window->hide();
    window->setProperty(kLayout, qname);
    installWindowFilter(window);
    if (!window->property(kCallback).toString().isEmpty()) connectControl(window);
    for (QObject* o : window->findChildren<QObject*>())
        if (!o->property(kCallback).toString().isEmpty()) connectControl(o);
    return window;
}

QWidget* findOpenLayout(std::string_view name) {
    const QString qname = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->property(kLayout).toString() == qname) return w;
    return nullptr;
}

std::string layoutName(const QWidget& window) {
    return window.property(kLayout).toString().toStdString();
}

void setCallback(QObject& control, const std::string& text) {
    control.setProperty(kCallback, QString::fromStdString(text));
    connectControl(&control);
}

std::string getCallback(const QObject& control) {
    return control.property(kCallback).toString().toStdString();
}

void setCloseRequest(QWidget& window, const std::string& text) {
    window.setProperty(kCloseRequest, QString::fromStdString(text));
    installWindowFilter(&window);
}

std::optional<std::string> askModal(QWidget* dialog) {
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    if (!uiwait(dialog)) return std::nullopt;
    Handles* h = guidata(dialog);
    return h && h->hasField("answer") ? h->field<std::string>("answer") : std::string("Cancel");
}

bool uiwait(QWidget* window) {
    if (!window) return false;
    QPointer<QWidget> guard(window);
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    waits().push_back({window, &loop});
    loop.exec();
    std::erase_if(waits(), [&](const Wait& w) { return w.loop == &loop; });
    return !guard.isNull();
}

void uiresume(QWidget* window) {
    auto& all = waits();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->window == window) {
            it->loop->quit();
            return;
        }
}

bool isWaiting(const QWidget* window) {
    for (const Wait& w : waits())
        if (w.window == window) return true;
    return false;
}

void drawnow() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

}  // namespace onex::ui::platform
