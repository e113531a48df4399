// The framework's process state, and its reset.
#include "state/framework_state.h"

#include "somnel/somnel_function_table.h"

#include <cstdlib>

namespace somnel {

namespace {
// Never destroyed: views may outlive static destruction.
FrameworkState *current = nullptr;
}  // namespace

FrameworkState &FrameworkState::instance() {
    if (!current) current = new FrameworkState;
    return *current;
}

FrameworkState::~FrameworkState() = default;

void FrameworkState::ModeSetup::release() {
    for (char *t : texts) free(t);
    free(rows);
    free(lines);
    texts.clear();
    rows = nullptr;
    lines = nullptr;
}

// What is still running is taken down by the layer that owns it.
void FrameworkState::reset() {
    FrameworkState *s = current;
    if (!s) return;
    if (s->endTimers) s->endTimers(*s);
    if (s->endModeRecords) s->endModeRecords(*s);
    for (auto &[var, text] : s->modeTexts) {
        char **slot = static_cast<char **>(var);
        if (*slot == text) *slot = nullptr;
        free(text);
    }
    // The tables get back the rows they had before a view merged its own,
    // then lose what the mode layer built, which goes now.
    for (auto &[table, merged] : s->mergedOptions)
        if (table->options == merged.rows.get()) table->options = merged.hackRows;
    for (auto &[table, setup] : s->modeSetups) {
        if (table->options == setup.rows) table->options = nullptr;
        if (table->defaults == setup.lines) table->defaults = nullptr;
        setup.release();
    }
    delete s;
    current = nullptr;
}

}  // namespace somnel
