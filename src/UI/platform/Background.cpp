#include "UI/platform/Background.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <memory>
#include <vector>

#include "UI/platform/Handles.h"
#include "UI/platform/Services.h"

namespace onex::ui::platform {

namespace {

int busyDepth = 0;

// Swallows user input to the windows that were open when the work began. A
// request to close one of them goes to closeRequested, when given.
class InputBlocker : public QObject {
  public:
    explicit InputBlocker(std::function<void(QWidget*)> closeRequested)
        : closeRequested_(std::move(closeRequested)) {
        for (QWidget* w : QApplication::topLevelWidgets())
            blocked_.emplace_back(w);
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::Close:
                break;
            default:
                return false;
        }
        QWidget* window = windowOf(watched);
        for (const auto& b : blocked_)
            if (b == window) {
                if (event->type() == QEvent::Close && watched == window && closeRequested_)
                    closeRequested_(window);
                event->ignore();
                return true;
            }
        return false;
    }

  private:
    std::function<void(QWidget*)> closeRequested_;
    std::vector<QPointer<QWidget>> blocked_;
};

// What the deferred close question shares with the run that may have ended
// by the time it is answered.
struct RunState {
    bool running = true;
    bool asking = false;
    Cancellation* cancel = nullptr;  // valid while running
    QPointer<QWidget> closeAfter;
};

// Asks (on the GUI thread, outside any event handler) whether to cancel the
// work and close `target`; a run that has ended meanwhile just lets the
// window close.
void askToCancel(const std::shared_ptr<RunState>& run, const QString& label,
                 QPointer<QWidget> target) {
    if (!target) return;
    if (!run->running) {
        target->close();
        return;
    }
    run->asking = true;
    const std::string answer = services().dialogs->questionBox(
        cancelQuestion(label).toStdString(), kCancelQuestionTitle, {"Yes", "No"}, "No");
    run->asking = false;
    if (answer != "Yes" || !target) return;
    if (!run->running) {
        target->close();
        return;
    }
    run->cancel->windowClosing = true;
    run->closeAfter = target;
    run->cancel->source.request_stop();
}

}  // namespace

QString cancelQuestion(const QString& label) {
    return label + "\nDo you want to cancel it and close the window?";
}

bool backgroundBusy() {
    return busyDepth > 0;
}

void runInBackground(QWidget* window, const QString& label, const std::function<void()>& work,
                     Cancellation* cancel) {
    if (!qApp || busyDepth > 0 || QThread::currentThread() != qApp->thread()) {
        work();
        return;
    }
    ++busyDepth;
    struct DepthGuard {
        ~DepthGuard() { --busyDepth; }
    } depthGuard;

    auto run = std::make_shared<RunState>();
    run->cancel = cancel;
    std::function<void(QWidget*)> onClose;
    if (cancel) {
        onClose = [run, label](QWidget* window) {
            if (run->asking || !run->running) return;
            // A modal question must not run inside the event filter.
            QTimer::singleShot(0, qApp, [run, label, target = QPointer<QWidget>(window)] {
                askToCancel(run, label, target);
            });
        };
    }
    InputBlocker blocker(std::move(onClose));
    std::exception_ptr error;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);

    QPointer<QWidget> owner(window);
    QPointer<QProgressDialog> progress;
    QTimer delay;
    delay.setSingleShot(true);
    QObject::connect(&delay, &QTimer::timeout, [&] {
        progress = new QProgressDialog(label, cancel ? QString(kCancelButtonText) : QString(), 0, 0,
                                       owner.data());
        progress->setWindowTitle(owner ? owner->windowTitle() : label);
        progress->setMinimumDuration(0);
        progress->setAutoClose(false);
        // The Cancel button and the close box.
        if (cancel)
            QObject::connect(progress.data(), &QProgressDialog::canceled,
                             [cancel] { cancel->source.request_stop(); });
        progress->show();
    });
    delay.start(kProgressDelayMs);

    thread->start();
    loop.exec();
    thread->wait();
    delay.stop();
    delete progress.data();
    run->running = false;
    run->cancel = nullptr;
    // Closed once the caller is done with the outcome.
    if (QPointer<QWidget> target = run->closeAfter)
        QTimer::singleShot(0, target.data(), [target] {
            if (target) target->close();
        });
    if (error) std::rethrow_exception(error);
}

}  // namespace onex::ui::platform
