#include "UI/QV_SigGen.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <map>

#include "MexIO/HwIO.h"
#include "MexIO/IoConfigArray.h"
#include "UI/WindowUtilities.h"
#include "UI/platform/Background.h"
#include "UI/platform/Controls.h"
#include "UI/platform/Expression.h"
#include "UI/platform/Services.h"
#include "UI/platform/Windows.h"
#include "platform/Error.h"
#include "platform/Numeric.h"
#include "platform/Text.h"

namespace onex::ui {

using onex::platform::Array;
using platform::Handles;
namespace sg = siggen;

namespace {

constexpr const char* kModule = "QV_SigGen";
constexpr const char* kLayout = "QV_SigGen";
using Group = std::vector<QPointer<QObject>>;

Handles& need(Handles* h, const std::string& routine) {
    return platform::needHandles(kModule, h, routine, "dialog");
}

// --- configuration structure access ---

bool isNumber(const Array& s, const char* field) {
    if (!s.isStruct() || !s.hasField(field)) return false;
    const Array& a = s.field(field);
    return a.isDouble() && !a.isComplex() && a.numel() == 1;
}

bool isText(const Array& s, const char* field) {
    if (!s.isStruct() || !s.hasField(field)) return false;
    const Array& a = s.field(field);
    return a.isChar() && (a.isRow() || a.isEmpty());
}

Array& sub(Array& config, const char* name) {
    if (!config.hasField(name) || !config.field(name).isStruct() || config.field(name).numel() != 1)
        config.setField(name, Array::structure());
    return config.field(name);
}

double number(const Array& config, const char* group, const char* field) {
    return config.field(group).field(field).scalar();
}
std::string text(const Array& config, const char* group, const char* field) {
    const Array& s = group ? config.field(group) : config;
    return s.field(field).toString();
}

void setNumber(Array& config, const char* group, const char* field, double v) {
    sub(config, group).setField(field, Array(v));
}
void setText(Array& config, const char* group, const char* field, const std::string& v) {
    if (group)
        sub(config, group).setField(field, Array::string(v));
    else
        config.setField(field, Array::string(v));
}

// A field that is missing or of the wrong class gets its default, so that
// the dialog can show any structure it is given.
void complete(Array& config) {
    const Array defaults = sg::initConfig(Array());
    if (!isText(config, "type")) config.setField("type", defaults.field("type"));
    for (const char* group : {"GPIB", "RS232", "TCPIP"}) {
        Array& s = sub(config, group);
        const Array& d = defaults.field(group);
        for (const std::string& field : d.fieldNames()) {
            const bool ok =
                d.field(field).isChar() ? isText(s, field.c_str()) : isNumber(s, field.c_str());
            if (!ok) s.setField(field, d.field(field));
        }
    }
}

int selected(const Handles& h, const char* tag) {
    return static_cast<int>(platform::getValue(h.at(tag)));
}

// The address lists come from the driver's ranges; an address and its
// (1-based) list position convert through the lowest entry, "none" for the
// secondary address.
static_assert(kGpibSecondaryMin == kGpibSecondaryNone + 1, "\"none\" heads the secondary list");

void fillAddressLists(Handles& h) {
    std::vector<std::string> primary, secondary{"none"};
    for (int a = kGpibPrimaryMin; a <= kGpibPrimaryMax; ++a)
        primary.push_back(std::to_string(a));
    for (int a = kGpibSecondaryMin; a <= kGpibSecondaryMax; ++a)
        secondary.push_back(std::to_string(a));
    platform::setItems(h.at("pmPrimaryAddress"), primary);
    platform::setItems(h.at("pmSecondaryAddress"), secondary);
}

double primaryPosition(double address) {
    return address - kGpibPrimaryMin + 1;
}
double secondaryPosition(double address) {
    return address - kGpibSecondaryNone + 1;
}

// --- groups ---

const char* groupOf(const std::string& kind) {
    if (kind == "GPIB") return "handlesGPIB";
    if (kind == "RS232") return "handlesRS232";
    if (kind == "TCPIP") return "handlesTCPIP";
    return nullptr;
}

void showControls(Handles& h, const char* visibleGroup) {
    for (const char* group : {"handlesGPIB", "handlesRS232", "handlesTCPIP"}) {
        if (!h.hasField(group)) continue;
        const bool on = visibleGroup && std::string(group) == visibleGroup;
        for (const auto& o : h.field<Group>(group))
            if (o) platform::setVisible(*o, on);
    }
}

std::string selectedKind(const Handles& h) {
    return sg::ConvertIndexToString(h.at("pmConnection"), platform::getValue(h.at("pmConnection")));
}

// --- callbacks ---

void pmConnection_Callback(QObject*, Handles& h) {
    const int model = h.field<int>("Model");
    int& last = h.field<int>("handlesLastConnection");
    const int choice = selected(h, "pmConnection");
    if (model == 2 && choice == 3) {  // platform "c" has no third kind
        if (last == 3) last = 1;
        platform::setValue(h.at("pmConnection"), last);
    } else {
        last = choice;
    }
    sg::EnableGuiObjects(h);
    platform::setString(h.at("lblStatus"), "");
    if (selectedKind(h) == "RS232") sg::UpdateRS232HandShakingToolTip(h);
}

void ending(Handles& h, const char* answer) {
    h.setField<std::string>("answer", answer);
    platform::uiresume(&h.get<QWidget>("figureVisaAddress"));
}

void pbCheckHardware_Callback(QObject*, Handles& h) {
    QWidget& dialog = h.get<QWidget>("figureVisaAddress");
    const std::string pointer = platform::getPointer(dialog);
    platform::setPointer(dialog, "watch");
    std::string status;
    try {
        IoConfig config;
        fromArray(sg::UpdateConfig(h), config);
        platform::setString(h.at("lblStatus"), "... Checking ...");
        const Status answer = platform::runInBackground<Status>(
            &dialog, "Checking the connection ...", [&] { return VerifyComm(config); });
        status = answer.response;
    } catch (const std::exception& e) {
        status = e.what();
    }
    if (Handles* still = platform::guidata(&dialog))
        platform::setString(still->at("lblStatus"), status);
    platform::setPointer(dialog, pointer);
}

using Routine = std::function<void(QObject*, Handles&)>;

const std::map<std::string, Routine>& routines() {
    static const auto nothing = [](QObject*, Handles&) {};
    static const std::map<std::string, Routine> table = {
        {"pmConnection_Callback", pmConnection_Callback},
        {"pmGpibBoard_Callback", nothing},
        {"pmPrimaryAddress_Callback", nothing},
        {"pmSecondaryAddress_Callback", nothing},
        {"pmPortNumber_Callback", nothing},
        {"pmBaudRate_Callback", nothing},
        {"pmHandShake_Callback",
         [](QObject*, Handles& h) { sg::UpdateRS232HandShakingToolTip(h); }},
        {"editTCPIPAddress_Callback", nothing},
        {"pbOK_Callback", [](QObject*, Handles& h) { ending(h, "OK"); }},
        {"pbCancel_Callback", [](QObject*, Handles& h) { ending(h, "Cancel"); }},
        {"pbCheckHardware_Callback", pbCheckHardware_Callback},
        {"EnableGuiObjects", [](QObject*, Handles& h) { sg::EnableGuiObjects(h); }},
        {"UpdateRS232HandShakingToolTip",
         [](QObject*, Handles& h) { sg::UpdateRS232HandShakingToolTip(h); }},
    };
    return table;
}

void registerModule() {
    static const auto registration = platform::services().router.add(
        kModule,
        [](const std::string& routine, QObject* gcbo, Handles* handles) {
            sg::run(routine, gcbo, handles);
        },
        platform::routineNames(routines()));
    (void)registration;
}

}  // namespace

void QV_SigGen(const std::string& name, QObject* gcbo, Handles* handles) {
    platform::guarded(kModule, name, [&] { sg::run(name, gcbo, handles); });
}

SigGenAnswer QV_SigGen(QWidget* parent, std::optional<Array> config,
                       std::optional<std::string> platform) {
    return sg::openConnectionDialog(parent, std::move(config), std::move(platform), std::nullopt);
}

namespace siggen {

void run(const std::string& name, QObject* gcbo, Handles* handles) {
    platform::runRoutine(kModule, routines(), name, gcbo, need(handles, name));
}

SigGenAnswer openConnectionDialog(QWidget* parent, std::optional<Array> config,
                                  std::optional<std::string> platformText,
                                  std::optional<std::string> windowName) {
    registerModule();
    // 1. The dialog with its three groups, hidden.
    QWidget* dialog = platform::findOpenLayout(kLayout);
    if (!dialog) dialog = platform::openLayout(kLayout, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);  // the close box ends it as Cancel
    platform::guidata(dialog, platform::buildHandles(dialog));
    const auto gpib = addControls(*dialog, "configGPIB");
    const auto rs232 = addControls(*dialog, "configRS232");
    const auto tcpip = addControls(*dialog, "configTCPIP");
    dialog->hide();
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    dialog->setPalette(palette);
    platform::guidata(dialog, platform::buildHandles(dialog));
    Handles& h = *platform::guidata(dialog);
    auto keep = [](const std::vector<QObject*>& v) { return Group(v.begin(), v.end()); };
    h.setField("handlesGPIB", keep(gpib));
    h.setField("handlesRS232", keep(rs232));
    h.setField("handlesTCPIP", keep(tcpip));
    h.setField("handlesLastConnection", 2);
    h.setField("Model", 0);

    // 2. The platform letter chooses the model; other text names the window.
    if (platformText) {
        const std::string letter = onex::platform::toUpper(*platformText);
        if (letter == "B" || letter == "C") {
            h.field<int>("Model") = letter == "B" ? 1 : 2;
            platformText.reset();
        }
    }

    // 3. Centred on the parent, top edges level.
    dialog->adjustSize();
    if (parent) {
        const QRect p = parent->geometry();
        const QSize own = dialog->size();
        dialog->setGeometry(p.x() + p.width() / 2 - own.width() / 2, p.y(), own.width(),
                            own.height());
    }

    // 4. The configuration, converted and clamped.
    Array cfg;
    if (config && config->isStruct() && config->numel() == 1) {
        cfg = reStructureConfig(&h, *config);
        complete(cfg);
        using onex::platform::clampValue;
        setNumber(cfg, "GPIB", "board", clampValue(number(cfg, "GPIB", "board"), 0, 15));
        setNumber(cfg, "GPIB", "primary",
                  clampValue(number(cfg, "GPIB", "primary"), kGpibPrimaryMin, kGpibPrimaryMax));
        setNumber(
            cfg, "GPIB", "secondary",
            clampValue(number(cfg, "GPIB", "secondary"), kGpibSecondaryNone, kGpibSecondaryMax));
        setNumber(cfg, "RS232", "port", clampValue(number(cfg, "RS232", "port"), 1, 9));
        const auto rates = platform::getItems(h.at("pmBaudRate"));
        const double lowest = platform::str2num(rates.at(0));
        const double highest = platform::str2num(rates.at(2));
        setNumber(cfg, "RS232", "baudrate",
                  clampValue(number(cfg, "RS232", "baudrate"), lowest, highest));
        setNumber(cfg, "TCPIP", "board", 0);
    } else {
        cfg = initConfig(Array());
    }

    // 5. The window's name.
    if (windowName)
        platform::setName(*dialog, *windowName);
    else if (platformText)
        platform::setName(*dialog, *platformText + " IO Connection");

    // 6. Fonts; 7. tool tips.
    try {
        ResizeAllFonts(h);
    } catch (const std::exception&) {
    }
    platform::setTooltip(h.at("pmBaudRate"),
                         "Select the communication baud rate.\r\nNOTE: This must agree with the "
                         "instrument.");
    platform::setTooltip(h.at("pmPrimaryAddress"),
                         "Select the primary address of your source.\r\nThe default factory "
                         "setting is 19.");

    // 8. Controls from the configuration, then wait.
    fillAddressLists(h);
    UpdateGuiObjects(h, cfg);
    UpdateRS232HandShakingToolTip(h);
    EnableGuiObjects(h);
    SigGenAnswer out;
    const std::optional<std::string> answer = platform::askModal(dialog);
    out.response = answer.value_or("Cancel");
    if (answer) {
        Handles& after = *platform::guidata(dialog);
        if (out.response == "OK") {
            const Array current = UpdateConfig(after);
            cfg.setField("type", current.field("type"));
            for (const char* group : {"GPIB", "RS232", "TCPIP"})
                for (const std::string& field : current.field(group).fieldNames())
                    sub(cfg, group).setField(field, current.field(group).field(field));
        }
        delete dialog;
    }
    out.retConfig = cfg;
    return out;
}

Array initConfig(const Array& config_in) {
    Array c = config_in.isStruct() && config_in.numel() == 1 ? config_in : Array::structure();
    setText(c, nullptr, "type", "GPIB");
    setNumber(c, "GPIB", "board", 0);
    setNumber(c, "GPIB", "primary", 19);
    setNumber(c, "GPIB", "secondary", -1);
    setNumber(c, "RS232", "port", 1);
    setNumber(c, "RS232", "baudrate", 19200);
    setText(c, "RS232", "handshake", "Xon/Xoff");
    setText(c, "TCPIP", "address", "0.0.0.0");
    setNumber(c, "TCPIP", "board", 0);
    return c;
}

Array reStructureConfig(const Handles* handles, const Array& oldConfig) {
    if (handles && handles->has("pmHandShake"))
        return onex::reStructureConfig(oldConfig, platform::getItems(handles->at("pmHandShake")));
    return onex::reStructureConfig(oldConfig);
}

void UpdateGuiObjects(Handles& h, const Array& configIn) {
    try {
        Array config = configIn;
        const int model = h.field<int>("Model");
        const std::string type = onex::platform::toUpper(text(config, nullptr, "type"));
        if (model == 2 && type == "RS232") setText(config, nullptr, "type", "GPIB");
        // LAN is offered on both platforms: a configuration that holds it is
        // shown as it is, and OK without a change keeps it.
        if (model == 1) platform::setItems(h.at("pmConnection"), {"RS232", "GPIB", "TCP/IP"});
        if (model == 2) platform::setItems(h.at("pmConnection"), {"GPIB", "TCP/IP"});

        platform::setValue(
            h.at("pmConnection"),
            ConvertStringToIndex(h.at("pmConnection"), text(config, nullptr, "type")));
        platform::setValue(h.at("pmGpibBoard"), number(config, "GPIB", "board") + 1);
        platform::setValue(h.at("pmPrimaryAddress"),
                           primaryPosition(number(config, "GPIB", "primary")));
        platform::setValue(h.at("pmSecondaryAddress"),
                           secondaryPosition(number(config, "GPIB", "secondary")));
        platform::setValue(h.at("pmPortNumber"), number(config, "RS232", "port"));
        char baud[32];
        std::snprintf(baud, sizeof baud, "%.0f", number(config, "RS232", "baudrate"));
        platform::setValue(h.at("pmBaudRate"), ConvertStringToIndex(h.at("pmBaudRate"), baud));
        platform::setValue(
            h.at("pmHandShake"),
            ConvertStringToIndex(h.at("pmHandShake"), text(config, "RS232", "handshake")));
        platform::setString(h.at("editTCPIPAddress"), text(config, "TCPIP", "address"));
        h.field<int>("handlesLastConnection") = selected(h, "pmConnection");
    } catch (const std::exception& e) {
        if (h.has("lblStatus")) platform::setString(h.at("lblStatus"), e.what());
    }
}

Array UpdateConfig(Handles& h) {
    Array c = Array::structure();
    setText(c, nullptr, "type",
            ConvertIndexToString(h.at("pmConnection"), platform::getValue(h.at("pmConnection"))));
    setNumber(c, "GPIB", "board", selected(h, "pmGpibBoard") - 1);
    setNumber(c, "GPIB", "primary", selected(h, "pmPrimaryAddress") - primaryPosition(0));
    setNumber(c, "GPIB", "secondary", selected(h, "pmSecondaryAddress") - secondaryPosition(0));
    setNumber(c, "RS232", "port", selected(h, "pmPortNumber"));
    const auto rates = platform::getItems(h.at("pmBaudRate"));
    const int rate = selected(h, "pmBaudRate");
    setNumber(c, "RS232", "baudrate",
              rate >= 1 && rate <= static_cast<int>(rates.size())
                  ? platform::str2num(rates[static_cast<std::size_t>(rate) - 1])
                  : std::nan(""));
    const auto shakes = platform::getItems(h.at("pmHandShake"));
    const int shake = selected(h, "pmHandShake");
    setText(c, "RS232", "handshake",
            shake >= 1 && shake <= static_cast<int>(shakes.size())
                ? shakes[static_cast<std::size_t>(shake) - 1]
                : std::string());
    setText(c, "TCPIP", "address", platform::getString(h.at("editTCPIPAddress")));
    setNumber(c, "TCPIP", "board", 0);
    return c;
}

std::string handshakeToolTip(int entry) {
    std::string tip = "Set the Instrument's RS-232 Pace to:\n  Transmit Pace = None\n";
    if (entry == 2)
        tip += "  Receive Pace  = Xon\n  RTS/CTS       = Off";
    else if (entry == 3)
        tip += "  Receive Pace  = None\n  RTS/CTS       = RTS/CTS Pacing";
    else
        tip += "  Receive Pace  = None\n  RTS/CTS       = Off";
    return tip;
}

void UpdateRS232HandShakingToolTip(Handles& h) {
    const std::string tip = handshakeToolTip(selected(h, "pmHandShake"));
    platform::setTooltip(h.at("pmHandShake"), tip);
    platform::setTooltip(h.at("lblHandShake"), tip);
    if (selectedKind(h) == "RS232") platform::setString(h.at("lblStatus"), tip);
}

void EnableGuiObjects(Handles& h) {
    showControls(h, groupOf(selectedKind(h)));
    // The groups differ in height: the dialog follows the one shown.
    if (auto* dialog = qobject_cast<QWidget*>(h.find("figureVisaAddress"))) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        dialog->adjustSize();
    }
}

Array blockInvalidConnections(Handles& h, const Array& configIn) {
    Array config = configIn;
    h.setField("handlesLastConnection", selected(h, "pmConnection"));
    if (!h.hasField("Model")) h.setField("Model", 2);
    const int model = h.field<int>("Model");
    // Platform "b" offers LAN too, so only platform "c" has a kind to block.
    if (model == 2 && h.field<int>("handlesLastConnection") == 1) {
        setText(config, nullptr, "type", "GPIB");
        h.field<int>("handlesLastConnection") = 2;
    }
    return config;
}

int ConvertStringToIndex(const QObject& popup, std::string t) {
    if (onex::platform::toUpper(t) == "TCPIP") t = "TCP/IP";  // the type is read in any case
    const auto items = platform::getItems(popup);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (onex::platform::toUpper(items[i]) == onex::platform::toUpper(t))
            return static_cast<int>(i) + 1;
    return 1;
}

std::string ConvertIndexToString(const QObject& popup, double entry) {
    const auto items = platform::getItems(popup);
    if (items.empty()) return {};
    std::string t = entry < 1 || entry > static_cast<double>(items.size())
                        ? items.front()
                        : items[static_cast<std::size_t>(entry) - 1];
    if (t == "TCP/IP") t = "TCPIP";
    return t;
}

std::vector<QObject*> addControls(QWidget& dialog, const std::string& name) {
    QWidget* loaded = platform::openLayout(name, nullptr);
    const Handles existing = platform::buildHandles(&dialog);
    std::vector<QObject*> group;
    // Last to first; a tag the dialog already has keeps the dialog's control.
    std::vector<QPointer<QWidget>> controls;
    for (QWidget* w : loaded->findChildren<QWidget*>())
        controls.emplace_back(w);
    std::reverse(controls.begin(), controls.end());
    controls.emplace_back(loaded);
    for (const QPointer<QWidget>& guard : controls) {
        QWidget* control = guard.data();
        if (!control) continue;  // went with a control deleted before it
        const std::string tag = control->objectName().toStdString();
        if (tag.empty() || tag.rfind("qt_", 0) == 0) continue;
        if (QObject* mine = existing.find(tag)) {
            group.push_back(mine);
            if (control == loaded) {
                delete loaded;
                return group;
            }
            delete control;
        } else {
            group.push_back(control);
        }
    }
    // The group's own panel goes into the dialog's group area as a whole, so
    // that its layout stays intact.
    loaded->setWindowFlags(Qt::Widget);
    QWidget* area = qobject_cast<QWidget*>(existing.find("groupArea"));
    QWidget* host = area ? area : &dialog;
    loaded->setParent(host);
    if (host->layout()) host->layout()->addWidget(loaded);
    return group;
}

}  // namespace siggen
}  // namespace onex::ui
