// Per-saver stored preferences and buffered editing over them.
#pragma once

#include "platform/export.h"
#include "platform/value.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// One saver's stored preferences ("domain"), with registered fallbacks. The
// store is a typed JSON file under $XDG_CONFIG_HOME/somnel (or
// ~/.config/somnel), written atomically under a lock against other writers.
// A corrupt file is reported, kept aside under a new name and ignored.
class SOMNEL_EXPORT ScreenSaverDefaults {
public:
    // The process-wide object for a domain (one per domain name), from the
    // registry of domains, which takes a lock.
    static std::shared_ptr<ScreenSaverDefaults> defaultsForModuleWithName(const std::string &domain);
    // Empties the registry of domains, so that a domain made in one test
    // does not carry its fallbacks and edits into the next: the next call
    // makes a fresh object that reads its file again. Objects still held
    // elsewhere stay valid, no longer shared.
    static void forgetDomains();

    const std::string &domain() const { return domain_; }
    std::string filePath() const;

    // Stored value, else the registered fallback, else nil.
    Value objectForKey(const std::string &key) const;
    // Stored value only.
    Value storedObjectForKey(const std::string &key) const;
    void setObject(const std::string &key, const Value &value);
    void removeObjectForKey(const std::string &key);
    void registerDefaults(const ValueMap &fallbacks);
    const ValueMap &registeredDefaults() const { return fallbacks_; }

    // Merges with the file under its lock: re-reads it, applies this
    // object's changed and removed keys on top (other keys are whatever
    // the file holds now, so concurrent writers keep each other's keys),
    // and writes it atomically when anything changed. Returns false after
    // logging a line on failure; the changes then stay pending.
    bool synchronize();
    // Re-reads the file, dropping unsaved changes.
    void reload();

    explicit ScreenSaverDefaults(const std::string &domain);

private:
    std::string domain_;
    ValueMap stored_;
    ValueMap fallbacks_;
    std::vector<std::string> removed_;
    std::vector<std::string> changed_;
};

// Buffered editing over a defaults domain: the configuration sheet's controls
// change values here; save() stores them, revert() drops them,
// revertToInitialValues() goes back to the built-in values.
class SOMNEL_EXPORT UserDefaultsController {
public:
    UserDefaultsController(std::shared_ptr<ScreenSaverDefaults> defaults, ValueMap initialValues);

    std::shared_ptr<ScreenSaverDefaults> defaults() const { return defaults_; }
    const ValueMap &initialValues() const { return initial_; }

    // The edited value, else the stored one, else the fallback, else the
    // initial value. A pending nil edit shows the fallback (it removes the
    // stored value on save).
    Value value(const std::string &key) const;
    void setValue(const std::string &key, const Value &value);
    bool hasUnappliedChanges() const { return !pending_.empty(); }

    // When true, setValue writes through to the defaults at once.
    bool appliesImmediately() const { return appliesImmediately_; }
    void setAppliesImmediately(bool on) { appliesImmediately_ = on; }

    void commitEditing();  // finishes an edit in progress (no-op here)
    bool save();           // pending edits into the store, then synchronize
    void revert();         // drop pending edits
    void revertToInitialValues();  // every key with an initial value goes back to it (pending)

    // Called with the key after every change of a value as seen through value().
    int addObserver(std::function<void(const std::string &key)> observer);
    void removeObserver(int id);

private:
    void notify(const std::string &key);
    std::shared_ptr<ScreenSaverDefaults> defaults_;
    ValueMap initial_;
    ValueMap pending_;
    bool appliesImmediately_ = false;
    std::map<int, std::function<void(const std::string &)>> observers_;
    int nextObserver_ = 1;
};

}  // namespace platform
