#pragma once

// The control properties the window modules use, on Qt widgets:
//   Value   check box and toggle button: 1 when checked; pop-up menu: the
//           selected position (1-based)
//   String  edit field, static text, button: the text; pop-up menu: the
//           item texts
//   Enable, Visible, TooltipString, Name (a window's title), Pointer.
// They throw onex::Error for an object that lacks the property.

#include <QObject>
#include <QWidget>
#include <string>
#include <vector>

namespace onex::ui::platform {

double getValue(const QObject& control);
// A pop-up position outside its item list leaves nothing selected.
void setValue(QObject& control, double value);

std::string getString(const QObject& control);
void setString(QObject& control, const std::string& text);

// A pop-up menu's items; the selection is kept when still in range.
std::vector<std::string> getItems(const QObject& popup);
void setItems(QObject& popup, const std::vector<std::string>& items);

void setEnable(QObject& control, bool on);
bool getEnable(const QObject& control);
void setVisible(QObject& control, bool on);
bool getVisible(const QObject& control);
void setTooltip(QObject& control, const std::string& text);
std::string getTooltip(const QObject& control);
// Check mark of a menu item.
void setChecked(QObject& menuItem, bool on);

// A window's title.
void setName(QWidget& window, const std::string& name);
std::string getName(const QWidget& window);

// The status line of a window: a main window's status bar, or the first
// status bar inside another window (nothing is shown in a window without
// one). A failure, or a note about the entry just made, shown there is
// cleared by clearFailureStatus (at the next callback of the window); other
// texts stay until replaced.
void showStatus(QWidget& window, const std::string& text);
void showFailureStatus(QWidget& window, const std::string& text);
void showNoteStatus(QWidget& window, const std::string& text);
void clearFailureStatus(QWidget& window);
std::string getStatus(const QWidget& window);

// The mouse pointer over a window: "watch" or "arrow".
std::string getPointer(const QWidget& window);
void setPointer(QWidget& window, const std::string& pointer);

}  // namespace onex::ui::platform
