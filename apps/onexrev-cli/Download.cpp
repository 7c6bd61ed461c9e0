// The instrument verbs: download (calculate, correct, download, play), play
// (send the settings only, as the Refresh button does) and ping (the
// connection test).

#include <fmt/format.h>
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stop_token>
#include <thread>

#include "Cli.h"
#include "Instrument/ConfigFile.h"
#include "Instrument/Corrections.h"
#include "Instrument/DownloadCommand.h"
#include "MexIO/Cancel.h"
#include "MexIO/ConnectionAddress.h"
#include "MexIO/HwIO.h"
#include "platform/Dialogs.h"
#include "platform/HeadlessDialogs.h"
#include "platform/Text.h"

namespace onex::cli {
namespace {

// Where the instrument is: a configuration file, or one connection given
// directly. Without any, rfIOConfig.mat in the working directory is used
// when it can be read, else the application's start-up configuration.
struct ConnectionOptions {
    std::string configFile, tcpip, serial, gpib;

    void addTo(CLI::App& app) {
        auto* c = app.add_option("--config", configFile,
                                 "I/O configuration file (default: rfIOConfig.mat in the "
                                 "working directory, when present)");
        auto* t = app.add_option("--tcpip", tcpip,
                                 "LAN: HOST[:PORT] for the SCPI raw socket (port 5025 by "
                                 "default), or TCPIP0::HOST::inst0::INSTR for VXI-11");
        auto* s = app.add_option("--serial", serial,
                                 "RS-232: PORT[,BAUD[,HANDSHAKE]]; PORT a number (1 = first "
                                 "serial port) or a device path such as /dev/ttyUSB0; BAUD "
                                 "19200 and HANDSHAKE Xon/Xoff by default (None, Xon/Xoff, "
                                 "RTS/CTS)");
        auto* g = app.add_option("--gpib", gpib, "GPIB: BOARD,PRIMARY[,SECONDARY]");
        c->excludes(t, s, g);
        t->excludes(c, s, g);
        s->excludes(c, t, g);
        g->excludes(c, t, s);
    }
    IoConfig resolve() const;
};

IoConfig serialConfig(const std::string& arg) {
    std::string why;
    if (auto c = serialConnection(arg, why)) return *c;
    throw UsageError{fmt::format("--serial {}: {}", arg, why)};
}

IoConfig gpibConfig(const std::string& arg) {
    std::string why;
    if (auto c = gpibConnection(arg, why)) return *c;
    throw UsageError{fmt::format("--gpib {}: {}", arg, why)};
}

IoConfig ConnectionOptions::resolve() const {
    if (!tcpip.empty()) {
        IoConfig c = startupIoConfig();
        c.type = "TCPIP";
        c.TCPIP->address = tcpip;
        return c;
    }
    if (!serial.empty()) return serialConfig(serial);
    if (!gpib.empty()) return gpibConfig(gpib);
    if (!configFile.empty()) {
        if (!std::filesystem::exists(configFile))
            throw Error(fmt::format("--config: {} does not exist", configFile));
        if (auto c = loadConfig(configFile)) return *c;
        throw Error(
            fmt::format("--config: {} holds no I/O configuration (fileParameters)", configFile));
    }
    if (auto c = loadConfig(kConfigFileName)) return *c;
    return startupIoConfig();
}

// The dialogs of the command line: the one question of a download (the
// RS-232 time estimate) is answered from --yes; nothing else asks.
class CliDialogs : public platform::HeadlessDialogs {
  public:
    explicit CliDialogs(bool yes) : HeadlessDialogs(yes, stderr, stdout) {}
    std::string questionBox(const std::string& question, const std::string& title,
                            const std::vector<std::string>& buttons,
                            const std::string& defaultButton) override {
        const std::string answer =
            HeadlessDialogs::questionBox(question, title, buttons, defaultButton);
        if (answer.empty())
            std::fprintf(stderr, "%s: %s\nNot continued; give --yes to continue.\n", title.c_str(),
                         question.c_str());
        else
            std::printf("%s: %s %s (--yes)\n", title.c_str(), question.c_str(), answer.c_str());
        return answer;
    }
};

struct InstrumentOptions {
    ParameterOptions parameters;
    ConnectionOptions connection;
    std::string platform = "b";
    bool yes = false;
    std::string corrections;
};

void addPlatform(CLI::App& sub, InstrumentOptions& o) {
    sub.add_option("--platform", o.platform,
                   "instrument platform: b (default) plays with TARNPlay, c with TARNPlay_c "
                   "(needs SigGen.BBfilter, Scaling, ModAtten and ALC)")
        ->check(CLI::IsMember({"b", "c"}));
}

// Texts that may carry what the instrument sent, safe for the terminal.
std::string shown(std::string_view text) {
    return platform::printable(text);
}

void printSteps(const CommandOutcome& o) {
    for (const CommandStep& s : o.steps)
        std::printf("%s: status %d%s%s\n", s.routine.c_str(), s.result.status,
                    s.result.response.empty() ? "" : ": ", shown(s.result.response).c_str());
}

// While it lives, Ctrl+C (SIGINT) requests a stop on its token instead of
// ending the program, so that an instrument operation can close its
// connection and report. SIGINT is blocked in this thread and in the threads
// it starts, and taken by a watcher thread.
class InterruptCancels {
  public:
    InterruptCancels() {
        sigemptyset(&sigint_);
        sigaddset(&sigint_, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &sigint_, &previous_);
        watcher_ = std::jthread([this](std::stop_token done) {
            const timespec slice{0, 100'000'000};
            while (!done.stop_requested()) {
                if (::sigtimedwait(&sigint_, nullptr, &slice) == SIGINT) {
                    source_.request_stop();
                    return;
                }
            }
        });
    }
    ~InterruptCancels() {
        watcher_.request_stop();
        watcher_.join();
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    InterruptCancels(const InterruptCancels&) = delete;
    InterruptCancels& operator=(const InterruptCancels&) = delete;
    std::stop_token token() const { return source_.get_token(); }

  private:
    sigset_t sigint_, previous_;
    std::stop_source source_;
    std::jthread watcher_;
};

void failIfCancelled(const CommandOutcome& o) {
    if (o.cancelled) throw Error("cancelled");
}

void runDownload(const InstrumentOptions& options) {
    Setup setup = buildSetup(options.parameters);
    const IoConfig config = options.connection.resolve();
    const FrameResult frame = Calculate(setup.parameters, setup.settings.SamplingRate);
    std::printf("Calculated %zu samples at %s Sa/s\n", frame.waveform.size(),
                fmt::format("{:.0f}", setup.settings.SamplingRate).c_str());
    std::printf("Connection: %s\n", describeConnection(config).c_str());
    std::fflush(stdout);

    CliDialogs dialogs(options.yes);
    InterruptCancels interrupt;
    const CommandOutcome o = runDownloadCommand(
        frame.waveform, MarkerValues(frame.marker1, frame.marker2).rows(), setup.settings, config,
        options.platform, dialogs, scriptCorrectionFolder(options.corrections), interrupt.token());
    if (o.correctionStatus.empty()) {
        std::printf("Corrections: %s: %d RF-channel and %d I/Q correction(s) applied\n",
                    shown(o.correctionFile.string()).c_str(), o.rfChannelCorrections,
                    o.iqCorrections);
        for (const auto& f : o.correctionFailures)
            std::printf("  not applied: %s\n", f.c_str());
    } else if (o.correctionFile.empty()) {
        std::printf("Corrections: none (%s)\n", shown(o.correctionStatus).c_str());
    } else {
        std::printf("Corrections: none (%s: %s)\n", shown(o.correctionFile.string()).c_str(),
                    shown(o.correctionStatus).c_str());
    }
    printSteps(o);
    failIfCancelled(o);
    if (o.status != 0) throw Error(o.title);
    std::printf("%s: %s\n", o.title.c_str(), o.text.c_str());
}

void runPlay(const InstrumentOptions& options) {
    Setup setup = buildSetup(options.parameters);
    const IoConfig config = options.connection.resolve();
    std::printf("Connection: %s\n", describeConnection(config).c_str());
    std::fflush(stdout);
    InterruptCancels interrupt;
    const CommandOutcome o =
        runRefreshCommand(setup.settings, config, options.platform, interrupt.token());
    printSteps(o);
    failIfCancelled(o);
    if (o.status != 0) throw Error(o.title);
    std::printf("Settings sent; playing \"%s\"\n", shown(setup.settings.Title).c_str());
}

void runPing(const ConnectionOptions& connection) {
    const IoConfig config = connection.resolve();
    std::printf("Connection: %s\n", describeConnection(config).c_str());
    std::fflush(stdout);
    InterruptCancels interrupt;
    const CancelScope scope(interrupt.token());
    const Status s = VerifyComm(config);
    if (s.status == kCancelled) throw Error("cancelled");
    if (s.status != 0) throw Error(fmt::format("status {}: {}", s.status, shown(s.response)));
    std::printf("%s\n", shown(s.response).c_str());
}

}  // namespace

void addDownloadCommand(CLI::App& app) {
    auto o = std::make_shared<InstrumentOptions>();
    CLI::App* sub = app.add_subcommand(
        "download",
        "Calculate the frame, correct it with the instrument's correction file if one exists, "
        "download it under SigGen.Title and play it");
    o->parameters.addTo(*sub, true);
    o->connection.addTo(*sub);
    addPlatform(*sub, *o);
    sub->add_flag("--yes", o->yes,
                  "answer the RS-232 question (transfers over 0.75 minutes) with OK");
    sub->add_option("--corrections", o->corrections,
                    "folder of correction files (default: $ONEXREV_CORRECTIONS_DIR, else "
                    "$XDG_DATA_HOME/onexrev/corrections or ~/.local/share/onexrev/corrections)");
    sub->callback([o] { runDownload(*o); });
}

void addPlayCommand(CLI::App& app) {
    auto o = std::make_shared<InstrumentOptions>();
    CLI::App* sub =
        app.add_subcommand("play",
                           "Send the signal-generator settings and play the waveform stored under "
                           "SigGen.Title (no download)");
    o->parameters.addTo(*sub, false);
    o->connection.addTo(*sub);
    addPlatform(*sub, *o);
    sub->callback([o] { runPlay(*o); });
}

void addPingCommand(CLI::App& app) {
    auto c = std::make_shared<ConnectionOptions>();
    CLI::App* sub = app.add_subcommand("ping", "Check the connection to the instrument");
    c->addTo(*sub);
    sub->callback([c] { runPing(*c); });
}

}  // namespace onex::cli
