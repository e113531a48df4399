// The Qt-free platform headers, compiled without Qt on the include path:
// framework code that needs only these builds without Qt.
#include "platform/export.h"
#include "platform/geometry.h"
#include "platform/log.h"
#include "platform/clock.h"
#include "platform/value.h"
#include "platform/preferences.h"
#include "platform/bundle.h"
#include "platform/timer.h"
#include "platform/event.h"
#include "platform/view.h"
#include "platform/gl.h"
#include "platform/desktop.h"
#include "platform/idle.h"
#include "platform/inhibit_service.h"

int somnelQtFreePlatformHeadersCompile;
