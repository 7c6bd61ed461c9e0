#include "UI/platform/Expression.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <cctype>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "UI/platform/Controls.h"
#include "UI/platform/Handles.h"
#include "platform/Error.h"
#include "platform/Numeric.h"

namespace onex::ui::platform {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Recursive descent over
//   expr   = term { (+|-) term }
//   term   = unary { (*|/) unary }
//   unary  = (+|-) unary | power
//   power  = atom [ ^ unary ]
//   atom   = number | Inf | NaN | pi | ( expr )
// A syntax error makes the whole text NaN.
class Parser {
  public:
    explicit Parser(std::string_view t) : t_(t) {}

    double parse() {
        const double v = expr();
        skip();
        return ok_ && pos_ == t_.size() ? v : kNaN;
    }

  private:
    void skip() {
        while (pos_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[pos_])))
            ++pos_;
    }
    bool eat(char c) {
        skip();
        if (pos_ < t_.size() && t_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    double fail() {
        ok_ = false;
        return kNaN;
    }

    double expr() {
        double v = term();
        while (ok_) {
            if (eat('+'))
                v += term();
            else if (eat('-'))
                v -= term();
            else
                break;
        }
        return v;
    }
    double term() {
        double v = unary();
        while (ok_) {
            if (eat('*'))
                v *= unary();
            else if (eat('/'))
                v /= unary();
            else
                break;
        }
        return v;
    }
    double unary() {
        if (eat('-')) return -unary();
        if (eat('+')) return unary();
        return power();
    }
    double power() {
        const double base = atom();
        if (ok_ && eat('^')) return std::pow(base, unary());
        return base;
    }
    double atom() {
        skip();
        if (pos_ >= t_.size()) return fail();
        if (eat('(')) {
            const double v = expr();
            if (!eat(')')) return fail();
            return v;
        }
        const char c = t_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c))) {
            std::size_t end = pos_;
            while (end < t_.size() && std::isalnum(static_cast<unsigned char>(t_[end])))
                ++end;
            const std::string word(t_.substr(pos_, end - pos_));
            pos_ = end;
            if (word == "Inf" || word == "inf") return std::numeric_limits<double>::infinity();
            if (word == "NaN" || word == "nan") return kNaN;
            if (word == "pi") return std::numbers::pi;
            return fail();
        }
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return fail();
        // The number's own characters only: strtod would also take "inf",
        // hexadecimal and a sign, which the grammar handles itself.
        std::size_t end = pos_;
        while (end < t_.size() &&
               (std::isdigit(static_cast<unsigned char>(t_[end])) || t_[end] == '.'))
            ++end;
        if (end < t_.size() && (t_[end] == 'e' || t_[end] == 'E')) {
            std::size_t exp = end + 1;
            if (exp < t_.size() && (t_[exp] == '+' || t_[exp] == '-')) ++exp;
            if (exp < t_.size() && std::isdigit(static_cast<unsigned char>(t_[exp]))) {
                end = exp;
                while (end < t_.size() && std::isdigit(static_cast<unsigned char>(t_[end])))
                    ++end;
            }
        }
        // Read as the command line reads a number: one that overflows
        // (1e999) is none.
        const auto v = onex::platform::parseDecimal(t_.substr(pos_, end - pos_));
        if (!v) return fail();
        pos_ = end;
        return *v;
    }

    std::string_view t_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace

double str2num(std::string_view text) {
    return Parser(text).parse();
}

double hex2dec(std::string_view text) {
    if (const auto v = readHex(text)) return *v;
    bool blank = true;
    for (char c : text)
        blank = blank && std::isspace(static_cast<unsigned char>(c));
    if (blank) throw Error("A hexadecimal number is needed.");
    throw Error("Input string found with characters other than 0-9, a-f, or A-F.");
}

std::optional<double> readNumber(std::string_view text) {
    return onex::platform::finiteNumber(str2num(text));
}

std::optional<double> readHex(std::string_view text) {
    if (const auto v = onex::platform::parseHex(text, true))
        return onex::platform::finiteNumber(*v);
    return std::nullopt;
}

Error unreadableEntry(std::string_view what, std::string_view text, std::string_view expected,
                      std::string_view kept) {
    return Error(std::string(what) + ": \"" + std::string(text) + "\" is not " +
                 std::string(expected) + "; it stays " + std::string(kept) + ".");
}

KeptEntry keepEntry(double number, const EntryRule& rule, std::string_view what,
                    const std::function<std::string(double)>& show,
                    const std::optional<std::string>& entered) {
    const double whole = rule.whole ? onex::platform::roundHalfAway(number) : number;
    const double kept = onex::platform::clampValue(whole, rule.lo, rule.hi);
    KeptEntry out{kept, {}};
    if (kept == number) return out;
    const std::string as = entered.value_or(show(number));
    out.note = kept != whole ? entryNote(what, as, show(kept))
                             : entryNote(what, as, show(kept), rule.whole);
    return out;
}

std::string entryNote(std::string_view what, std::string_view entered, std::string_view kept,
                      std::string_view how) {
    std::string note = std::string(what) + " " + std::string(entered);
    if (how.empty()) return note + " is clamped to " + std::string(kept);
    return note + " is set as " + std::string(kept) + " (" + std::string(how) + ")";
}

void showEntryNote(const QObject& field, const std::string& note) {
    if (note.empty()) return;
    if (QWidget* window = windowOf(&field)) showNoteStatus(*window, note);
}

namespace {

void acceptOnly(QLineEdit& field, const char* pattern) {
    // Every text of these characters matches as a whole, so the validator
    // never holds a text back as unfinished (which would keep Enter from
    // committing it).
    auto* validator =
        new QRegularExpressionValidator(QRegularExpression(QString::fromLatin1(pattern)), &field);
    field.setValidator(validator);
}

}  // namespace

void acceptNumbersOnly(QLineEdit& field) {
    acceptOnly(field, R"([0-9eE.+\-*/^() ]*)");
}

void acceptHexOnly(QLineEdit& field) {
    acceptOnly(field, R"( *(0[xX])?[0-9A-Fa-f]* *)");
}

}  // namespace onex::ui::platform
