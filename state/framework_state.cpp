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
    // The tables views merged rows into (a bundle's own, so still there) get
    // back the rows they had, then lose what the mode layer built, which
    // goes now. A table set up without a view may be gone: it is not read.
    for (auto &[table, merged] : s->mergedOptions) {
        if (table->options == merged.rows.get()) table->options = merged.hackRows;
        auto setup = s->modeSetups.find(table);
        if (setup == s->modeSetups.end()) continue;
        if (table->options == setup->second.rows) table->options = nullptr;
        if (table->defaults == setup->second.lines) table->defaults = nullptr;
    }
    for (auto &entry : s->modeSetups) entry.second.release();
    delete s;
    current = nullptr;
}

}  // namespace somnel
