// The connection dialog: offered connections per platform, the clamps and
// conversions of the configuration it is given, its answers, and the
// hardware check against tarn-sim.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "UI/QV_SigGen.h"
#include "UI/UiTestSupport.h"
#include "system/support_sim.h"

using namespace onex;
using namespace onex::uitest;
using onex::platform::Array;
using ui::platform::getItems;
using ui::platform::getString;
using ui::platform::getValue;

namespace {

Array config(const std::string& type) {
    Array c = ui::siggen::initConfig(Array());
    c.setField("type", Array::string(type));
    return c;
}

double field(const Array& c, const char* group, const char* name) {
    return c.field(group).field(name).scalar();
}

class ConnectionDialog : public ::testing::Test {
  protected:
    ui::SigGenAnswer open(std::optional<Array> cfg, std::optional<std::string> platform,
                          std::function<void(QWidget&)> act) {
        whenShown("QV_SigGen", std::move(act));
        return ui::QV_SigGen(nullptr, std::move(cfg), std::move(platform));
    }
    static QComboBox& popup(QWidget& d, const char* tag) { return control<QComboBox>(d, tag); }
    static std::string status(QWidget& d) { return getString(control<QLabel>(d, "lblStatus")); }
    static bool shown(QWidget& d, const char* tag) { return control<QWidget>(d, tag).isVisible(); }

    onex::platform::ScriptedDialogs dialogs;
    FakeClock clock;
    std::vector<std::string> console;
    ui::platform::ScopedServices services{{&dialogs,
                                           &clock,
                                           [this](const std::string& t) { console.push_back(t); },
                                           [] { return 120.0; },
                                           {}}};
};

// A LAN configuration used to open as GPIB 0/19 on platform "b", and OK
// without a change switched the application to GPIB.
TEST_F(ConnectionDialog, PlatformBShowsALanConnectionAndOkKeepsIt) {
    Array lan = config("tcpip");  // the type is read in any case
    lan.field("TCPIP").setField("address", Array::string("TCPIP0::192.0.2.7::inst0::INSTR"));
    std::vector<std::string> items;
    std::string kind, address;
    bool gpibShown = true, lanShown = false;
    const auto answer = open(lan, "b", [&](QWidget& d) {
        items = getItems(popup(d, "pmConnection"));
        kind = ui::siggen::ConvertIndexToString(popup(d, "pmConnection"),
                                                getValue(popup(d, "pmConnection")));
        address = getString(control<QLineEdit>(d, "editTCPIPAddress"));
        gpibShown = shown(d, "pmPrimaryAddress");
        lanShown = shown(d, "editTCPIPAddress");
        click(control<QPushButton>(d, "pbOK"));
    });
    EXPECT_EQ(items, (std::vector<std::string>{"RS232", "GPIB", "TCP/IP"}));
    EXPECT_EQ(kind, "TCPIP");
    EXPECT_EQ(address, "TCPIP0::192.0.2.7::inst0::INSTR");
    EXPECT_FALSE(gpibShown);
    EXPECT_TRUE(lanShown);
    EXPECT_EQ(answer.response, "OK");
    EXPECT_EQ(answer.retConfig.field("type").toString(), "TCPIP");
    EXPECT_EQ(answer.retConfig.field("TCPIP").field("address").toString(),
              "TCPIP0::192.0.2.7::inst0::INSTR");
}

TEST_F(ConnectionDialog, PlatformCOffersGpibAndLanOnly) {
    std::vector<std::string> items;
    std::string kind;
    open(config("RS232"), "C", [&](QWidget& d) {
        items = getItems(popup(d, "pmConnection"));
        kind = ui::siggen::ConvertIndexToString(popup(d, "pmConnection"),
                                                getValue(popup(d, "pmConnection")));
        click(control<QPushButton>(d, "pbCancel"));
    });
    EXPECT_EQ(items, (std::vector<std::string>{"GPIB", "TCP/IP"}));
    EXPECT_EQ(kind, "GPIB");
}

TEST_F(ConnectionDialog, OutOfRangeAddressesAreClampedOnEntry) {
    Array c = config("GPIB");
    c.field("GPIB").setField("primary", Array(45.0));
    c.field("GPIB").setField("secondary", Array(-5.0));
    c.field("GPIB").setField("board", Array(99.0));
    c.field("RS232").setField("port", Array(0.0));
    c.field("TCPIP").setField("board", Array(3.0));
    double primary = 0, secondary = 0, port = 0;
    const auto answer = open(c, "b", [&](QWidget& d) {
        primary = getValue(popup(d, "pmPrimaryAddress"));
        secondary = getValue(popup(d, "pmSecondaryAddress"));
        port = getValue(popup(d, "pmPortNumber"));
        d.close();  // the close box
    });
    EXPECT_EQ(primary, 31);   // entry 31 = address 30
    EXPECT_EQ(secondary, 1);  // "none"
    EXPECT_EQ(port, 1);
    EXPECT_EQ(answer.response, "Cancel");
    EXPECT_EQ(field(answer.retConfig, "GPIB", "primary"), 30);
    EXPECT_EQ(field(answer.retConfig, "GPIB", "secondary"), -1);
    EXPECT_EQ(field(answer.retConfig, "GPIB", "board"), 15);
    EXPECT_EQ(field(answer.retConfig, "RS232", "port"), 1);
    EXPECT_EQ(field(answer.retConfig, "TCPIP", "board"), 0);

    // Secondary addresses end at 30, as the driver and the command line take them.
    c.field("GPIB").setField("secondary", Array(31.0));
    std::vector<std::string> items;
    open(c, "b", [&](QWidget& d) {
        items = getItems(popup(d, "pmSecondaryAddress"));
        secondary = getValue(popup(d, "pmSecondaryAddress"));
        d.close();
    });
    EXPECT_EQ(items.size(), 32u);  // "none", 0 ... 30
    EXPECT_EQ(items.back(), "30");
    EXPECT_EQ(secondary, 32);
}

TEST_F(ConnectionDialog, BaudRatesOutsideTheListAreClampedOrShownAsTheFirstEntry) {
    Array slow = config("RS232");
    slow.field("RS232").setField("baudrate", Array(14400.0));  // in range, not listed
    double entry = 0;
    auto answer = open(slow, "b", [&](QWidget& d) {
        entry = getValue(popup(d, "pmBaudRate"));
        click(control<QPushButton>(d, "pbCancel"));
    });
    EXPECT_EQ(entry, 1);
    EXPECT_EQ(field(answer.retConfig, "RS232", "baudrate"), 14400);

    Array fast = config("RS232");
    fast.field("RS232").setField("baudrate", Array(115200.0));
    answer = open(fast, "b", [&](QWidget& d) { click(control<QPushButton>(d, "pbCancel")); });
    EXPECT_EQ(field(answer.retConfig, "RS232", "baudrate"), 38400);  // the list's third rate
}

TEST_F(ConnectionDialog, AnOldStyleConfigurationIsConverted) {
    const Array old = Array::structure({{"Connection", Array(1.0)},
                                        {"GPIBboard", Array(2.0)},
                                        {"Primary", Array(7.0)},
                                        {"Secondary", Array(-1.0)},
                                        {"RS232Port", Array(3.0)},
                                        {"BaudRate", Array(9600.0)},
                                        {"HandShake", Array(1.0)}});
    std::string kind;
    double handshake = 0;
    bool serialShown = false;
    std::string statusText;
    const auto answer = open(old, "b", [&](QWidget& d) {
        kind = ui::siggen::ConvertIndexToString(popup(d, "pmConnection"),
                                                getValue(popup(d, "pmConnection")));
        handshake = getValue(popup(d, "pmHandShake"));
        serialShown = shown(d, "pmBaudRate");
        statusText = status(d);
        click(control<QPushButton>(d, "pbOK"));
    });
    EXPECT_EQ(kind, "RS232");
    EXPECT_EQ(handshake, 2);
    EXPECT_TRUE(serialShown);
    EXPECT_EQ(statusText, ui::siggen::handshakeToolTip(2));
    EXPECT_EQ(answer.response, "OK");
    const Array& r = answer.retConfig;
    EXPECT_EQ(r.field("type").toString(), "RS232");
    EXPECT_EQ(r.field("RS232").field("handshake").toString(), "Xon/Xoff");
    EXPECT_EQ(field(r, "RS232", "port"), 3);
    EXPECT_EQ(field(r, "GPIB", "board"), 2);
    EXPECT_EQ(field(r, "GPIB", "primary"), 7);
    EXPECT_FALSE(r.hasField("Connection"));
    EXPECT_FALSE(r.hasField("HandShake"));
}

TEST_F(ConnectionDialog, OkReturnsTheControlsAndKeepsOtherFields) {
    Array c = config("GPIB");
    c.setField("BBGtype", Array::string("001"));
    const auto answer = open(c, std::nullopt, [&](QWidget& d) {
        // Without a platform the layout's own list stays: RS232, GPIB, TCP/IP.
        choose(popup(d, "pmConnection"), 3);
        type(control<QLineEdit>(d, "editTCPIPAddress"), "lab-arb.example:5025");
        choose(popup(d, "pmPrimaryAddress"), 5);
        click(control<QPushButton>(d, "pbOK"));
    });
    EXPECT_EQ(answer.response, "OK");
    const Array& r = answer.retConfig;
    EXPECT_EQ(r.field("type").toString(), "TCPIP");
    EXPECT_EQ(r.field("TCPIP").field("address").toString(), "lab-arb.example:5025");
    EXPECT_EQ(field(r, "GPIB", "primary"), 4);
    EXPECT_EQ(r.field("BBGtype").toString(), "001");
}

TEST_F(ConnectionDialog, ChoosingAKindShowsItsGroupAndHandshakeAdvice) {
    bool serial = false, gpib = true, status3 = false;
    open(config("GPIB"), std::nullopt, [&](QWidget& d) {
        choose(popup(d, "pmConnection"), 1);  // RS232
        serial = shown(d, "pmHandShake");
        gpib = shown(d, "pmGpibBoard");
        choose(popup(d, "pmHandShake"), 3);
        status3 = status(d) == ui::siggen::handshakeToolTip(3);
        click(control<QPushButton>(d, "pbCancel"));
    });
    EXPECT_TRUE(serial);
    EXPECT_FALSE(gpib);
    EXPECT_TRUE(status3);
    EXPECT_EQ(ui::siggen::handshakeToolTip(3),
              "Set the Instrument's RS-232 Pace to:\n  Transmit Pace = None\n  Receive Pace  = "
              "None\n  RTS/CTS       = RTS/CTS Pacing");
}

TEST_F(ConnectionDialog, OtherPlatformTextNamesTheWindow) {
    std::string title;
    std::size_t entries = 0;
    const auto answer = open(std::nullopt, "Spectrum Analyzer", [&](QWidget& d) {
        title = d.windowTitle().toStdString();
        entries = getItems(popup(d, "pmConnection")).size();
        click(control<QPushButton>(d, "pbCancel"));
    });
    EXPECT_EQ(title, "Spectrum Analyzer IO Connection");
    EXPECT_EQ(entries, 3u);
    // No configuration given: the dialog's defaults.
    EXPECT_EQ(field(answer.retConfig, "RS232", "baudrate"), 19200);
    EXPECT_EQ(answer.retConfig.field("type").toString(), "GPIB");
}

TEST_F(ConnectionDialog, AMissingFieldIsFilledRatherThanFailing) {
    const Array partial = Array::structure({{"type", Array::string("GPIB")}});
    const auto answer =
        open(partial, "b", [&](QWidget& d) { click(control<QPushButton>(d, "pbOK")); });
    EXPECT_EQ(answer.response, "OK");
    EXPECT_EQ(field(answer.retConfig, "GPIB", "primary"), 19);
}

TEST(ConnectionDialogLookups, ConvertBetweenEntriesAndTexts) {
    QComboBox list;
    ui::platform::setItems(list, {"RS232", "GPIB", "TCP/IP"});
    EXPECT_EQ(ui::siggen::ConvertStringToIndex(list, "TCPIP"), 3);
    EXPECT_EQ(ui::siggen::ConvertStringToIndex(list, "gpib"), 2);
    EXPECT_EQ(ui::siggen::ConvertStringToIndex(list, "USB"), 1);
    EXPECT_EQ(ui::siggen::ConvertIndexToString(list, 3), "TCPIP");
    EXPECT_EQ(ui::siggen::ConvertIndexToString(list, 0), "RS232");
    EXPECT_EQ(ui::siggen::ConvertIndexToString(list, 4), "RS232");
}

// --- the hardware check, against the simulator ---

class HardwareCheck : public ConnectionDialog {
  protected:
    std::string check(const std::string& address) {
        std::string before, after;
        open(config("TCPIP"), std::nullopt, [&](QWidget& d) {
            type(control<QLineEdit>(d, "editTCPIPAddress"), address);
            click(control<QPushButton>(d, "pbCheckHardware"));
            after = status(d);
            click(control<QPushButton>(d, "pbCancel"));
        });
        return after;
    }
};

TEST_F(HardwareCheck, AnInstrumentThatAnswersIsNamed) {
    auto sim = testsim::startSim({"--idn", "Wavecraft,TARN-SIM,US00001234,A.01"});
    ASSERT_TRUE(sim);
    const std::string status = check(sim->rawAddress());
    EXPECT_NE(status.find("Wavecraft,TARN-SIM,US00001234,A.01"), std::string::npos) << status;
}

TEST_F(HardwareCheck, NoInstrumentIsReportedInTheStatusLine) {
    const std::string status = check("127.0.0.1:" + std::to_string(testsim::unusedLocalPort()));
    EXPECT_FALSE(status.empty());
    EXPECT_NE(status, "... Checking ...");
    EXPECT_EQ(status.find("Wavecraft"), std::string::npos);
}

}  // namespace
