#pragma once

// Long operations (instrument traffic, the frame calculation) run on a worker
// thread while the GUI thread keeps painting. Meanwhile the application's
// windows take no input, so nothing can change the state the work reads or
// close a window under it; windows opened during the work (a question the
// work asks, the progress window) do take input. When the work lasts longer
// than a moment a progress window with `label` appears.

#include <QString>
#include <QWidget>
#include <exception>
#include <functional>
#include <optional>

namespace onex::ui::platform {

// How long the work may take before the progress window shows.
inline constexpr int kProgressDelayMs = 400;

// Runs `work` on a worker thread and returns when it is done; anything it
// throws is thrown again here. Without a QApplication, or when called from
// inside another background run, it simply runs `work` here.
void runInBackground(QWidget* window, const QString& label, const std::function<void()>& work);

template <class R>
R runInBackground(QWidget* window, const QString& label, const std::function<R()>& work) {
    std::optional<R> result;
    runInBackground(window, label, [&] { result.emplace(work()); });
    return std::move(*result);
}

// True while a background run is in progress.
bool backgroundBusy();

}  // namespace onex::ui::platform
