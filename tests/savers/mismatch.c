/* A bundle library with the slips the saver check must catch, built without
 * the saver rule (which would refuse it): the table for the name Unexported
 * is not exported (bundles build with hidden visibility, and nothing
 * declares it for export), and the table it does export declares a class
 * that is not its bundle's name. */
#include "somnel/principal.h"
#include "somnel/somnel_function_table.h"

SOMNEL_PRINCIPAL_CLASS(SomnelMismatchView, SOMNEL_2D_VIEW);

static const char *const mismatch_defaults[] = {0};
static const XrmOptionDescRec mismatch_options[] = {{0, 0, 0, 0}};

somnel_function_table unexported_somnel_function_table = {
    "Unexported", mismatch_defaults, mismatch_options, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

SOMNEL_EXPORT_SYMBOL somnel_function_table misnamed_somnel_function_table = {
    "Other", mismatch_defaults, mismatch_options, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};
