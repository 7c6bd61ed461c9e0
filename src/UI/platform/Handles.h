#pragma once

// `handles`: the tagged objects of one window, one field per tag (a control's
// Tag is its objectName), plus fields that a module adds. Each window stores
// one such structure, fetched from any object inside it (guidata).

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <any>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace onex::ui::platform {

class Handles {
  public:
    // The object of a tag, or null when there is none or it was deleted.
    QObject* find(std::string_view tag) const;
    bool has(std::string_view tag) const { return find(tag) != nullptr; }
    // The object of a tag; throws onex::Error when there is none.
    QObject& at(std::string_view tag) const;
    // The object of a tag as a T; throws when absent or of another kind.
    template <class T>
    T& get(std::string_view tag) const {
        QObject& o = at(tag);
        if (T* t = qobject_cast<T*>(&o)) return *t;
        throw Error("handles." + std::string(tag) + " is a " + o.metaObject()->className() +
                    ", not a " + T::staticMetaObject.className());
    }
    void set(std::string_view tag, QObject* object);
    // The tags in alphabetical order.
    std::vector<std::string> tags() const;

    // Added fields (a dialog's answer, its model, ...).
    bool hasField(std::string_view name) const { return fields_.count(std::string(name)) != 0; }
    template <class T>
    T& field(std::string_view name) {
        auto it = fields_.find(std::string(name));
        if (it == fields_.end()) throw Error("handles has no field " + std::string(name));
        if (T* t = std::any_cast<T>(&it->second)) return *t;
        throw Error("handles." + std::string(name) + " has another type");
    }
    template <class T>
    void setField(std::string_view name, T value) {
        fields_[std::string(name)] = std::move(value);
    }

  private:
    std::map<std::string, QPointer<QObject>, std::less<>> objects_;
    std::map<std::string, std::any> fields_;
};

// The window that holds `object`: a widget's top-level window; for a menu
// item or a menu, the window whose menu bar holds it. Null when none.
QWidget* windowOf(const QObject* object);

// Collects the tagged objects of a window: the window itself and every
// widget and menu item inside it whose objectName is set (the toolkit's own
// "qt_" names excepted). The first object of a tag wins.
Handles buildHandles(QWidget* window);

// Stores handles with the window of `object` (replacing what was stored).
void guidata(const QObject* object, const Handles& handles);
// The handles stored with the window of `object`, or null when none.
Handles* guidata(const QObject* object);

}  // namespace onex::ui::platform
