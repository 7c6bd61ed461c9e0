#pragma once

// The instrument connection dialog: GPIB, RS-232 or LAN, the address, and a
// hardware check. It edits a copy of an I/O configuration, given as the
// platform's structure so that fields it does not know pass through as they
// are.

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "UI/platform/Handles.h"
#include "platform/Array.h"

namespace onex::ui {

struct SigGenAnswer {
    std::string response;  // "OK" or "Cancel"
    onex::platform::Array retConfig;
};

// Opens the dialog modally. parent: the window to place it over; config: an
// I/O configuration structure (anything else: the defaults); platform: "b" or
// "c" (any case) choose the offered connections, any other text becomes the
// window name's prefix (text + " IO Connection").
SigGenAnswer QV_SigGen(QWidget* parent = nullptr,
                       std::optional<onex::platform::Array> config = std::nullopt,
                       std::optional<std::string> platform = std::nullopt);

// Runs the local routine `name` (the controls' callbacks) with the
// catch-and-print guard.
void QV_SigGen(const std::string& name, QObject* gcbo, platform::Handles* handles);

namespace siggen {

// The same dialog with its window renamed (the hidden Spec An I/O command).
SigGenAnswer openConnectionDialog(QWidget* parent, std::optional<onex::platform::Array> config,
                                  std::optional<std::string> platform,
                                  std::optional<std::string> windowName);

void run(const std::string& name, QObject* gcbo, platform::Handles* handles);

// config_in (when not empty) with the nine connection fields at their
// defaults: GPIB, board 0, primary 19, secondary -1, port 1, 19200 baud,
// Xon/Xoff, 0.0.0.0, LAN board 0.
onex::platform::Array initConfig(const onex::platform::Array& config_in);

// An old-style configuration in the current form (onex::reStructureConfig);
// any other one as it is. The handshake text comes from the dialog's list
// when handles are given.
onex::platform::Array reStructureConfig(const platform::Handles* handles,
                                        const onex::platform::Array& oldConfig);

void UpdateGuiObjects(platform::Handles& handles, const onex::platform::Array& config);
onex::platform::Array UpdateConfig(platform::Handles& handles);
void UpdateRS232HandShakingToolTip(platform::Handles& handles);
void EnableGuiObjects(platform::Handles& handles);
onex::platform::Array blockInvalidConnections(platform::Handles& handles,
                                              const onex::platform::Array& config);

// Position of the first item equal to text (any case; "TCPIP" looked up as
// "TCP/IP"), 1 when none.
int ConvertStringToIndex(const QObject& popup, std::string text);
// Item text of an entry (the first item for an entry out of range), with
// "TCP/IP" given as "TCPIP".
std::string ConvertIndexToString(const QObject& popup, double entry);

// The handshake tool tip for a handshake list position.
std::string handshakeToolTip(int entry);

// Loads the group layout `name` into the dialog; returns the group's objects.
std::vector<QObject*> addControls(QWidget& dialog, const std::string& name);

}  // namespace siggen
}  // namespace onex::ui
