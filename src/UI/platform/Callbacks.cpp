#include "UI/platform/Callbacks.h"

#include <QPointer>
#include <exception>
#include <regex>

#include "UI/platform/Controls.h"
#include "UI/platform/Handles.h"
#include "UI/platform/Services.h"
#include "platform/Error.h"

namespace onex::ui::platform {

std::optional<CallbackCall> parseCallback(std::string_view text) {
    static const std::regex form(
        R"(^\s*([A-Za-z]\w*)\s*\(\s*'([A-Za-z]\w*)'\s*,\s*gcbo\s*,\s*\[\s*\]\s*,\s*guidata\s*\(\s*gcbo\s*\)\s*\)\s*;?\s*$)");
    std::match_results<std::string_view::const_iterator> m;
    if (!std::regex_match(text.begin(), text.end(), m, form)) return std::nullopt;
    return CallbackCall{m[1].str(), m[2].str()};
}

std::string callbackText(std::string_view module, std::string_view routine) {
    return std::string(module) + "('" + std::string(routine) + "',gcbo,[],guidata(gcbo))";
}

CallbackRouter::Registration::Registration(Registration&& other) noexcept
    : router_(other.router_), module_(std::move(other.module_)), id_(other.id_) {
    other.router_ = nullptr;
}

CallbackRouter::Registration& CallbackRouter::Registration::operator=(
    Registration&& other) noexcept {
    if (this != &other) {
        release();
        router_ = other.router_;
        module_ = std::move(other.module_);
        id_ = other.id_;
        other.router_ = nullptr;
    }
    return *this;
}

CallbackRouter::Registration::~Registration() {
    release();
}

void CallbackRouter::Registration::release() {
    if (router_) router_->remove(module_, id_);
    router_ = nullptr;
}

CallbackRouter::Registration CallbackRouter::add(std::string module, ModuleDispatcher dispatcher,
                                                 std::vector<std::string> routines) {
    const int id = nextId_++;
    modules_[module].push_back({id, std::move(dispatcher), std::move(routines)});
    return Registration(this, std::move(module), id);
}

bool CallbackRouter::has(std::string_view module) const {
    return find(module) != nullptr;
}

bool CallbackRouter::has(std::string_view module, std::string_view routine) const {
    const Entry* e = findEntry(module);
    return e && std::find(e->routines.begin(), e->routines.end(), routine) != e->routines.end();
}

const CallbackRouter::Entry* CallbackRouter::findEntry(std::string_view module) const {
    auto it = modules_.find(module);
    if (it == modules_.end() || it->second.empty()) return nullptr;
    return &it->second.back();
}

const ModuleDispatcher* CallbackRouter::find(std::string_view module) const {
    const Entry* e = findEntry(module);
    return e ? &e->dispatcher : nullptr;
}

Handles& needHandles(std::string_view module, Handles* handles, std::string_view routine,
                     std::string_view owner) {
    if (!handles)
        throw Error(std::string(module) + "/" + std::string(routine) + " needs the " +
                    std::string(owner) + "'s handles");
    return *handles;
}

onex::Error undefinedRoutine(std::string_view module, std::string_view routine) {
    return Error("Undefined routine " + std::string(module) + "/" + std::string(routine));
}

void CallbackRouter::remove(const std::string& module, int id) {
    auto it = modules_.find(module);
    if (it == modules_.end()) return;
    std::erase_if(it->second, [id](const Entry& e) { return e.id == id; });
    if (it->second.empty()) modules_.erase(it);
}

bool CallbackRouter::fire(QObject* control, std::string_view text) {
    const auto call = parseCallback(text);
    if (!call) {
        printToConsole("Callback text not understood: " + std::string(text));
        return false;
    }
    const ModuleDispatcher* d = find(call->module);
    if (!d) {
        printToConsole("Undefined module " + call->module + " (callback " + std::string(text) +
                       ")");
        return false;
    }
    // A copy: the dispatcher may end its own registration (the application
    // shutting down from one of its menu items), and the window may go too.
    const ModuleDispatcher dispatcher = *d;
    const QPointer<QWidget> window = windowOf(control);
    if (window) clearFailureStatus(*window);
    const auto failure = guarded(call->module, call->routine,
                                 [&] { dispatcher(call->routine, control, guidata(control)); });
    if (failure && window) showFailureStatus(*window, *failure);
    return !failure;
}

bool CallbackRouter::call(std::string_view module, const std::string& routine, QObject* gcbo,
                          Handles* handles) {
    const ModuleDispatcher* d = find(module);
    if (!d) return false;
    // A copy: the dispatcher may end its own registration (the application
    // shutting down from one of its menu items).
    const ModuleDispatcher dispatcher = *d;
    guarded(module, routine, [&] { dispatcher(routine, gcbo, handles); });
    return true;
}

void CallbackRouter::callDirect(std::string_view module, const std::string& routine, QObject* gcbo,
                                Handles* handles) {
    const ModuleDispatcher* d = find(module);
    if (!d) throw Error("Undefined module " + std::string(module));
    const ModuleDispatcher dispatcher = *d;
    dispatcher(routine, gcbo, handles);
}

std::optional<std::string> guarded(std::string_view module, std::string_view routine,
                                   const std::function<void()>& body) {
    std::string failure;
    try {
        body();
        return std::nullopt;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown error";
    }
    printToConsole(std::string(module) + "/" + std::string(routine) + ": " + failure);
    return failure;
}

}  // namespace onex::ui::platform
