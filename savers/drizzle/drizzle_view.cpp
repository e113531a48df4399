// The Drizzle bundle's principal class: the GL saver view, adding nothing,
// so that the saver name (and the function table it looks up) comes from
// the bundle.
#include "somnel/principal.h"

SOMNEL_PRINCIPAL_CLASS(SomnelDrizzleView, SOMNEL_GL_VIEW);
