// Typed preference values.
#pragma once

#include "platform/export.h"

#include <map>
#include <string>
#include <variant>

namespace platform {

// A stored preference: boolean, integer, double or string (monostate = none).
using Value = std::variant<std::monostate, bool, long long, double, std::string>;
using ValueMap = std::map<std::string, Value>;

SOMNEL_EXPORT bool isNil(const Value &v);
SOMNEL_EXPORT bool isNumber(const Value &v);  // bool, integer or double
SOMNEL_EXPORT bool isString(const Value &v);
// The number a value stands for; strings are read like strtod (0 when the
// text does not start with a number).
SOMNEL_EXPORT double doubleValue(const Value &v);
// The text of a value: numbers printed plainly ("1", "0.5"), booleans as "1"/"0".
SOMNEL_EXPORT std::string stringValue(const Value &v);
// A short name of the value's kind, for messages ("NSNumber", "NSString").
SOMNEL_EXPORT const char *valueClassName(const Value &v);
// The value in the form used by log messages.
SOMNEL_EXPORT std::string describe(const Value &v);

}  // namespace platform
