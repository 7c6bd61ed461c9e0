#pragma once

// The simulated ARB signal generator: settings, error queue and waveform
// memory, and the SCPI commands that act on them. Shared by every
// connection (LAN, VXI-11, pseudo-terminal), so every call is serialised.

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Log.h"
#include "RfEmulator.h"
#include "ScpiParser.h"

namespace tarnsim {

struct SimOptions {
    std::string idn = "Tarn Instruments,TARN-SIM,US00000001,1.0.0";
    std::optional<std::filesystem::path> storeDir;
    bool noReply = false;
    std::optional<std::string> arbStateReply;
    bool rejectDownloads = false;
    // Fault: after answering this query (compared without regard to case),
    // the instrument takes nothing more on any connection.
    std::optional<std::string> hangUpAfter;
    std::size_t memoryBytes = std::size_t{1} << 30;
    // Called, outside the instrument's lock and before the command that did
    // it is answered, each time a stored waveform starts playing: ARB on, RF
    // output on and modulation on with a waveform selected, or another
    // waveform selected while they are.
    std::function<void(const PlayStart&)> onPlay;
};

struct Settings {
    bool arbOn = false;
    bool rfOn = false;
    bool modOn = true;
    bool remote = false;
    double frequency = 1e9;
    double power = -20;
    double sampleRate = 100e6;
    std::string reconFilter = "THR";
    std::string bbFilter = "THR";
    std::string rfBlank = "NONE";
    std::string polarity = "POS";
    std::string clockRef = "INT";
    std::string waveform;  // selected ARB waveform name, empty = none
    double runtimeScaling = 70;
    double iqAttenuation = 2;
    bool iqAttenuationAuto = true;
    bool alc = true;
};

struct StoredWaveform {
    std::vector<uint8_t> iq;  // the block as received: big-endian I,Q pairs
    std::vector<uint8_t> markers;
};

class SimInstrument {
  public:
    SimInstrument(SimOptions options, Log& log) : opt_(std::move(options)), log_(log) {}

    // Runs one program unit; a query's answer is appended to replies.
    void execute(ProgramUnit& unit, std::vector<std::string>& replies, const std::string& origin);
    void queueError(int code, const std::string& text);
    void goToLocal(const std::string& origin);
    // True once the hang-up fault has struck.
    bool hungUp() const { return hungUp_; }

    struct Request;  // one program unit taken apart

  private:
    friend struct Commands;
    void dispatch(Request& c);
    bool runCommon(Request& c);
    void storeBlock(Request& c);
    bool blockFits(const std::string& name, bool isWave, std::size_t bytes,
                   const std::function<void(int, const std::string&)>& err) const;
    // Queues an instrument error; the caller holds mutex_.
    void pushError(int code, const std::string& text);
    void reset();
    // The waveform being played, or empty. Called with mutex_ held.
    std::string playing() const;

    std::mutex mutex_;
    SimOptions opt_;
    Log& log_;
    Settings s_;
    std::deque<std::pair<int, std::string>> errors_;
    int esr_ = 0;
    std::map<std::string, StoredWaveform> memory_;
    std::atomic<bool> hungUp_{false};
};

}  // namespace tarnsim
