#pragma once

// Small routines every window uses, and the splash and About windows.

#include <QObject>
#include <QRect>
#include <QWidget>
#include <string_view>

#include "UI/AppState.h"
#include "UI/platform/Handles.h"

namespace onex::ui {

// Opens a window from its layout with the control background colour, stores
// its handles with it and centres it over parentHandle (null: the screen).
QWidget* loadFigure(std::string_view filename, QWidget* parentHandle);

// Centres `child` over `parent`, or over the screen when parent is null; the
// size stays, nothing is clipped to the screen.
void PositionChildWindow(const QWidget* parent, QWidget& child);
// The same arithmetic on rectangles (the child's new rectangle).
QRect centredRect(const QRect& reference, const QRect& child);

// Puts `panels`, a widget of the window's layout, into a scroll area, and
// sizes the window: at least its layout size and large enough to show the
// panels whole when the screen has room, never larger than the screen's
// free area. On a small or scaled screen the panels then scroll while the
// menu, the buttons and the status bar around them stay in reach. Call once
// the fonts are final, before the window is shown.
void scrollOnSmallScreens(QWidget& window, QWidget& panels);

// Enlarges every font of a window's controls by 10 % (rounded to whole
// points), only on a screen of exactly 96 pixels per inch.
void ResizeAllFonts(const platform::Handles& handles);

// Shows the splash window and returns it; the caller deletes it.
QWidget* QV_Splash();

// The modal About box, placed over parentHandle; returns when it is closed.
// A parent that is no window fails with "Input argument must be a handle to
// parent". Without `app` the box shows the layout's own texts.
void QV_About(QObject* parentHandle, const AppInfo* app);
void QV_About(const AppInfo* app = nullptr);

// The revision text of the About box: the first 7 characters of Rev (padded
// with blanks) for a release, else Rev followed by "  Proto".
std::string aboutRevision(const AppInfo& app);

}  // namespace onex::ui
