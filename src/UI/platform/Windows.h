#pragma once

// Windows from layouts, callbacks, close requests and modal waits.
//
// A layout is a Qt Designer file compiled in as the resource
// ":/layouts/<name>.ui". Its objects carry their Tag as objectName; a control
// with a callback carries the callback text in the dynamic property
// "Callback", and a window whose close box runs a routine carries it in
// "CloseRequestFcn". Controls fire as a user changes them:
//   push and toggle buttons, check boxes   when clicked
//   pop-up menus                           when an item is chosen
//   edit fields                            when an edited text is committed
//                                          (Enter, the focus leaving, or a
//                                          button, menu item or close request
//                                          of the window acting first)
//   menu items                             when chosen
// A button or menu item does not act when that commit is refused, nor does a
// button whose press took the focus from a field that refused its text: the
// window's status line shows the refusal first.

#include <QObject>
#include <QWidget>
#include <optional>
#include <string>
#include <string_view>

namespace onex::ui::platform {

// Opens a new, hidden window from a layout and connects its callbacks.
// `parent` makes it a window of that one (a dialog over the main window).
// Throws onex::Error when the layout does not exist or cannot be read.
QWidget* openLayout(std::string_view name, QWidget* parent = nullptr);

// The window of a layout that is still open, or null.
QWidget* findOpenLayout(std::string_view name);

// The name of the layout a window was opened from ("" for other windows).
std::string layoutName(const QWidget& window);

// Sets a control's callback text and connects it (for objects created in
// code, such as menu items).
void setCallback(QObject& control, const std::string& text);
std::string getCallback(const QObject& control);

// Sets the routine run when the user asks to close the window (close box,
// Escape in a dialog) in place of closing it; "" restores plain closing.
void setCloseRequest(QWidget& window, const std::string& text);

// Blocks, with the event loop running, until uiresume(window) or until the
// window is deleted. Returns true when the window still exists.
bool uiwait(QWidget* window);

// Shows a dialog window application-modal, raised and active, and waits as
// uiwait does. Returns the "answer" field its handles hold when the wait
// ends ("Cancel" when there is none), nothing when the window was deleted.
std::optional<std::string> askModal(QWidget* dialog);
// Ends the innermost uiwait on the window (nothing when none waits).
void uiresume(QWidget* window);
// True while someone waits on the window.
bool isWaiting(const QWidget* window);

// Delivers pending posted events (drawing, deferred deletions).
void drawnow();

}  // namespace onex::ui::platform
