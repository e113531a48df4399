// The Unruly test bundle's principal class.
#include "somnel/principal.h"

SOMNEL_PRINCIPAL_CLASS(SomnelUnrulyView, SOMNEL_2D_VIEW);
