// The Drizzle bundle's principal class: the GL saver view, adding nothing,
// so that the saver name (and the function table it looks up) comes from
// the bundle.
#include "SomnelGLView.h"
#include "SomnelSubclass.h"

SOMNEL_SUBCLASS(SomnelDrizzleView, SomnelGLView);
