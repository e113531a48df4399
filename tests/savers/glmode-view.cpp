// The GLModeTest bundle's principal class.
#include "framework/SomnelGLView.h"
#include "framework/SomnelSubclass.h"

SOMNEL_SUBCLASS(SomnelGLModeTestView, SomnelGLView);
