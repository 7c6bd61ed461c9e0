#include "ScpiParser.h"

#include <algorithm>

namespace tarnsim {

namespace {
constexpr std::size_t kMaxTextBytes = 1 << 16;
bool blankOnly(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}
}  // namespace

void ScpiParser::finishUnit(ParserSink& sink) {
    if (!blankOnly(cur_.text) || cur_.hasBlock) sink.unit(cur_);
    cur_ = ProgramUnit{};
}

void ScpiParser::finishMessage(ParserSink& sink) {
    finishUnit(sink);
    sink.messageEnd();
}

void ScpiParser::fail(ParserSink& sink, int code, const std::string& text, bool insideBlock) {
    sink.parseError(code, text);
    cur_ = ProgramUnit{};
    state_ = insideBlock ? State::SkipBlock : State::SkipLine;
}

void ScpiParser::dropMessage(ParserSink& sink, int code, const std::string& text) {
    if (code) sink.parseError(code, text);
    cur_ = ProgramUnit{};
    state_ = State::Text;
    sink.messageEnd();
}

const uint8_t* ScpiParser::blockBytes(const uint8_t* p, const uint8_t* end) {
    const std::size_t k = std::min<std::size_t>(blockLeft_, end - p);
    if (state_ == State::BlockData) cur_.block.insert(cur_.block.end(), p, p + k);
    blockLeft_ -= k;
    if (blockLeft_ == 0) state_ = state_ == State::BlockData ? State::Text : State::SkipLine;
    return p + k;
}

void ScpiParser::text(char c, ParserSink& sink) {
    if (c == '\n') {
        finishMessage(sink);
    } else if (c == ';') {
        finishUnit(sink);
    } else if (c == '"' || c == '\'') {
        quoteChar_ = c;
        cur_.text += c;
        state_ = State::Quote;
    } else if (c == '#' && !blankOnly(cur_.text)) {
        if (cur_.hasBlock) {
            fail(sink, -161, "Invalid block data;more than one block", false);
            return;
        }
        cur_.hasBlock = true;
        cur_.blockPos = cur_.text.size();
        state_ = State::BlockDigitCount;
    } else {
        cur_.text += c;
        if (cur_.text.size() > kMaxTextBytes) fail(sink, -112, "Program mnemonic too long", false);
    }
}

void ScpiParser::quoted(char c, ParserSink& sink) {
    cur_.text += c;
    if (c == quoteChar_) state_ = State::Text;
    if (c == '\n') dropMessage(sink, -150, "String data error;unterminated string");
}

void ScpiParser::blockDigitCount(char c, ParserSink& sink) {
    if (c == '0') {
        state_ = State::Indefinite;
    } else if (c >= '1' && c <= '9') {
        digitsLeft_ = c - '0';
        blockLeft_ = 0;
        state_ = State::BlockLength;
    } else if (c == '\n') {
        dropMessage(sink, -161, "Invalid block data;bad block header");
    } else {
        fail(sink, -161, "Invalid block data;bad block header", false);
    }
}

void ScpiParser::blockLength(char c, ParserSink& sink) {
    if (c < '0' || c > '9') {
        if (c == '\n')
            dropMessage(sink, -161, "Invalid block data;bad block length");
        else
            fail(sink, -161, "Invalid block data;bad block length", false);
        return;
    }
    blockLeft_ = blockLeft_ * 10 + static_cast<std::size_t>(c - '0');
    if (--digitsLeft_ != 0) return;
    if (blockLeft_ > maxBlock_) {
        fail(sink, -225, "Out of memory;block of " + std::to_string(blockLeft_) + " bytes", true);
        if (blockLeft_ == 0) state_ = State::SkipLine;
    } else {
        cur_.block.reserve(blockLeft_);
        state_ = blockLeft_ ? State::BlockData : State::Text;
    }
}

void ScpiParser::indefinite(char c, ParserSink& sink) {
    // #0 block: everything up to the line feed that ends the message.
    if (c == '\n') {
        finishMessage(sink);
        state_ = State::Text;
        return;
    }
    cur_.block.push_back(static_cast<uint8_t>(c));
    if (cur_.block.size() > maxBlock_)
        fail(sink, -225, "Out of memory;indefinite block too long", false);
}

void ScpiParser::feed(const uint8_t* p, std::size_t n, ParserSink& sink) {
    const uint8_t* end = p + n;
    while (p < end) {
        if (inBlock()) {
            p = blockBytes(p, end);
            continue;
        }
        const char c = static_cast<char>(*p++);
        switch (state_) {
            case State::Text:
                text(c, sink);
                break;
            case State::Quote:
                quoted(c, sink);
                break;
            case State::BlockDigitCount:
                blockDigitCount(c, sink);
                break;
            case State::BlockLength:
                blockLength(c, sink);
                break;
            case State::Indefinite:
                indefinite(c, sink);
                break;
            case State::SkipLine:
                if (c == '\n') dropMessage(sink);
                break;
            default:
                break;
        }
    }
}

void ScpiParser::end(ParserSink& sink) {
    switch (state_) {
        case State::Text:
        case State::Indefinite:
            state_ = State::Text;
            finishMessage(sink);
            return;
        case State::BlockData:
        case State::BlockDigitCount:
        case State::BlockLength:
            // A message that ends inside a block lost part of the block.
            sink.parseError(-161, "Invalid block data;message ended inside a block");
            break;
        case State::Quote:
            sink.parseError(-150, "String data error;unterminated string");
            break;
        case State::SkipBlock:
        case State::SkipLine:
            break;
    }
    blockLeft_ = 0;
    dropMessage(sink);
}

}  // namespace tarnsim
