// The GLModeTest bundle's principal class.
#include "framework/somnel_gl_view.h"
#include "framework/somnel_subclass.h"

SOMNEL_SUBCLASS(SomnelGLModeTestView, SomnelGLView);
