// Stored preference values: kind tests, conversions and printing.
#include "platform/value.h"

#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace platform {

bool isNil(const Value &v) { return std::holds_alternative<std::monostate>(v); }

bool isNumber(const Value &v) {
    return std::holds_alternative<bool>(v) || std::holds_alternative<long long>(v) ||
           std::holds_alternative<double>(v);
}

bool isString(const Value &v) { return std::holds_alternative<std::string>(v); }

namespace {

// The decimal number at the start of the text (after blanks), 0 when there
// is none. Only plain decimal forms count: no hex, "inf" or "nan", and '.'
// is the decimal point whatever the locale.
double parseLeadingNumber(const std::string &s) {
    size_t i = 0, n = s.size();
    while (i < n && isspace((unsigned char)s[i])) i++;
    size_t start = i;
    if (i < n && (s[i] == '+' || s[i] == '-')) i++;
    size_t digits = 0;
    while (i < n && isdigit((unsigned char)s[i])) i++, digits++;
    if (i < n && s[i] == '.') {
        i++;
        while (i < n && isdigit((unsigned char)s[i])) i++, digits++;
    }
    if (digits == 0) return 0.0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-')) j++;
        if (j < n && isdigit((unsigned char)s[j])) {
            while (j < n && isdigit((unsigned char)s[j])) j++;
            i = j;
        }
    }
    std::string number = s.substr(start, i - start);
    if (number[0] == '+') number.erase(0, 1);
    double d = 0;
    std::from_chars(number.data(), number.data() + number.size(), d);
    return d;
}

// The shortest text that reads back as the same double ("0.5", "2", "1e+21").
std::string formatDouble(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

}  // namespace

double doubleValue(const Value &v) {
    if (auto b = std::get_if<bool>(&v)) return *b ? 1.0 : 0.0;
    if (auto i = std::get_if<long long>(&v)) return double(*i);
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto s = std::get_if<std::string>(&v)) return parseLeadingNumber(*s);
    return 0.0;
}

std::string stringValue(const Value &v) {
    if (auto b = std::get_if<bool>(&v)) return *b ? "1" : "0";
    if (auto i = std::get_if<long long>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) return formatDouble(*d);
    if (auto s = std::get_if<std::string>(&v)) return *s;
    return std::string();
}

const char *valueClassName(const Value &v) {
    if (isNumber(v)) return "NSNumber";
    if (isString(v)) return "NSString";
    return "nil";
}

std::string describe(const Value &v) {
    if (isNil(v)) return "(null)";
    return stringValue(v);
}

}  // namespace platform
