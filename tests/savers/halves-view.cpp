// The Halves test bundle's principal class.
#include "SomnelSubclass.h"

SOMNEL_SUBCLASS(SomnelHalvesView, SomnelView);
