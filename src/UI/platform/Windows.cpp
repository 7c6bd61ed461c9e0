#include "UI/platform/Windows.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
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

void fire(QObject* control) {
    const std::string text = getCallback(*control);
    if (!text.empty()) services().router.fire(control, text);
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
        QObject::connect(button, &QAbstractButton::clicked, button, run);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        // Only a text the user changed is committed (a redraw's setText
        // clears the flag), so leaving an untouched field fires nothing.
        QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, run] {
            if (!edit->isModified()) return;
            edit->setModified(false);
            run();
        });
    } else if (auto* action = qobject_cast<QAction*>(control)) {
        QObject::connect(action, &QAction::triggered, action, run);
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
            services().router.fire(window_, text.toStdString());
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
