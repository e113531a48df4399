// The GLModeTest bundle's principal class.
#include "SomnelGLView.h"
#include "SomnelSubclass.h"

SOMNEL_SUBCLASS(SomnelGLModeTestView, SomnelGLView);
