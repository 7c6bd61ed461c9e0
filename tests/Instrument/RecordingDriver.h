#pragma once

// A stand-in for the instrument driver that records every operation with
// copies of its arguments and answers from a small table, for checking exact
// command sequences without an instrument.

#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "MexIO/HwIO.h"

namespace onex::testdriver {

// A LAN configuration for an instrument nobody answers at (the recording
// driver stands in for it).
inline IoConfig lan() {
    IoConfig c;
    c.type = "TCPIP";
    c.TCPIP->address = "192.0.2.1";
    return c;
}

struct Op {
    int32_t code = 0;
    std::string text;   // command, query or file name; "" for the others
    double number = 0;  // time-out value
    std::vector<std::complex<double>> data;
    std::vector<double> marker1, marker2;
    std::vector<std::string> extraTexts;  // a download's "norm"
    double extraNumber = 0;               // a download's 1
};

class RecordingDriver {
  public:
    // Decides the status and response of each operation; the default
    // succeeds, answering "0" to the ARB and RF output state queries, an
    // identity to *IDN?,
    // and an instrument that is done and has no error to *OPC? and
    // :SYSTem:ERRor?.
    std::function<Status(const Op&)> reply = [](const Op& op) -> Status {
        if (op.code == kHwQuery && op.text == ":SOUR:RAD:ARB:STATe?") return {0, "0"};
        if (op.code == kHwQuery && op.text == ":OUTPut:STATe?") return {0, "0"};
        if (op.code == kHwQuery && op.text == "*IDN?")
            return {0, "Tarn Instruments,TARN-SIM,US12345678,1.0.0"};
        if (op.code == kHwQuery && op.text == "*OPC?") return {0, "1"};
        if (op.code == kHwQuery && op.text == ":SYSTem:ERRor?") return {0, "+0,\"No error\""};
        return {0, ""};
    };
    std::vector<Op> ops;

    RecordingDriver() {
        previous_ =
            setHwIODriver([this](int32_t code, const DriverConfig&, std::span<const HwArg> args) {
                Op op;
                op.code = code;
                if (code == kHwDownload && args.size() == 5) {
                    auto d = std::get<std::span<const std::complex<double>>>(args[0]);
                    auto m = std::get<MarkerRows>(args[1]);
                    op.data.assign(d.begin(), d.end());
                    op.marker1.assign(m.marker1.begin(), m.marker1.end());
                    op.marker2.assign(m.marker2.begin(), m.marker2.end());
                    op.extraTexts.emplace_back(std::get<std::string_view>(args[2]));
                    op.extraNumber = std::get<double>(args[3]);
                    op.text = std::string(std::get<std::string_view>(args[4]));
                } else if (!args.empty()) {
                    if (auto* t = std::get_if<std::string_view>(&args[0]))
                        op.text = std::string(*t);
                    if (auto* v = std::get_if<double>(&args[0])) op.number = *v;
                }
                ops.push_back(op);
                return reply(ops.back());
            });
    }
    ~RecordingDriver() { setHwIODriver(previous_); }
    RecordingDriver(const RecordingDriver&) = delete;
    RecordingDriver& operator=(const RecordingDriver&) = delete;

    // The operations as short texts: "send <line>", "query <line>",
    // "download <name>", "timeout <ms>", "local", "ping".
    std::vector<std::string> trace() const {
        std::vector<std::string> out;
        for (const Op& op : ops) {
            switch (op.code) {
                case kHwSend:
                    out.push_back("send " + op.text);
                    break;
                case kHwQuery:
                    out.push_back("query " + op.text);
                    break;
                case kHwDownload:
                    out.push_back("download " + op.text);
                    break;
                case kHwSetTimeout:
                    out.push_back("timeout " + std::to_string(static_cast<long long>(op.number)));
                    break;
                case kHwReturnLocal:
                    out.push_back("local");
                    break;
                case kHwPing:
                    out.push_back("ping");
                    break;
                default:
                    out.push_back("op " + std::to_string(op.code));
            }
        }
        return out;
    }

  private:
    HwIODriver previous_;
};

}  // namespace onex::testdriver
