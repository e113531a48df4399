/* Every public header, compiled as C with only include/ on the path: a hack
 * written in C sees exactly these, and they must stand alone. */
#include "somnel/colors.h"
#include "somnel/fps-gl.h"
#include "somnel/fps.h"
#include "somnel/glxfonts.h"
#include "somnel/hsv.h"
#include "somnel/modehost.h"
#include "somnel/principal.h"
#include "somnel/resources.h"
#include "somnel/somnel-function-table.h"
#include "somnel/texfont.h"
#include "somnel/xshim-color.h"
#include "somnel/xshim-display.h"
#include "somnel/xshim-font.h"
#include "somnel/xshim-gc.h"
#include "somnel/xshim-glx.h"
#include "somnel/xshim-image.h"
#include "somnel/xshim-timers.h"
#include "somnel/xshim-types.h"
#include "somnel/xshim.h"
#include "somnel/yarandom.h"

int somnel_public_headers_compile_as_c;
