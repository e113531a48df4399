// The Tester bundle's principal class.
#include "SomnelSubclass.h"

SOMNEL_SUBCLASS(SomnelTesterView, SomnelView);
