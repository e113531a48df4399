// Buffered edits over a preference domain: save, revert, initial values,
// write-through and change notification.
#include "tests/support/test_support.h"

#include "platform/value.h"
#include "platform/preferences.h"

#include <cstdlib>

using platform::ScreenSaverDefaults;
using platform::UserDefaultsController;
using platform::Value;

class Controller : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        defaults_ = std::make_shared<ScreenSaverDefaults>("org.test.Sheet");
        defaults_->registerDefaults({{"delay", Value(10000LL)}, {"showFPS", Value(false)}});
        controller_ = std::make_unique<UserDefaultsController>(
            defaults_, platform::ValueMap{{"delay", Value(10000LL)}, {"showFPS", Value(false)},
                                          {"mode", Value(std::string("random"))}});
        controller_->addObserver([this](const std::string &key) { changes_.push_back(key); });
    }
    Value onDisk(const std::string &key) { return ScreenSaverDefaults("org.test.Sheet").storedObjectForKey(key); }

    testsupport::TempDir dir_;
    std::shared_ptr<ScreenSaverDefaults> defaults_;
    std::unique_ptr<UserDefaultsController> controller_;
    std::vector<std::string> changes_;
};

TEST_F(Controller, EditsStayPendingUntilSaved) {
    // Fallback, then initial values, for keys with nothing stored.
    EXPECT_EQ(controller_->value("delay"), Value(10000LL));
    EXPECT_EQ(controller_->value("mode"), Value(std::string("random")));
    EXPECT_TRUE(platform::isNil(controller_->value("unknown")));

    controller_->setValue("delay", Value(500LL));
    EXPECT_EQ(controller_->value("delay"), Value(500LL));
    EXPECT_TRUE(controller_->hasUnappliedChanges());
    EXPECT_EQ(defaults_->objectForKey("delay"), Value(10000LL));  // the store has not seen it
    EXPECT_TRUE(platform::isNil(onDisk("delay")));

    controller_->commitEditing();
    EXPECT_TRUE(controller_->save());
    EXPECT_FALSE(controller_->hasUnappliedChanges());
    EXPECT_EQ(defaults_->objectForKey("delay"), Value(500LL));
    EXPECT_EQ(onDisk("delay"), Value(500LL));
    EXPECT_EQ(changes_, std::vector<std::string>{"delay"});  // saving changes nothing visible
}

TEST_F(Controller, RevertDropsPendingEditsOnly) {
    controller_->setValue("delay", Value(500LL));
    ASSERT_TRUE(controller_->save());
    controller_->setValue("delay", Value(1LL));
    controller_->setValue("showFPS", Value(false));  // same as before: no notification
    changes_.clear();
    controller_->revert();
    EXPECT_FALSE(controller_->hasUnappliedChanges());
    EXPECT_EQ(controller_->value("delay"), Value(500LL));
    EXPECT_EQ(changes_, std::vector<std::string>{"delay"});
    EXPECT_EQ(onDisk("delay"), Value(500LL));
}

TEST_F(Controller, RevertToInitialValuesIsPendingUntilSaved) {
    controller_->setValue("delay", Value(500LL));
    controller_->setValue("mode", Value(std::string("cycle")));
    ASSERT_TRUE(controller_->save());
    changes_.clear();

    controller_->revertToInitialValues();
    EXPECT_EQ(controller_->value("delay"), Value(10000LL));
    EXPECT_EQ(controller_->value("mode"), Value(std::string("random")));
    EXPECT_EQ(defaults_->objectForKey("delay"), Value(500LL));  // not stored yet
    std::sort(changes_.begin(), changes_.end());
    EXPECT_EQ(changes_, (std::vector<std::string>{"delay", "mode"}));

    // Cancel after a reset keeps what was stored; OK stores the built-ins.
    controller_->revert();
    EXPECT_EQ(controller_->value("delay"), Value(500LL));
    controller_->revertToInitialValues();
    ASSERT_TRUE(controller_->save());
    EXPECT_EQ(onDisk("delay"), Value(10000LL));
    EXPECT_EQ(onDisk("mode"), Value(std::string("random")));
}

TEST_F(Controller, NilEditShowsTheFallbackAndRemovesOnSave) {
    controller_->setValue("delay", Value(500LL));
    ASSERT_TRUE(controller_->save());
    controller_->setValue("delay", Value());
    EXPECT_EQ(controller_->value("delay"), Value(10000LL));
    ASSERT_TRUE(controller_->save());
    EXPECT_TRUE(platform::isNil(onDisk("delay")));
}

TEST_F(Controller, AppliesImmediatelyWritesThrough) {
    controller_->setAppliesImmediately(true);
    controller_->setValue("showFPS", Value(true));
    EXPECT_FALSE(controller_->hasUnappliedChanges());
    EXPECT_EQ(onDisk("showFPS"), Value(true));
    controller_->revert();  // nothing pending: nothing undone
    EXPECT_EQ(controller_->value("showFPS"), Value(true));
    controller_->revertToInitialValues();
    EXPECT_EQ(onDisk("showFPS"), Value(false));
}

TEST_F(Controller, ObserversCanBeRemovedWhileNotified) {
    int calls = 0, id = 0;
    id = controller_->addObserver([&](const std::string &) {
        calls++;
        controller_->removeObserver(id);
    });
    controller_->setValue("delay", Value(1LL));
    controller_->setValue("delay", Value(2LL));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(changes_.size(), 2u);
}
