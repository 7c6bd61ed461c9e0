#pragma once

// Callback texts and their dispatch. A control carries a text such as
//   rfCommonUI('menuFileNew_Callback',gcbo,[],guidata(gcbo))
// naming a window module and one of its local routines. When the control
// fires, the router hands the routine name, the firing object and the
// window's handles to the dispatcher registered under the module's name.

#include <QObject>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace onex::ui::platform {

class Handles;

struct CallbackCall {
    std::string module;
    std::string routine;
    bool operator==(const CallbackCall&) const = default;
};

// The module and routine of a callback text of the form above (blanks
// around the parts are allowed); nothing for any other text.
std::optional<CallbackCall> parseCallback(std::string_view text);

// The callback text for a module routine.
std::string callbackText(std::string_view module, std::string_view routine);

// A module's dispatcher: runs `routine` with the firing object and the
// window's handles (either may be null for calls made by name). Failures
// are thrown; the router adds the catch-and-print guard.
using ModuleDispatcher =
    std::function<void(const std::string& routine, QObject* gcbo, Handles* handles)>;

class CallbackRouter {
  public:
    // Keeps a dispatcher registered for as long as it lives. A module
    // registered twice dispatches to the newer registration until that ends.
    class Registration {
      public:
        Registration() = default;
        Registration(Registration&& other) noexcept;
        Registration& operator=(Registration&& other) noexcept;
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

      private:
        friend class CallbackRouter;
        Registration(CallbackRouter* router, std::string module, int id)
            : router_(router), module_(std::move(module)), id_(id) {}
        void release();
        CallbackRouter* router_ = nullptr;
        std::string module_;
        int id_ = 0;
    };

    // `routines` names what the dispatcher runs (for has(module, routine)).
    [[nodiscard]] Registration add(std::string module, ModuleDispatcher dispatcher,
                                   std::vector<std::string> routines = {});
    bool has(std::string_view module) const;
    // True when the module is registered and declared the routine.
    bool has(std::string_view module, std::string_view routine) const;

    // Runs a control's callback text with the control as the firing object
    // and its window's handles. A malformed text or an unknown module is
    // printed on the console, never raised. A failure of the routine is
    // printed and also shown in the status line of the control's window,
    // where it stays until the next callback of that window runs. Returns
    // false when the routine failed or could not be run.
    bool fire(QObject* control, std::string_view text);

    // Calls a module routine by name with the catch-and-print guard.
    // Returns false when no such module is registered.
    bool call(std::string_view module, const std::string& routine, QObject* gcbo, Handles* handles);
    // The same without the guard: failures, and an unknown module, are
    // thrown to the caller.
    void callDirect(std::string_view module, const std::string& routine, QObject* gcbo,
                    Handles* handles);

  private:
    struct Entry {
        int id;
        ModuleDispatcher dispatcher;
        std::vector<std::string> routines;
    };
    const Entry* findEntry(std::string_view module) const;
    const ModuleDispatcher* find(std::string_view module) const;
    void remove(const std::string& module, int id);

    std::map<std::string, std::vector<Entry>, std::less<>> modules_;
    int nextId_ = 1;
};

// The handles a module routine works on; a routine called by name without
// them is refused with "<module>/<routine> needs the window's handles"
// (`owner`: "window", or "dialog").
Handles& needHandles(std::string_view module, Handles* handles, std::string_view routine,
                     std::string_view owner = "window");

// "Undefined routine module/routine".
onex::Error undefinedRoutine(std::string_view module, std::string_view routine);

// A module's routines as a table from name to callable: runs `name` with
// `args`, an unknown name being the error "Undefined routine module/name".
template <class Table, class... Args>
void runRoutine(std::string_view module, const Table& table, const std::string& name,
                Args&&... args) {
    const auto it = table.find(name);
    if (it == table.end()) throw undefinedRoutine(module, name);
    it->second(std::forward<Args>(args)...);
}

template <class Table>
std::vector<std::string> routineNames(const Table& table) {
    std::vector<std::string> names;
    for (const auto& entry : table)
        names.push_back(entry.first);
    return names;
}

// Runs `body` and prints the text of anything it throws as
// "<module>/<routine>: <text>": the guard of every module dispatcher.
// Returns the failure's own text, nothing when `body` succeeded.
std::optional<std::string> guarded(std::string_view module, std::string_view routine,
                                   const std::function<void()>& body);

}  // namespace onex::ui::platform
