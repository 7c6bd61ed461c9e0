#include "UI/platform/Services.h"

#include <QDateTime>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <iostream>
#include <random>

#include "UI/platform/QtDialogs.h"

namespace onex::ui::platform {

double SystemClock::seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::pause(double seconds) {
    if (!(seconds > 0)) return;
    // An event loop rather than a sleep, so that windows keep painting.
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000 + 0.5), &loop, &QEventLoop::quit);
    loop.exec();
}

std::array<double, 6> SystemClock::dateVector() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {double(d.year()), double(d.month()),  double(d.day()),
            double(t.hour()), double(t.minute()), t.second() + t.msec() / 1000.0};
}

Services& services() {
    static Services s;
    return s;
}

void installDefaultServices() {
    static QtDialogs qtDialogs;
    static GuiThreadDialogs dialogs(qtDialogs);
    static SystemClock clock;
    Services& s = services();
    s.dialogs = &dialogs;
    s.clock = &clock;
    s.console = [](const std::string& text) { std::cerr << text << std::endl; };
    s.screenPixelsPerInch = [] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->logicalDotsPerInch() : 96.0;
    };
    s.uniform = [] {
        static std::mt19937_64 engine{std::random_device{}()};
        return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
    };
}

ScopedServices::ScopedServices(Replacement r) {
    Services& s = services();
    dialogs_ = s.dialogs;
    clock_ = s.clock;
    console_ = s.console;
    ppi_ = s.screenPixelsPerInch;
    uniform_ = s.uniform;
    if (r.dialogs) s.dialogs = r.dialogs;
    if (r.clock) s.clock = r.clock;
    if (r.console) s.console = std::move(r.console);
    if (r.screenPixelsPerInch) s.screenPixelsPerInch = std::move(r.screenPixelsPerInch);
    if (r.uniform) s.uniform = std::move(r.uniform);
}

ScopedServices::~ScopedServices() {
    Services& s = services();
    s.dialogs = dialogs_;
    s.clock = clock_;
    s.console = console_;
    s.screenPixelsPerInch = ppi_;
    s.uniform = uniform_;
}

void printToConsole(const std::string& text) {
    const auto& console = services().console;
    if (console)
        console(text);
    else
        std::cerr << text << std::endl;
}

}  // namespace onex::ui::platform
