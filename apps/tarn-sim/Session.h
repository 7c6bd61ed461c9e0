#pragma once

// Glue between a connection's parser and the instrument: replies of one
// program message are joined with ';' and end with a line feed.

#include <string>
#include <vector>

#include "ScpiParser.h"
#include "SimInstrument.h"

namespace tarnsim {

class ReplySink : public ParserSink {
  public:
    ReplySink(SimInstrument& inst, std::string origin, std::string& out)
        : inst_(inst), origin_(std::move(origin)), out_(out) {}
    void unit(ProgramUnit& u) override { inst_.execute(u, replies_, origin_); }
    void parseError(int code, const std::string& text) override { inst_.queueError(code, text); }
    void messageEnd() override {
        if (replies_.empty()) return;
        for (std::size_t i = 0; i < replies_.size(); ++i) {
            if (i) out_ += ';';
            out_ += replies_[i];
        }
        out_ += '\n';
        replies_.clear();
    }

  private:
    SimInstrument& inst_;
    std::string origin_;
    std::string& out_;
    std::vector<std::string> replies_;
};

}  // namespace tarnsim
