// The Broken test bundle's principal class.
#include "SomnelSubclass.h"

SOMNEL_SUBCLASS(SomnelBrokenView, SomnelView);
