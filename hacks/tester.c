/* Placeholder: the framework's own test saver is written with the saver view. */
#include "somnel-function-table.h"
