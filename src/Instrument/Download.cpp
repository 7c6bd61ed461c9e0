#include "Instrument/Download.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stop_token>
#include <utility>

#include "MexIO/Cancel.h"
#include "MexIO/Completion.h"
#include "platform/Numeric.h"
#include "platform/Text.h"

namespace onex {

namespace {

using platform::num2str;

// Runs the steps of a sequence and remembers the first that failed. Once the
// operation is cancelled, the steps still to come are not run and the
// sequence reports cancelText.
class Sequence {
  public:
    explicit Sequence(std::string cancelText) : cancelText_(std::move(cancelText)) {}

    template <class Step>
    Status run(Step&& step) {
        if (cancelRequested()) cancelled_ = true;
        if (cancelled_) return {kCancelled, cancelText_};
        Status s = step();
        if (s.status == kCancelled || cancelRequested()) cancelled_ = true;
        if (s.status != 0 && !failure_) failure_ = s;
        return s;
    }
    // A step that talks to the instrument; remembers whether any such step
    // got through.
    template <class Step>
    Status send(Step&& step) {
        Status s = run(std::forward<Step>(step));
        if (s.status == 0) reached_ = true;
        return s;
    }
    bool reached() const { return reached_; }
    bool cancelled() {
        if (cancelRequested()) cancelled_ = true;
        return cancelled_;
    }
    Status result(Status last) {
        if (cancelled()) return {kCancelled, cancelText_};
        return failure_ ? *failure_ : std::move(last);
    }

  private:
    std::string cancelText_;
    bool cancelled_ = false;
    bool reached_ = false;
    std::optional<Status> failure_;
};

// The reply as a finite number (surrounding white space allowed), or nothing.
std::optional<double> replyNumber(std::string_view reply) {
    const std::string_view ws = " \t\r\n";
    const auto b = reply.find_first_not_of(ws);
    if (b == std::string_view::npos) return std::nullopt;
    std::string t(reply.substr(b, reply.find_last_not_of(ws) - b + 1));
    // strtod would also take hexadecimal and "inf"/"nan" texts, which are no state.
    if (t.find_first_not_of("+-.0123456789eE") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

constexpr std::string_view kOutputOnLine = " :output:state on";

// A sequence of ours that failed half-way must not leave the RF output on
// with settings the instrument did not take (an unmodulated carrier at the
// power set, or the wrong waveform): it is switched off, and the instrument
// asked whether it is. After a sequence that failed because the instrument
// stopped answering, asking again would only wait out another time-out:
// the line is sent unconfirmed. Returns the sentence that says what became
// of it.
std::string switchRfOff(const IoConfig& config, int failure) {
    Status s = hwSend(config, ":OUTPut:STATe OFF");
    if (s.status == 0 && failure == mexio::kTimedOut) {
        s.response = "the instrument had stopped answering";
    } else if (s.status == 0) {
        const std::string_view query = ":OUTPut:STATe?";
        s = hwQuery(config, query);
        if (s.status == 0) {
            if (replyNumber(s.response) == 0.0) return "The RF output was switched off.";
            s.response = "the instrument answered " + std::string(query) + " with \"" +
                         platform::shownReply(s.response) + "\"";
        }
    }
    return "Switching the RF output off could not be confirmed (" + s.response +
           "): the RF output may still be on.";
}

// text, then sentence as a sentence of its own.
void addSentence(std::string& text, std::string_view sentence) {
    if (!text.empty()) text += text.back() == '.' ? " " : ". ";
    text += sentence;
}

bool safeWaveformName(std::string_view name) {
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

std::string reconFilterText(double f) {
    if (f == 1) return "250.0khz";
    if (f == 2) return "2.5Mhz";
    if (f == 3) return "8Mhz";
    return "through";
}

std::string bbFilterText(double f) {
    if (f == 1) return "2.1MHz";
    if (f == 2) return "40MHz";
    return "Through";
}

// Lines 1 to 5, common to both platforms.
std::vector<std::string> commonHead(std::string_view FileName, const SigGenSettings& s) {
    return {
        " :source:rad:arb:state off",
        " :source:rad:arb:wav \"arbi:" + std::string(FileName) + "\" ",
        " :source:freq:fix " + num2str(s.Frequency) + "Hz",
        " :source:power:level:immediate:amplitude " + num2str(s.Amplitude) + "dbm",
        " :source:rad:arb:clock:srate " + num2str(s.SamplingRate) + "Hz",
    };
}

// Marker, reference and switching lines, common to both platforms.
void appendCommonTail(std::vector<std::string>& lines, const SigGenSettings& s) {
    lines.push_back(std::string(" :source:rad:arb:marker:rfblank ") +
                    (s.RFblanking == 1 ? "on" : "off"));
    lines.push_back(std::string(" :source:rad:arb:marker:polarity ") +
                    (s.MarkerPolarity == 0 ? "Pos" : "Neg"));
    lines.push_back(std::string(" :source:rad:arb:clock:ref ") +
                    (s.ArbRefSource == 0 ? "int" : "ext"));
    lines.push_back(" :source:rad:arb:state on");
    lines.emplace_back(kOutputOnLine);
}

Status sendPlayList(const std::vector<std::string>& lines, const IoConfig& config) {
    Sequence seq("Instrument setup cancelled");
    Status last;
    bool outputOn = false;  // our own line switched the RF output on
    for (const std::string& line : lines) {
        const Status sent = seq.send([&] { return last = hwSend(config, line); });
        if (line == kOutputOnLine && sent.status == 0) outputOn = true;
    }
    // A send only hands the line over: whether the instrument received and
    // took every setting shows in its answers, before it goes back to local.
    seq.send([&] {
        last = awaitCompletion([&](std::string_view q) { return hwQuery(config, q); });
        if (last.status == mexio::kInstrumentError)
            last.response = "The instrument refused a setting: " + last.response;
        return last;
    });
    Status out = seq.result(std::move(last));
    if (seq.cancelled()) {
        // Nothing more goes out after a cancel, except to undo our own
        // switching on while the connection still works; the cancel closes
        // a connection whose wait it ended.
        if (outputOn && hwIOConnected(config)) {
            const CancelScope uninterrupted{std::stop_token()};
            addSentence(out.response, switchRfOff(config, kCancelled));
        } else if (outputOn) {
            addSentence(out.response,
                        "The RF output may be on: it had been switched on, and the connection "
                        "was closed.");
        }
        return out;
    }
    if (out.status != 0 && seq.reached())
        addSentence(out.response, switchRfOff(config, out.status));
    // Returning to local control does not decide whether the instrument plays.
    hwReturnLocal(config);
    return out;
}

Status refusedName(std::string_view FileName) {
    return {kPlayRefused, "The waveform name \"" + platform::shownReply(FileName) +
                              "\" contains a double quote or a control character; nothing was "
                              "sent to the instrument."};
}

}  // namespace

double rs232DownloadMinutes(std::size_t samples, double baudrate, double segments) {
    constexpr double kBitsPerSample = 32;  // 16-bit I and Q
    constexpr double kFraming = 1.125;     // start and stop bits around each byte
    return kBitsPerSample * static_cast<double>(samples) * kFraming / baudrate / 60 * segments;
}

Status TARNDownLoadWrap(std::span<const std::complex<double>> IQData, MarkerRows Marker,
                        std::string_view Filename, const IoConfig& config,
                        platform::Dialogs& dialogs, std::optional<double> num_wfm_segments,
                        double timeoutMs) {
    Sequence seq("Download cancelled");
    seq.run([&] { return hwSetTimeout(config, timeoutMs); });

    const double segments = num_wfm_segments && *num_wfm_segments > 0 ? *num_wfm_segments : 1.0;
    if (config.type && platform::equalsIgnoreCase(*config.type, "rs232") && config.RS232 &&
        config.RS232->baudrate && *config.RS232->baudrate > 0) {
        // Without a usable baud rate there is nothing to estimate; the I/O
        // layer refuses such a configuration with its own text.
        const double minutes =
            rs232DownloadMinutes(IQData.size(), *config.RS232->baudrate, segments);
        if (minutes > kRs232QuestionMinutes && !seq.cancelled()) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "This download will take approximately %0.1f minutes. Do you want to "
                          "continue?",
                          minutes);
            const std::string button =
                dialogs.questionBox(text, "RS-232 Download", {"OK", "Cancel"}, "Cancel");
            if (button != "OK") return {kDownloadCancelled, "Download cancelled"};
        }
    }

    const std::string_view stateQuery = ":SOUR:RAD:ARB:STATe?";
    std::optional<double> wasOn;
    seq.send([&]() -> Status {
        Status state = hwQuery(config, stateQuery);
        if (state.status != 0) return state;
        wasOn = replyNumber(state.response);
        if (wasOn) return {0, ""};
        return {kUnusableReply, "The instrument answered " + std::string(stateQuery) + " with \"" +
                                    platform::shownReply(state.response) +
                                    "\", which is not a number: the ARB player's state before the "
                                    "download is unknown, and the player was left off."};
    });
    seq.send([&] { return hwSend(config, ":SOUR:RAD:ARB:STATe OFF"); });
    Status store;
    seq.send([&] { return store = hwDownload(config, IQData, Marker, "norm", 1, Filename); });
    // A lone line feed ends any command the instrument may still hold.
    Status lineFeed;
    seq.send([&] { return lineFeed = hwSend(config, "\n"); });
    if (wasOn && *wasOn == 1) seq.send([&] { return hwSend(config, ":SOUR:RAD:ARB:STATe ON"); });
    seq.send([&] { return hwSend(config, ":OUTPUT:MOD ON"); });
    Status out = seq.result(std::move(lineFeed));
    // The player may be back on and the modulation is: without the new
    // waveform stored, the RF output goes off.
    if (!seq.cancelled() && store.status != 0 && seq.reached())
        addSentence(out.response, switchRfOff(config, out.status));
    return out;
}

std::vector<std::string> tarnPlayCommands(std::string_view FileName,
                                          const SigGenSettings& setting) {
    std::vector<std::string> lines = commonHead(FileName, setting);
    lines.push_back(" :source:rad:arb:rfilter " + reconFilterText(setting.ReconFilter));
    appendCommonTail(lines, setting);
    return lines;
}

std::optional<std::vector<std::string>> tarnPlayCCommands(std::string_view FileName,
                                                          const SigGenSettings& setting) {
    if (!setting.BBfilter || !setting.Scaling || !setting.ModAtten || !setting.ALC)
        return std::nullopt;
    std::vector<std::string> lines = commonHead(FileName, setting);
    lines.push_back(" :source:dm:bbfilter " + bbFilterText(*setting.BBfilter));
    lines.push_back(" :source:rad:ARB:rscaling " + num2str(*setting.Scaling));
    lines.push_back(":source:DM:IQAT:AUTO off");
    lines.push_back(":source:DM:IQAT " + num2str(*setting.ModAtten));
    lines.push_back(std::string(" :pow:alc:state ") + (*setting.ALC == 0 ? "off" : "on"));
    appendCommonTail(lines, setting);
    lines.push_back(" :OUTPUT:MOD ON");
    return lines;
}

Status TARNPlay(std::string_view FileName, const SigGenSettings& setting, const IoConfig& config) {
    if (!safeWaveformName(FileName)) return refusedName(FileName);
    return sendPlayList(tarnPlayCommands(FileName, setting), config);
}

Status TARNPlay_c(std::string_view FileName, const SigGenSettings& setting,
                  const IoConfig& config) {
    if (!safeWaveformName(FileName)) return refusedName(FileName);
    auto lines = tarnPlayCCommands(FileName, setting);
    if (!lines)
        return {kPlayRefused,
                "The signal-generator settings lack one of BBfilter, Scaling, ModAtten and ALC, "
                "which a platform \"c\" instrument needs; nothing was sent to the instrument."};
    return sendPlayList(*lines, config);
}

}  // namespace onex
