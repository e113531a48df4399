// The preference reader: built-in defaults text, the saver's stored
// preferences, and typed queries by resource name.
#include "framework/prefs_reader.h"
#include "platform/log.h"
#include "platform/value.h"
#include "platform/preferences.h"
#include "somnel/xshim_types.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <pwd.h>
#include <strings.h>
#include <unistd.h>

namespace {

bool isOneOf(const char *name, std::initializer_list<const char *> names) {
    for (const char *n : names)
        if (!strcmp(name, n)) return true;
    return false;
}

// Switches the host and the text/image helpers offer that need no default.
bool quietWithoutDefault(const char *name) {
    return isOneOf(name, {"font", "textLiteral", "textFile", "textURL", "textProgram", "imageDirectory"});
}

bool quietMissingString(const char *name) {
    return isOneOf(name, {"eraseMode", "right3d", "left3d", "both3d", "none3d", "font", "labelFont",
                          "titleFont", "fpsFont", "foreground", "background", "textLiteral"});
}

bool quietMissingFloat(const char *name) {
    return isOneOf(name, {"cycles", "size", "use3d", "delta3d", "wireframe", "showFPS", "fpsSolid",
                          "fpsTop", "mono", "count", "ncolors", "doFPS", "eraseSeconds"});
}

// Types one value of the defaults text: boolean words, then a decimal
// integer, then a floating-point number, else the text itself.
platform::Value typedValue(const std::string &text) {
    const char *s = text.c_str();
    if (!strcasecmp(s, "true") || !strcasecmp(s, "yes")) return true;
    if (!strcasecmp(s, "false") || !strcasecmp(s, "no")) return false;
    int i;
    char c;
    if (sscanf(s, " %d %c", &i, &c) == 1) {
        // NOTE: scanf's %d wraps silently on overflow; a number outside int's
        // range is kept exactly by reading it as a double below instead.
        errno = 0;
        long long ll = strtoll(s, nullptr, 10);
        if (errno == 0 && ll >= INT_MIN && ll <= INT_MAX) return (long long)i;
    }
    double d;
    if (sscanf(s, " %lf %c", &d, &c) == 1) return d;
    return text;
}

// Whether a query for name would find a default: the whole name, or a tail
// after one of its dots, as getObjectResource looks it up (".drizzle.dps"
// has its default under "dps").
bool hasDefault(const platform::ValueMap &dict, const char *name) {
    for (const char *p = name; *p;) {
        if (dict.count(p)) return true;
        const char *dot = strchr(p, '.');
        if (!dot) break;
        p = dot + 1;
    }
    return false;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// "~/x" or "~user/x" as an absolute path; unchanged when the user is unknown.
std::string expandTilde(const std::string &path) {
    size_t slash = path.find('/');
    std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    std::string rest = slash == std::string::npos ? std::string() : path.substr(slash);
    std::string home;
    if (user.empty()) {
        const char *h = getenv("HOME");
        if (h && *h) {
            home = h;
        } else if (struct passwd *pw = getpwuid(getuid())) {
            home = pw->pw_dir ? pw->pw_dir : "";
        }
    } else if (struct passwd *pw = getpwnam(user.c_str())) {
        home = pw->pw_dir ? pw->pw_dir : "";
    }
    if (home.empty()) return path;
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (home == "/" && !rest.empty()) return rest;
    return home + rest;
}

}  // namespace

PrefsReader::PrefsReader(const std::string &name, const XrmOptionDescRec *opts,
                         const char *const *defaults) {
    userDefaults_ = platform::ScreenSaverDefaults::defaultsForModuleWithName(name);
    size_t dot = name.rfind('.');
    std::string tail = dot == std::string::npos ? name : name.substr(dot + 1);
    for (char c : tail)
        if (c != ' ') saverName_ += c;
    registerXrmKeys(opts, defaults);
}

std::unique_ptr<PrefsReader> PrefsReader::create(const std::string &name, const XrmOptionDescRec *opts,
                                                 const char *const *defaults) {
    return std::make_unique<PrefsReader>(name, opts, defaults);
}

void PrefsReader::registerXrmKeys(const XrmOptionDescRec *opts, const char *const *defaults) {
    platform::ValueMap dict = defaultsToDict(defaults);
    userDefaults_->registerDefaults(dict);
    defaultOptions_ = std::make_unique<platform::ValueMap>(dict);
    userDefaultsController_ = std::make_shared<platform::UserDefaultsController>(userDefaults_, dict);

    for (const XrmOptionDescRec *o = opts; o && o->option; o++) {
        const char *res = o->specifier;
        if (!res) continue;
        while (*res == '.' || *res == '*') res++;
        if (!hasDefault(dict, res) && !quietWithoutDefault(res))
            platform::log("warning: \"%s\" is in options but not defaults", res);
    }
}

platform::ValueMap PrefsReader::defaultsToDict(const char *const *defaults) {
    platform::ValueMap dict;
    for (const char *const *l = defaults; l && *l; l++) {
        const char *line = *l;
        while (*line == ' ' || *line == '\t' || *line == '*' || *line == '.') line++;
        const char *colon = strchr(line, ':');
        // A default line without a colon is a typo in the hack's defaults.
        if (!colon) xshim_abort("abort in %s:%d", "-[PrefsReader defaultsToDict:]", __LINE__);
        std::string key(line, colon);
        const char *v = colon + 1;
        while (isBlank(*v)) v++;
        const char *end = v + strlen(v);
        while (end > v && isBlank(end[-1])) end--;
        dict[makeKey(key)] = typedValue(std::string(v, end));
    }
    return dict;
}

std::shared_ptr<platform::UserDefaultsController> PrefsReader::userDefaultsController() const {
    // Asked before registerXrmKeys ran: the reader was not built through its constructor.
    SOMNEL_ASSERT(userDefaultsController_, "userDefaultsController uninitialized");
    return userDefaultsController_;
}

const platform::ValueMap &PrefsReader::defaultOptions() const {
    SOMNEL_ASSERT(defaultOptions_, "defaultOptions uninitialized");
    return *defaultOptions_;
}

platform::Value PrefsReader::getObjectResource(const char *name) const {
    std::string key = name;
    for (;;) {
        platform::Value v = userDefaults_->objectForKey(makeKey(key));
        if (!platform::isNil(v)) return v;
        size_t dot = key.find('.');
        if (dot == std::string::npos) break;
        key.erase(0, dot + 1);
        if (key.empty()) break;
    }
    return {};
}

char *PrefsReader::getStringResource(const char *name) const {
    platform::Value obj = getObjectResource(name);
    if (platform::isNil(obj)) {
        if (!quietMissingString(name)) platform::log("warning: no preference \"%s\" [string]", name);
        return nullptr;
    }
    std::string s;
    if (platform::isString(obj)) {
        s = std::get<std::string>(obj);
    } else {
        platform::log("asked for %s as a string, but it is a %s", name, platform::valueClassName(obj));
        s = platform::stringValue(obj);
    }
    // NOTE: a lone "'" is one character, not a pair of quotes: kept as is.
    if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'') s = s.substr(1, s.size() - 2);
    if (!s.empty() && s[0] == '~' && s.find('/') != std::string::npos) s = expandTilde(s);
    return strdup(s.c_str());
}

double PrefsReader::getFloatResource(const char *name) const {
    platform::Value obj = getObjectResource(name);
    if (platform::isNil(obj)) {
        if (!quietMissingFloat(name)) platform::log("warning: no preference \"%s\" [float]", name);
        return 0.0;
    }
    if (!platform::isNumber(obj) && !platform::isString(obj)) {
        // Only numbers and strings are ever stored; anything else is a bad store.
        SOMNEL_ASSERT(false, "%s = \"%s\" but should have been an NSNumber", name,
                      platform::describe(obj).c_str());
        xshim_abort("abort in %s:%d", "-[PrefsReader getFloatResource:]", __LINE__);
    }
    return platform::doubleValue(obj);
}

int PrefsReader::getIntegerResource(const char *name) const {
    // Through single precision, then rounded half away from zero.
    float f = float(getFloatResource(name));
    double r = std::trunc(double(f) + (f < 0 ? -0.5 : 0.5));
    // NOTE: out-of-range values would make the conversion undefined: clamp.
    if (std::isnan(r)) return 0;
    if (r >= double(INT_MAX)) return INT_MAX;
    if (r <= double(INT_MIN)) return INT_MIN;
    return int(r);
}

bool PrefsReader::getBooleanResource(const char *name) const {
    platform::Value obj = getObjectResource(name);
    if (platform::isNil(obj)) return false;
    if (platform::isNumber(obj)) {
        double d = platform::doubleValue(obj);
        if (d == 0) return false;
        if (d == 1) return true;
    } else if (platform::isString(obj)) {
        const std::string &s = std::get<std::string>(obj);
        if (s == "true" || s == "yes" || s == "1") return true;
        if (s == "false" || s == "no" || s == "0" || s.empty()) return false;
    }
    // A boolean option stored as something else: the store or the sheet wrote a wrong kind.
    SOMNEL_ASSERT(false, "%s = \"%s\" but should have been a boolean", name, platform::describe(obj).c_str());
    xshim_abort("abort in %s:%d", "-[PrefsReader getBooleanResource:]", __LINE__);
}
