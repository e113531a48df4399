// The GLHalves test bundle's principal class.
#include "SomnelGLView.h"
#include "SomnelSubclass.h"

SOMNEL_SUBCLASS(SomnelGLHalvesView, SomnelGLView);
