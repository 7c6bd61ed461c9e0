#pragma once

// Splits the byte stream an instrument receives into SCPI program message
// units: header, parameter text and at most one IEEE 488.2 block. A line
// feed (or the VXI-11 END flag) ends a message; ';' separates units.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnsim {

struct ProgramUnit {
    std::string text;            // header and parameters; the block is cut out
    std::vector<uint8_t> block;  // bytes of the block, when hasBlock
    bool hasBlock = false;
    std::size_t blockPos = 0;  // where the block stood in text
};

class ParserSink {
  public:
    virtual ~ParserSink() = default;
    virtual void unit(ProgramUnit& unit) = 0;
    // A framing error; the rest of the message is discarded.
    virtual void parseError(int code, const std::string& text) = 0;
    // End of a program message: replies collected so far go out now.
    virtual void messageEnd() = 0;
};

class ScpiParser {
  public:
    explicit ScpiParser(std::size_t maxBlockBytes = 256u << 20) : maxBlock_(maxBlockBytes) {}
    void feed(const uint8_t* data, std::size_t n, ParserSink& sink);
    // END of a VXI-11 message: ends the message like a line feed would.
    void end(ParserSink& sink);
    // True while inside a block.
    bool inBlock() const { return state_ == State::BlockData || state_ == State::SkipBlock; }

  private:
    enum class State {
        Text,
        Quote,
        BlockDigitCount,
        BlockLength,
        BlockData,
        SkipBlock,
        Indefinite,
        SkipLine
    };
    void finishUnit(ParserSink& sink);
    void finishMessage(ParserSink& sink);
    void fail(ParserSink& sink, int code, const std::string& text, bool insideBlock);
    // Drops the message at its line feed; with code, reports that error first.
    void dropMessage(ParserSink& sink, int code = 0, const std::string& text = {});
    // Takes (or skips) block bytes from [p, end); returns where it stopped.
    const uint8_t* blockBytes(const uint8_t* p, const uint8_t* end);
    // One byte outside a block's data, by state.
    void text(char c, ParserSink& sink);
    void quoted(char c, ParserSink& sink);
    void blockDigitCount(char c, ParserSink& sink);
    void blockLength(char c, ParserSink& sink);
    void indefinite(char c, ParserSink& sink);

    std::size_t maxBlock_;
    State state_ = State::Text;
    ProgramUnit cur_;
    int digitsLeft_ = 0;
    std::size_t blockLeft_ = 0;
    char quoteChar_ = '"';
};

}  // namespace tarnsim
