// The Broken test bundle's principal class.
#include "framework/somnel_subclass.h"

SOMNEL_SUBCLASS(SomnelBrokenView, SomnelView);
