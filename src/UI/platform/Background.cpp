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

namespace onex::ui::platform {

namespace {

int busyDepth = 0;

// Swallows user input to the windows that were open when the work began.
class InputBlocker : public QObject {
  public:
    InputBlocker() {
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
                event->ignore();
                return true;
            }
        return false;
    }

  private:
    std::vector<QPointer<QWidget>> blocked_;
};

}  // namespace

bool backgroundBusy() {
    return busyDepth > 0;
}

void runInBackground(QWidget* window, const QString& label, const std::function<void()>& work) {
    if (!qApp || busyDepth > 0 || QThread::currentThread() != qApp->thread()) {
        work();
        return;
    }
    ++busyDepth;
    struct DepthGuard {
        ~DepthGuard() { --busyDepth; }
    } depthGuard;

    InputBlocker blocker;
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
        progress = new QProgressDialog(label, QString(), 0, 0, owner.data());
        progress->setWindowTitle(owner ? owner->windowTitle() : label);
        progress->setMinimumDuration(0);
        progress->setAutoClose(false);
        progress->show();
    });
    delay.start(kProgressDelayMs);

    thread->start();
    loop.exec();
    thread->wait();
    delay.stop();
    delete progress.data();
    if (error) std::rethrow_exception(error);
}

}  // namespace onex::ui::platform
