#pragma once

// Driving the application's windows in tests: a started application with
// scripted dialogs, a clock that does not wait and a captured console, in a
// working folder of its own; and the user's gestures on controls.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cctype>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UI/Application.h"
#include "UI/platform/Controls.h"
#include "UI/platform/Handles.h"
#include "UI/platform/Services.h"
#include "UI/platform/Windows.h"
#include "platform/ScriptedDialogs.h"

namespace onex::uitest {

class FakeClock : public ui::platform::Clock {
  public:
    double now = 1000;
    // Seconds that each reading of the clock moves it on (a slow start-up).
    double step = 0;
    std::vector<double> pauses;
    std::function<void(double)> onPause;
    std::array<double, 6> date{2002, 8, 21, 9, 5, 7.8};

    double seconds() override {
        const double t = now;
        now += step;
        return t;
    }
    void pause(double s) override {
        if (onPause) onPause(s);
        pauses.push_back(s);
        now += s;
    }
    std::array<double, 6> dateVector() override { return date; }
};

// A fresh folder that is the working folder while it lives.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "onex-ui-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_, previous_;
};

// --- gestures ---

inline void type(QLineEdit& edit, const std::string& text) {
    edit.setFocus();
    // What a user's typing does: replace the text and mark it edited.
    edit.setText(QString::fromStdString(text));
    edit.setModified(true);
    emit edit.editingFinished();
}

// Typing key by key over the field's text, then Enter: what the field does
// not take (its validator) never arrives.
inline void typeKeys(QLineEdit& edit, const std::string& text) {
    edit.setFocus();
    edit.clear();
    for (char c : text) {
        const int key = std::toupper(static_cast<unsigned char>(c));
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QChar(c)));
        QApplication::sendEvent(&edit, &press);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&edit, &enter);
}

// Typing into a field of a window without committing it (no Enter, the
// focus stays in the field): what a click or a shortcut that follows meets.
inline void typeUncommitted(QWidget& window, QLineEdit& edit, const std::string& text) {
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    edit.setFocus();
    edit.setText(QString::fromStdString(text));
    edit.setModified(true);
}

inline void choose(QComboBox& popup, int position) {
    popup.setCurrentIndex(position - 1);
    emit popup.activated(position - 1);
}

inline void click(QAbstractButton& button) {
    button.click();
}
inline void trigger(QAction& item) {
    item.trigger();
}

inline void deliverDeferred() {
    ui::platform::drawnow();
}

// Runs `action` once the window of the layout is shown (inside the modal
// wait of whoever opened it).
inline void whenShown(const std::string& layout, std::function<void(QWidget&)> action) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, layout, action] {
        QWidget* w = ui::platform::findOpenLayout(layout);
        if (!w || !w->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        action(*w);
    });
    poll->start();
}

// The tagged control of a window.
template <class T>
T& control(QWidget& window, const std::string& tag) {
    return ui::platform::guidata(&window)->get<T>(tag);
}

// A started application in its own working folder.
class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::make_unique<TempDir>();
        services_ = std::make_unique<ui::platform::ScopedServices>(
            ui::platform::ScopedServices::Replacement{
                &dialogs, &clock, [this](const std::string& t) { console.push_back(t); },
                [this] { return ppi; }, [this] { return uniform(); }});
    }
    void TearDown() override {
        app_.reset();
        deliverDeferred();
        services_.reset();
        dir_.reset();
        EXPECT_TRUE(dialogs.failures().empty())
            << "unscripted dialog: " << dialogs.failures().front();
        EXPECT_EQ(dialogs.pending(), 0u) << "scripted dialogs that never appeared";
    }

    void start() {
        app_ = std::make_unique<ui::Application>();
        app_->start();
    }
    ui::AppState& state() { return app_->state(); }
    QMainWindow& main() { return *app_->mainWindow(); }
    ui::platform::Handles& h() { return *ui::platform::guidata(app_->mainWindow()); }
    template <class T>
    T& w(const std::string& tag) {
        return h().get<T>(tag);
    }
    std::string text(const std::string& tag) { return ui::platform::getString(h().at(tag)); }
    double value(const std::string& tag) { return ui::platform::getValue(h().at(tag)); }
    bool enabled(const std::string& tag) { return ui::platform::getEnable(h().at(tag)); }
    std::filesystem::path folder() const { return dir_->path(); }

    onex::platform::ScriptedDialogs dialogs;
    FakeClock clock;
    std::vector<std::string> console;
    double ppi = 120;  // fonts stay as laid out unless a test asks for 96
    std::function<double()> uniform = [] { return 0.3; };

  private:
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ui::platform::ScopedServices> services_;
    std::unique_ptr<ui::Application> app_;

  protected:
    void restart() {
        app_.reset();
        deliverDeferred();
        start();
    }
    // Ends the application as File/Exit does (the window goes at once).
    void exitApp() {
        trigger(w<QAction>("menuFileExit"));
        deliverDeferred();
    }
    bool mainGone() const { return !app_ || !app_->mainWindow(); }
};

}  // namespace onex::uitest
