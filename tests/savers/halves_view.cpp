// The Halves test bundle's principal class.
#include "somnel/principal.h"

SOMNEL_PRINCIPAL_CLASS(SomnelHalvesView, SOMNEL_2D_VIEW);
