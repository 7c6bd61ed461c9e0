#include "UI/platform/Expression.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>

#include "platform/Error.h"

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
        const std::string number(t_.substr(pos_, end - pos_));
        char* stop = nullptr;
        const double v = std::strtod(number.c_str(), &stop);
        if (stop != number.c_str() + number.size()) return fail();
        pos_ = end;
        return v;
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
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    if (text.empty()) throw Error("A hexadecimal number is needed.");
    double value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            throw Error("Input string found with characters other than 0-9, a-f, or A-F.");
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace onex::ui::platform
