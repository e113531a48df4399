// The framework's process state: everything the framework carried by a
// bundle keeps for the whole process, in one object. The first saver view
// makes it; code reached without a view (a test of the emulation alone)
// makes it on first use. Main thread only, like the rest of the framework:
// no lock.
//
// What the hack interface itself makes process-wide stays outside:
// progclass and progname, the frame counter, the random generator, mono_p,
// a hack's own option variables.
#pragma once

#include "somnel/xrm_options.h"

#include <map>
#include <memory>
#include <set>
#include <unordered_set>
#include <vector>

struct ModeRecord;
struct somnel_function_table;
struct xshim_timer;

namespace somnel {

class FrameworkState {
public:
    // The process's state, made on first use.
    static FrameworkState &instance();
    // Ends what the state holds, puts back the option rows views had put
    // into function tables, and drops it: the next use makes a fresh one.
    // For tests, between cases, while no view is alive.
    static void reset();

    // ------------------------------------------------ the saver views

    // The option array a view put into a function table (the host's rows,
    // then the hack's), and the hack's own rows it replaced. A second view
    // over the same table merges again from the hack's rows and frees the
    // array it replaces.
    struct MergedOptions {
        std::unique_ptr<XrmOptionDescRec[]> rows;
        const XrmOptionDescRec *hackRows = nullptr;
    };
    std::map<somnel_function_table *, MergedOptions> mergedOptions;

    // ------------------------------------------------- the mode layer

    // What the mode layer's setup built for a function table: kept while
    // the table points at it, freed when a later setup for the same table
    // replaces it (every view made for a saver runs setup on its one table).
    struct ModeSetup {
        XrmOptionDescRec *rows = nullptr;
        const char **lines = nullptr;
        std::vector<char *> texts;
        void release();
    };
    std::map<somnel_function_table *, ModeSetup> modeSetups;
    // Mode records handed out by init and not yet freed: free takes only
    // these, so freeing a record twice frees it once.
    std::set<ModeRecord *> modeRecords;
    // Text variables the mode layer filled, by their address: the text is
    // freed when the next init reads the variable again, unless the hack
    // has put something of its own there meanwhile.
    std::map<void *, char *> modeTexts;
    // The live record holding each screen number (null: free).
    std::vector<ModeRecord *> screenOwners;

    // -------------------------------------------------- the emulation

    // Every timeout record not yet freed, so that a stale id (a timeout
    // that has fired or been removed) is reported instead of touching
    // freed memory.
    std::unordered_set<xshim_timer *> timers;

    // ------------------------------------------------------ the reset

    // How the emulation ends its timeouts and the mode layer its records,
    // each set by its layer when it first keeps something here: the state
    // sits below both and cannot call up into them.
    void (*endTimers)(FrameworkState &) = nullptr;
    void (*endModeRecords)(FrameworkState &) = nullptr;

private:
    FrameworkState() = default;
    ~FrameworkState();
};

}  // namespace somnel
