// The GLHalves test bundle's principal class.
#include "somnel/principal.h"

SOMNEL_PRINCIPAL_CLASS(SomnelGLHalvesView, SOMNEL_GL_VIEW);
