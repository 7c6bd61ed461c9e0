#include "UI/platform/Handles.h"

#include <QAction>
#include <QMenu>

namespace onex::ui::platform {

namespace {

// The structure stored with a window: an unnamed child, so it never shows up
// as a tagged object itself and goes with the window.
class HandlesStore : public QObject {
  public:
    explicit HandlesStore(QObject* parent) : QObject(parent) {}
    Handles handles;
};

HandlesStore* storeOf(QWidget* window) {
    if (!window) return nullptr;
    for (QObject* child : window->children())
        if (auto* store = dynamic_cast<HandlesStore*>(child)) return store;
    return nullptr;
}

bool isTag(const QString& name) {
    return !name.isEmpty() && !name.startsWith("qt_");
}

}  // namespace

QObject* Handles::find(std::string_view tag) const {
    auto it = objects_.find(tag);
    return it == objects_.end() ? nullptr : it->second.data();
}

QObject& Handles::at(std::string_view tag) const {
    QObject* o = find(tag);
    if (!o) throw Error("handles has no object " + std::string(tag));
    return *o;
}

void Handles::set(std::string_view tag, QObject* object) {
    objects_[std::string(tag)] = object;
}

std::vector<std::string> Handles::tags() const {
    std::vector<std::string> out;
    for (const auto& [tag, object] : objects_)
        if (object) out.push_back(tag);
    return out;
}

QWidget* windowOf(const QObject* object) {
    // Menus are pop-up windows of their own; the window that owns them is the
    // one their parent chain leads to.
    for (const QObject* o = object; o; o = o->parent()) {
        auto* w = qobject_cast<const QWidget*>(o);
        if (w && !qobject_cast<const QMenu*>(w)) return const_cast<QWidget*>(w)->window();
    }
    return nullptr;
}

Handles buildHandles(QWidget* window) {
    Handles h;
    if (!window) return h;
    if (isTag(window->objectName())) h.set(window->objectName().toStdString(), window);
    for (QObject* o : window->findChildren<QObject*>()) {
        if (!qobject_cast<QWidget*>(o) && !qobject_cast<QAction*>(o)) continue;
        const QString name = o->objectName();
        if (!isTag(name) || h.find(name.toStdString())) continue;
        h.set(name.toStdString(), o);
    }
    return h;
}

void guidata(const QObject* object, const Handles& handles) {
    QWidget* window = windowOf(object);
    if (!window) throw Error("guidata: the object is in no window");
    HandlesStore* store = storeOf(window);
    if (!store) store = new HandlesStore(window);
    store->handles = handles;
}

Handles* guidata(const QObject* object) {
    HandlesStore* store = storeOf(windowOf(object));
    return store ? &store->handles : nullptr;
}

}  // namespace onex::ui::platform
