// Buffered editing of a preference domain, for the configuration sheet.
#include "platform/log.h"
#include "platform/value.h"
#include "platform/preferences.h"

namespace platform {

UserDefaultsController::UserDefaultsController(std::shared_ptr<ScreenSaverDefaults> defaults,
                                               ValueMap initialValues)
    : defaults_(std::move(defaults)), initial_(std::move(initialValues)) {
    SOMNEL_ASSERT(defaults_, "UserDefaultsController needs a defaults domain");
}

// A pending nil means "no stored value": what shows is the fallback.
Value UserDefaultsController::value(const std::string &key) const {
    auto p = pending_.find(key);
    if (p != pending_.end() && !isNil(p->second)) return p->second;
    Value v = (p != pending_.end()) ? Value() : defaults_->storedObjectForKey(key);
    if (isNil(v)) {
        auto f = defaults_->registeredDefaults().find(key);
        if (f != defaults_->registeredDefaults().end()) v = f->second;
    }
    if (isNil(v)) {
        auto i = initial_.find(key);
        if (i != initial_.end()) v = i->second;
    }
    return v;
}

void UserDefaultsController::setValue(const std::string &key, const Value &value) {
    const Value before = this->value(key);
    if (appliesImmediately_) {
        pending_.erase(key);
        defaults_->setObject(key, value);
        defaults_->synchronize();
    } else {
        pending_[key] = value;
    }
    if (this->value(key) != before) notify(key);
}

void UserDefaultsController::commitEditing() {}

bool UserDefaultsController::save() {
    for (const auto &[key, value] : pending_) defaults_->setObject(key, value);
    pending_.clear();
    return defaults_->synchronize();
}

void UserDefaultsController::revert() {
    std::vector<std::string> keys;
    for (const auto &entry : pending_) keys.push_back(entry.first);
    for (const auto &key : keys) {
        const Value before = value(key);
        pending_.erase(key);
        if (value(key) != before) notify(key);  // only visible changes are reported
    }
}

void UserDefaultsController::revertToInitialValues() {
    for (const auto &[key, value] : initial_) setValue(key, value);
}

int UserDefaultsController::addObserver(std::function<void(const std::string &key)> observer) {
    int id = nextObserver_++;
    observers_[id] = std::move(observer);
    return id;
}

void UserDefaultsController::removeObserver(int id) { observers_.erase(id); }

// Observers may add or remove observers while being told; work on a copy.
void UserDefaultsController::notify(const std::string &key) {
    auto observers = observers_;
    for (auto &[id, fn] : observers)
        if (observers_.count(id) && fn) fn(key);
}

}  // namespace platform
