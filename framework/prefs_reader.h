// The preference reader: one saver's option values, read by bare resource
// name. The hack's built-in defaults (X-resource lines) are registered as the
// fallbacks of the saver's stored-preferences domain; every query reads the
// domain live, so a value saved through the configuration sheet is seen by
// the next query.
#pragma once

#include "platform/value.h"
#include "platform/preferences.h"
#include "somnel/xrm_options.h"

#include <memory>
#include <string>

class PrefsReader {
public:
    // name is the domain name ("<reverse-domain prefix>.<progclass>"); opts is
    // ended by a row whose switch text is null, defaults by a null entry.
    PrefsReader(const std::string &name, const XrmOptionDescRec *opts, const char *const *defaults);
    static std::unique_ptr<PrefsReader> create(const std::string &name, const XrmOptionDescRec *opts,
                                               const char *const *defaults);

    // Registers the defaults text as the domain's fallbacks, rebuilds the
    // controller over it, and warns about switches whose resource has no default.
    void registerXrmKeys(const XrmOptionDescRec *opts, const char *const *defaults);

    // Parses defaults text into typed values (bool, integer, double, string).
    static platform::ValueMap defaultsToDict(const char *const *defaults);

    std::shared_ptr<platform::UserDefaultsController> userDefaultsController() const;
    const platform::ValueMap &defaultOptions() const;
    std::shared_ptr<platform::ScreenSaverDefaults> userDefaults() const { return userDefaults_; }

    // The stored value, else the built-in default; a dotted name falls back
    // to each tail after a dot ("drizzle.dps" finds "dps"). Nil when none.
    platform::Value getObjectResource(const char *name) const;
    // A malloc'd copy (free it), or null when there is no such resource.
    char *getStringResource(const char *name) const;
    double getFloatResource(const char *name) const;
    int getIntegerResource(const char *name) const;
    bool getBooleanResource(const char *name) const;

    static std::string makeKey(const std::string &key) { return key; }
    static std::string makeCKey(const char *key) { return makeKey(std::string(key)); }

    // The part of the domain name after its last dot, blanks removed.
    const std::string &saverName() const { return saverName_; }

private:
    std::string saverName_;
    std::shared_ptr<platform::UserDefaultsController> userDefaultsController_;
    std::shared_ptr<platform::ScreenSaverDefaults> userDefaults_;
    std::unique_ptr<platform::ValueMap> defaultOptions_;
};
