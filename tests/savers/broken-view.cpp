// The Broken test bundle's principal class.
#include "framework/SomnelSubclass.h"

SOMNEL_SUBCLASS(SomnelBrokenView, SomnelView);
