#pragma once

// What the window platform takes from its surroundings: the standard
// dialogs, the clock, the console for caught callback failures, the screen
// resolution and a random source. The application installs the real ones;
// tests replace them with a ScopedServices so that nothing blocks or waits.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "UI/platform/Callbacks.h"
#include "platform/Dialogs.h"

namespace onex::ui::platform {

// Elapsed time, pauses and the wall clock.
class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds on a monotonic clock (a stopwatch reads differences of it).
    virtual double seconds() = 0;
    // Waits, keeping the windows painted.
    virtual void pause(double seconds) = 0;
    // Year, month, day, hour, minute, seconds (with fraction).
    virtual std::array<double, 6> dateVector() = 0;
};

class SystemClock : public Clock {
  public:
    double seconds() override;
    void pause(double seconds) override;
    std::array<double, 6> dateVector() override;
};

struct Services {
    onex::platform::Dialogs* dialogs = nullptr;
    Clock* clock = nullptr;
    // Where the dispatchers print the text of a caught failure.
    std::function<void(const std::string&)> console;
    // The screen's pixels per inch (ResizeAllFonts).
    std::function<double()> screenPixelsPerInch;
    // A uniform random number in [0, 1] (random fast-edit patterns).
    std::function<double()> uniform;
    // Module name -> dispatcher, for the controls' callback texts.
    CallbackRouter router;
};

// The services in force. Before installDefaultServices() (or a
// ScopedServices) dialogs and clock are null.
Services& services();

// Qt dialogs, the system clock, stderr, the primary screen's resolution and a
// seeded random engine. Needs a QApplication.
void installDefaultServices();

// Replaces some services for its lifetime (tests); fields left empty keep
// their current value. The router is shared, not replaced.
class ScopedServices {
  public:
    struct Replacement {
        onex::platform::Dialogs* dialogs = nullptr;
        Clock* clock = nullptr;
        std::function<void(const std::string&)> console;
        std::function<double()> screenPixelsPerInch;
        std::function<double()> uniform;
    };
    explicit ScopedServices(Replacement r);
    ~ScopedServices();
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

  private:
    onex::platform::Dialogs* dialogs_;
    Clock* clock_;
    std::function<void(const std::string&)> console_;
    std::function<double()> ppi_;
    std::function<double()> uniform_;
};

// Prints a caught failure through the console service.
void printToConsole(const std::string& text);

}  // namespace onex::ui::platform
