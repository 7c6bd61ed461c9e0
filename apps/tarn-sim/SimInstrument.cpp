#include "SimInstrument.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string_view>

#include "platform/Text.h"

namespace tarnsim {

// A mnemonic of a command pattern: the upper-case part is the short form,
// the whole word the long form; [] marks an optional node.
struct Node {
    std::string shortForm, longForm;
    bool optional = false;
};

namespace {

using onex::platform::toUpper;
using onex::platform::trimBlanks;

std::vector<Node> compile(std::string_view pattern) {
    std::vector<Node> nodes;
    std::size_t i = 0;
    while (i < pattern.size()) {
        Node n;
        if (pattern[i] == '[') {
            n.optional = true;
            ++i;
        }
        if (i < pattern.size() && pattern[i] == ':') ++i;
        std::size_t j = i;
        while (j < pattern.size() && pattern[j] != ':' && pattern[j] != '[' && pattern[j] != ']')
            ++j;
        std::string_view word = pattern.substr(i, j - i);
        for (char c : word)
            if (std::isupper(static_cast<unsigned char>(c)) ||
                std::isdigit(static_cast<unsigned char>(c)))
                n.shortForm += c;
        n.longForm = toUpper(word);
        if (j < pattern.size() && pattern[j] == ']') ++j;
        i = j;
        nodes.push_back(std::move(n));
    }
    return nodes;
}

bool matchFrom(const std::vector<Node>& p, std::size_t i, const std::vector<std::string>& in,
               std::size_t j) {
    if (i == p.size()) return j == in.size();
    if (p[i].optional && matchFrom(p, i + 1, in, j)) return true;
    return j < in.size() && (in[j] == p[i].shortForm || in[j] == p[i].longForm) &&
           matchFrom(p, i + 1, in, j + 1);
}

std::string formatNumber(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.12g", v);
    return buf;
}

enum class Unit { None, Frequency, Power };

// Number with an optional suffix; nothing when the text is not one.
std::optional<double> parseNumber(std::string_view text, Unit unit, bool& badSuffix) {
    badSuffix = false;
    std::string s(trimBlanks(text));
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(v)) return std::nullopt;
    std::string suffix = toUpper(trimBlanks(std::string_view(end)));
    if (suffix.empty()) return v;
    if (unit == Unit::Frequency) {
        // In a frequency context MHZ means megahertz, as instruments read it.
        if (suffix == "HZ") return v;
        if (suffix == "KHZ") return v * 1e3;
        if (suffix == "MHZ") return v * 1e6;
        if (suffix == "GHZ") return v * 1e9;
    }
    if (unit == Unit::Power && suffix == "DBM") return v;
    badSuffix = true;
    return std::nullopt;
}

std::optional<bool> parseBool(std::string_view text) {
    std::string s = toUpper(trimBlanks(text));
    if (s == "ON" || s == "1") return true;
    if (s == "OFF" || s == "0") return false;
    return std::nullopt;
}

// A quoted string at the start of text; rest receives what follows it.
std::optional<std::string> parseQuoted(std::string_view text, std::string_view& rest) {
    text = trimBlanks(text);
    if (text.empty() || (text.front() != '"' && text.front() != '\'')) return std::nullopt;
    char q = text.front();
    auto close = text.find(q, 1);
    if (close == std::string_view::npos) return std::nullopt;
    rest = text.substr(close + 1);
    return std::string(text.substr(1, close - 1));
}

bool safeFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of("/\\") == std::string::npos;
}

}  // namespace

// One program unit taken apart, and what running it gave.
struct SimInstrument::Request {
    std::vector<std::string> nodes;  // upper-case header nodes
    std::string common;              // "*IDN" etc. for common commands
    bool query = false;
    std::string args;  // parameter text, block cut out
    ProgramUnit* unit = nullptr;
    std::optional<std::string> reply;
    bool handled = false;
    std::function<void(int, const std::string&)> fail;  // queues an instrument error

    void missingOrIllegal() {
        fail(args.empty() ? -109 : -224,
             args.empty() ? "Missing parameter" : "Illegal parameter value");
    }

    // The three kinds of setting: the query answers the stored value, the
    // command stores a valid parameter or queues the SCPI error for it.
    void boolSetting(bool& field) {
        if (query) {
            reply = std::string(1, field ? '1' : '0');
        } else if (auto b = parseBool(args)) {
            field = *b;
        } else {
            missingOrIllegal();
        }
    }

    void numSetting(double& field, Unit unit, double lo, double hi) {
        if (query) {
            reply = formatNumber(field);
            return;
        }
        bool badSuffix = false;
        auto v = parseNumber(args, unit, badSuffix);
        if (!v) {
            if (args.empty())
                fail(-109, "Missing parameter");
            else if (badSuffix)
                fail(-131, "Invalid suffix");
            else
                fail(-104, "Data type error");
        } else if (*v < lo || *v > hi) {
            fail(-222, "Data out of range");
        } else {
            field = *v;
        }
    }

    // A choice among keywords (short or long form) or numbers with units.
    using Choice = std::pair<std::string, std::string>;  // accepted (pattern), stored
    void choiceSetting(std::string& field, std::initializer_list<Choice> choices,
                       std::initializer_list<std::pair<double, std::string>> numbers = {}) {
        if (query) {
            reply = field;
            return;
        }
        std::string a = toUpper(trimBlanks(args));
        for (const auto& [pattern, stored] : choices) {
            Node n = compile(pattern).front();
            if (a == n.shortForm || a == n.longForm) {
                field = stored;
                return;
            }
        }
        bool badSuffix = false;
        if (auto v = parseNumber(args, Unit::Frequency, badSuffix)) {
            for (const auto& [value, stored] : numbers) {
                if (std::abs(*v - value) < 1e-6 * value) {
                    field = stored;
                    return;
                }
            }
        }
        missingOrIllegal();
    }
};

// The SCPI commands of the subsystems, each a header pattern, the forms it
// takes and what it does (with mutex_ held). The first entry whose pattern
// and form fit runs.
struct Commands {
    enum class Form { Both, Query, Set };
    struct Entry {
        std::vector<Node> pattern;
        Form form;
        std::function<void(SimInstrument&, SimInstrument::Request&)> run;
    };
    using Sim = SimInstrument;
    using Req = SimInstrument::Request;

    static const std::vector<Entry>& table() {
        static const std::vector<Entry> entries = build();
        return entries;
    }

    static void setting(std::vector<Entry>& t, std::string_view pattern,
                        std::function<void(Sim&, Req&)> run) {
        t.push_back({compile(pattern), Form::Both, std::move(run)});
    }

    static std::vector<Entry> build() {
        std::vector<Entry> t;
        t.push_back({compile(":SYSTem:ERRor[:NEXT]"), Form::Query, [](Sim& sim, Req& c) {
                         if (sim.errors_.empty()) {
                             c.reply = "+0,\"No error\"";
                         } else {
                             auto [code, text] = sim.errors_.front();
                             sim.errors_.pop_front();
                             c.reply = std::to_string(code) + ",\"" + text + "\"";
                         }
                     }});
        t.push_back({compile(":SYSTem:COMMunicate:GTLocal"), Form::Set, [](Sim& sim, Req&) {
                         sim.s_.remote = false;
                         sim.log_.write("LOCAL command");
                     }});
        setting(t, "[:SOURce]:RADio:ARB[:STATe]", arbState);
        setting(t, "[:SOURce]:RADio:ARB:WAVeform", arbWaveform);
        setting(t, "[:SOURce]:RADio:ARB:CLOCk:SRATe", [](Sim& sim, Req& c) {
            c.numSetting(sim.s_.sampleRate, Unit::Frequency, 1, 200e6);
        });
        setting(t, "[:SOURce]:RADio:ARB:CLOCk:REFerence", [](Sim& sim, Req& c) {
            c.choiceSetting(sim.s_.clockRef, {{"INTernal", "INT"}, {"EXTernal", "EXT"}});
        });
        setting(t, "[:SOURce]:RADio:ARB:RFILter", [](Sim& sim, Req& c) {
            c.choiceSetting(sim.s_.reconFilter, {{"THRough", "THR"}},
                            {{250e3, "250000"}, {2.5e6, "2500000"}, {8e6, "8000000"}});
        });
        setting(t, "[:SOURce]:RADio:ARB:MARKer:RFBLank", [](Sim& sim, Req& c) {
            c.choiceSetting(sim.s_.rfBlank, {{"ON", "ON"},
                                             {"OFF", "OFF"},
                                             {"NONE", "NONE"},
                                             {"M1", "M1"},
                                             {"M2", "M2"},
                                             {"M3", "M3"},
                                             {"M4", "M4"}});
        });
        setting(t, "[:SOURce]:RADio:ARB:MARKer:POLarity", [](Sim& sim, Req& c) {
            c.choiceSetting(sim.s_.polarity, {{"POSitive", "POS"}, {"NEGative", "NEG"}});
        });
        setting(t, "[:SOURce]:RADio:ARB:RSCaling",
                [](Sim& sim, Req& c) { c.numSetting(sim.s_.runtimeScaling, Unit::None, 1, 100); });
        setting(t, "[:SOURce]:DM:BBFilter", [](Sim& sim, Req& c) {
            c.choiceSetting(sim.s_.bbFilter, {{"THRough", "THR"}},
                            {{2.1e6, "2100000"}, {40e6, "40000000"}});
        });
        setting(t, "[:SOURce]:DM:IQATtenuation:AUTO",
                [](Sim& sim, Req& c) { c.boolSetting(sim.s_.iqAttenuationAuto); });
        setting(t, "[:SOURce]:DM:IQATtenuation",
                [](Sim& sim, Req& c) { c.numSetting(sim.s_.iqAttenuation, Unit::None, 0, 40); });
        for (const char* frequency : {"[:SOURce]:FREQuency[:FIXed]", "[:SOURce]:FREQuency:CW"})
            setting(t, frequency, [](Sim& sim, Req& c) {
                c.numSetting(sim.s_.frequency, Unit::Frequency, 100e3, 6e9);
            });
        setting(t, "[:SOURce]:POWer:ALC[:STATe]",
                [](Sim& sim, Req& c) { c.boolSetting(sim.s_.alc); });
        setting(t, "[:SOURce]:POWer[:LEVel][:IMMediate][:AMPLitude]",
                [](Sim& sim, Req& c) { c.numSetting(sim.s_.power, Unit::Power, -136, 25); });
        setting(t, ":OUTPut:MODulation[:STATe]",
                [](Sim& sim, Req& c) { c.boolSetting(sim.s_.modOn); });
        setting(t, ":OUTPut[:STATe]", [](Sim& sim, Req& c) { c.boolSetting(sim.s_.rfOn); });
        t.push_back(
            {compile(":MMEMory:DATA"), Form::Set, [](Sim& sim, Req& c) { sim.storeBlock(c); }});
        return t;
    }

    static void arbState(Sim& sim, Req& c) {
        if (c.query && sim.opt_.arbStateReply) {
            c.reply = *sim.opt_.arbStateReply;
            return;
        }
        bool before = sim.s_.arbOn;
        c.boolSetting(sim.s_.arbOn);
        if (!c.query && sim.s_.arbOn && !before && sim.s_.waveform.empty()) {
            sim.s_.arbOn = false;
            c.fail(-221, "Settings conflict;no waveform selected");
        }
    }

    static void arbWaveform(Sim& sim, Req& c) {
        if (c.query) {
            c.reply = "\"WFM1:" + sim.s_.waveform + "\"";
            return;
        }
        std::string_view rest;
        auto q = parseQuoted(c.args, rest);
        if (!q || !trimBlanks(rest).empty()) {
            c.fail(-151, "Invalid string data");
            return;
        }
        std::string name = *q;
        std::string up = toUpper(name);
        for (std::string prefix : {"ARBI:", "WFM1:"})
            if (up.rfind(prefix, 0) == 0) name = name.substr(prefix.size());
        if (!sim.memory_.count(name)) {
            c.fail(-256, "File name not found;" + name);
            return;
        }
        sim.s_.waveform = name;
    }
};

void SimInstrument::pushError(int code, const std::string& text) {
    log_.write("ERROR " + std::to_string(code) + ",\"" + text + "\"");
    if (errors_.size() >= 30) {
        errors_.back() = {-350, "Queue overflow"};
        return;
    }
    errors_.emplace_back(code, text);
}

void SimInstrument::queueError(int code, const std::string& text) {
    std::lock_guard lock(mutex_);
    pushError(code, text);
}

void SimInstrument::goToLocal(const std::string& origin) {
    std::lock_guard lock(mutex_);
    s_.remote = false;
    log_.write("LOCAL " + origin);
}

std::string SimInstrument::playing() const {
    if (!s_.arbOn || !s_.rfOn || !s_.modOn || s_.waveform.empty()) return {};
    const auto stored = memory_.find(s_.waveform);
    return stored != memory_.end() && !stored->second.iq.empty() ? s_.waveform : std::string();
}

void SimInstrument::reset() {
    s_ = Settings{};
    esr_ = 0;
}

namespace {

// The header of a program unit: a common command ("*IDN") or the upper-case
// nodes of a subsystem path; a trailing '?' makes it a query.
void parseHeader(std::string header, SimInstrument::Request& c) {
    if (!header.empty() && header.back() == '?') {
        c.query = true;
        header.pop_back();
    }
    if (!header.empty() && header.front() == '*') {
        c.common = toUpper(header);
        return;
    }
    std::string_view h = header;
    if (!h.empty() && h.front() == ':') h.remove_prefix(1);
    std::size_t start = 0;
    while (start <= h.size()) {
        std::size_t colon = h.find(':', start);
        if (colon == std::string_view::npos) colon = h.size();
        c.nodes.push_back(toUpper(h.substr(start, colon - start)));
        start = colon + 1;
    }
}

}  // namespace

void SimInstrument::execute(ProgramUnit& unit, std::vector<std::string>& replies,
                            const std::string& origin) {
    std::string logged = unit.text;
    if (unit.hasBlock)
        logged.insert(unit.blockPos, "#<" + std::to_string(unit.block.size()) + " bytes>");
    if (hungUp_) {
        log_.write("IGNORED " + origin + " " + std::string(trimBlanks(logged)));
        return;
    }
    log_.write("CMD " + origin + " " + std::string(trimBlanks(logged)));

    Request c;
    c.unit = &unit;
    c.fail = [this](int code, const std::string& text) { pushError(code, text); };
    std::string_view text = trimBlanks(unit.text);
    std::size_t sp = text.find_first_of(" \t");
    c.args = sp == std::string_view::npos ? "" : std::string(trimBlanks(text.substr(sp)));
    parseHeader(std::string(text.substr(0, sp)), c);
    std::optional<PlayStart> started;
    {
        std::lock_guard lock(mutex_);
        s_.remote = true;
        const std::string before = playing();
        dispatch(c);
        const std::string now = playing();
        if (opt_.onPlay && !now.empty() && now != before)
            started = PlayStart{now, memory_.at(now).iq, s_.sampleRate, s_.frequency};
    }
    if (started) opt_.onPlay(*started);
    if (!c.handled) {
        queueError(-113, "Undefined header");
        return;
    }
    if (c.reply && !opt_.noReply) replies.push_back(*c.reply);
    if (opt_.hangUpAfter && c.query &&
        toUpper(trimBlanks(unit.text)) == toUpper(*opt_.hangUpAfter)) {
        hungUp_ = true;
        log_.write("HANG-UP after " + std::string(trimBlanks(unit.text)));
    }
}

// The common commands (IEEE 488.2). Called with mutex_ held.
bool SimInstrument::runCommon(Request& c) {
    const std::string& k = c.common;
    if (k == "*IDN" && c.query)
        c.reply = opt_.idn;
    else if (k == "*OPC" && c.query)
        c.reply = "1";
    else if (k == "*OPC" && !c.query)
        esr_ |= 1;
    else if (k == "*ESR" && c.query) {
        c.reply = std::to_string(esr_);
        esr_ = 0;
    } else if (k == "*RST" && !c.query)
        reset();
    else if (k == "*CLS" && !c.query) {
        errors_.clear();
        esr_ = 0;
    } else if (k == "*WAI" && !c.query) {
    } else if (k == "*TST" && c.query)
        c.reply = "0";
    else
        return false;
    return true;
}

// Called with mutex_ held.
void SimInstrument::dispatch(Request& c) {
    if (!c.common.empty()) {
        c.handled = runCommon(c);
        return;
    }
    using Form = Commands::Form;
    for (const Commands::Entry& e : Commands::table()) {
        if ((e.form == Form::Query && !c.query) || (e.form == Form::Set && c.query)) continue;
        if (!matchFrom(e.pattern, 0, c.nodes, 0)) continue;
        c.handled = true;
        e.run(*this, c);
        return;
    }
}

namespace {

// The target of :MMEMory:DATA "WFM1:NAME",<block> or "MKR1:NAME",<block>:
// the name and whether the block is a waveform; nothing (after queueing the
// error) for a malformed unit or target.
std::optional<std::pair<std::string, bool>> blockTarget(
    const ProgramUnit& u, const std::function<void(int, const std::string&)>& err) {
    std::string_view before(u.text);
    before = before.substr(0, u.hasBlock ? u.blockPos : before.size());
    std::size_t sp = trimBlanks(before).find_first_of(" \t");
    std::string_view params = sp == std::string_view::npos ? "" : trimBlanks(before).substr(sp);
    std::string_view rest;
    auto target = parseQuoted(params, rest);
    if (!target) {
        err(-151, "Invalid string data");
        return std::nullopt;
    }
    if (!u.hasBlock || trimBlanks(rest) != ",") {
        err(-161, "Invalid block data");
        return std::nullopt;
    }
    if (!trimBlanks(std::string_view(u.text).substr(u.blockPos)).empty()) {
        err(-103, "Invalid separator");
        return std::nullopt;
    }
    std::string up = toUpper(*target);
    bool isWave = up.rfind("WFM1:", 0) == 0;
    bool isMarkers = up.rfind("MKR1:", 0) == 0;
    std::string name = target->substr(std::min<std::size_t>(5, target->size()));
    if ((!isWave && !isMarkers) || !safeFileName(name)) {
        err(-257, "File name error;" + *target);
        return std::nullopt;
    }
    return std::pair{name, isWave};
}

}  // namespace

// Whether the block may be stored under `name`: whole I/Q pairs for a
// waveform, one byte per sample of the stored waveform for markers, and
// room in the memory. Called with mutex_ held.
bool SimInstrument::blockFits(const std::string& name, bool isWave, std::size_t bytes,
                              const std::function<void(int, const std::string&)>& err) const {
    if (isWave && (bytes == 0 || bytes % 4 != 0)) {
        err(-224, "Illegal parameter value;waveform data must be whole I/Q pairs");
        return false;
    }
    if (!isWave) {
        auto wave = memory_.find(name);
        if (wave == memory_.end() || wave->second.iq.empty()) {
            err(-256, "File name not found;" + name);
            return false;
        }
        if (bytes != wave->second.iq.size() / 4) {
            err(-224, "Illegal parameter value;marker length " + std::to_string(bytes) +
                          " differs from waveform length " +
                          std::to_string(wave->second.iq.size() / 4));
            return false;
        }
    }
    std::size_t used = 0;
    for (const auto& [n, w] : memory_)
        if (n != name) used += w.iq.size() + w.markers.size();
    auto it = memory_.find(name);
    std::size_t mine = it == memory_.end() ? 0
                       : isWave            ? it->second.markers.size()
                                           : it->second.iq.size();
    if (used + mine + bytes > opt_.memoryBytes) {
        err(-225, "Out of memory;waveform memory full");
        return false;
    }
    return true;
}

// :MMEMory:DATA "WFM1:NAME",<block> or "MKR1:NAME",<block>. Called with mutex_ held.
void SimInstrument::storeBlock(Request& c) {
    ProgramUnit& u = *c.unit;
    const auto target = blockTarget(u, c.fail);
    if (!target) return;
    const auto& [name, isWave] = *target;
    if (opt_.rejectDownloads) {
        c.fail(-250, "Mass storage error;waveform memory full");
        return;
    }
    if (!blockFits(name, isWave, u.block.size(), c.fail)) return;
    StoredWaveform& w = memory_[name];
    if (isWave && w.markers.size() * 4 != u.block.size() && !w.markers.empty()) {
        // The old markers do not fit the new waveform.
        w.markers.clear();
        log_.write("DROP MKR1 " + name + " (waveform length changed)");
        if (opt_.storeDir) {
            std::error_code ignore;
            std::filesystem::remove(*opt_.storeDir / (name + ".markers"), ignore);
        }
    }
    (isWave ? w.iq : w.markers) = std::move(u.block);
    const std::vector<uint8_t>& data = isWave ? w.iq : w.markers;
    log_.write(std::string("STORE ") + (isWave ? "WFM1 " : "MKR1 ") + name + " " +
               std::to_string(data.size()) + " bytes");
    if (opt_.storeDir) {
        auto path = *opt_.storeDir / (name + (isWave ? ".iq" : ".markers"));
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
        if (!f) c.fail(-250, "Mass storage error;cannot write " + path.string());
    }
}

}  // namespace tarnsim
