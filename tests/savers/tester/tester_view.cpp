// The Tester bundle's principal class.
#include "somnel/principal.h"

SOMNEL_PRINCIPAL_CLASS(SomnelTesterView, SOMNEL_2D_VIEW);
