#pragma once

// Long operations (instrument traffic, the frame calculation) run on a worker
// thread while the GUI thread keeps painting. Meanwhile the application's
// windows take no input, so nothing can change the state the work reads or
// close a window under it; windows opened during the work (a question the
// work asks, the progress window) do take input. When the work lasts longer
// than a moment a progress window with `label` appears.
//
// Work that can be cancelled (instrument operations) gets a Cancellation:
// the progress window then has a Cancel button, and its close box cancels
// too; closing one of the application's windows during the work asks
// whether to cancel it and close that window. The work itself must watch
// the stop token and end soon after a stop is requested.

#include <QString>
#include <QWidget>
#include <exception>
#include <functional>
#include <optional>
#include <stop_token>

namespace onex::ui::platform {

// How long the work may take before the progress window shows.
inline constexpr int kProgressDelayMs = 400;

// The progress window's button.
inline constexpr const char* kCancelButtonText = "Cancel";
// The question asked when a window is closed during cancellable work.
inline constexpr const char* kCancelQuestionTitle = "Operation in Progress";
QString cancelQuestion(const QString& label);

struct Cancellation {
    std::stop_source source;
    // The user closed one of the application's windows during the work and
    // chose to cancel it: that window is closed again once the work has
    // ended (and the caller shows no outcome).
    bool windowClosing = false;
};

// Runs `work` on a worker thread and returns when it is done; anything it
// throws is thrown again here. Without a QApplication, or when called from
// inside another background run, it simply runs `work` here.
void runInBackground(QWidget* window, const QString& label, const std::function<void()>& work,
                     Cancellation* cancel = nullptr);

template <class R>
R runInBackground(QWidget* window, const QString& label, const std::function<R()>& work,
                  Cancellation* cancel = nullptr) {
    std::optional<R> result;
    runInBackground(
        window, label, [&] { result.emplace(work()); }, cancel);
    return std::move(*result);
}

// True while a background run is in progress.
bool backgroundBusy();

}  // namespace onex::ui::platform
