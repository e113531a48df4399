/* Part of the Xt subset offered to hacks (see xshim.h): one-shot timeouts on
 * the event loop, and file descriptors polled for reading once a frame. The
 * application context is the display itself. */
#ifndef SOMNEL_XSHIM_TIMERS_H
#define SOMNEL_XSHIM_TIMERS_H

#include "somnel/xshim_types.h"

XSHIM_BEGIN_DECLS

typedef void *XtPointer;
typedef unsigned long XtInputMask;
typedef struct xshim_timer *XtIntervalId;
typedef struct xshim_input *XtInputId;

typedef void (*XtTimerCallbackProc)(XtPointer closure, XtIntervalId *id);
typedef void (*XtInputCallbackProc)(XtPointer closure, int *fd, XtInputId *id);

/* Conditions for XtAppAddInput (ignored: descriptors are watched for reading). */
#define XtInputNoneMask 0L
#define XtInputReadMask (1L << 0)
#define XtInputWriteMask (1L << 1)
#define XtInputExceptMask (1L << 2)

/* What XtAppPending reports and XtAppProcessEvent is asked for. */
#define XtIMXEvent 1
#define XtIMTimer 2
#define XtIMAlternateInput 4
#define XtIMSignal 8
#define XtIMAll (XtIMXEvent | XtIMTimer | XtIMAlternateInput | XtIMSignal)

struct xshim_sources;

#define XtDisplayToApplicationContext xshim_XtDisplayToApplicationContext
XtAppContext XtDisplayToApplicationContext(Display *display);
/* Calls callback(closure, &id) once, interval milliseconds from now, between frames. */
#define XtAppAddTimeOut xshim_XtAppAddTimeOut
XtIntervalId XtAppAddTimeOut(XtAppContext app, unsigned long interval,
                             XtTimerCallbackProc callback, XtPointer closure);
/* Cancels a timeout that has not fired yet. */
#define XtRemoveTimeOut xshim_XtRemoveTimeOut
void XtRemoveTimeOut(XtIntervalId id);
/* Calls callback(closure, &fd, &id) on each frame that finds fd (1 to 1023) readable. */
#define XtAppAddInput xshim_XtAppAddInput
XtInputId XtAppAddInput(XtAppContext app, int fd, XtPointer condition,
                        XtInputCallbackProc callback, XtPointer closure);
/* Stops watching; the id is freed and must not be used again. */
#define XtRemoveInput xshim_XtRemoveInput
void XtRemoveInput(XtInputId id);
/* Always XtIMAlternateInput. */
#define XtAppPending xshim_XtAppPending
XtInputMask XtAppPending(XtAppContext app);
/* Polls the input sources once (never waits). */
#define XtAppProcessEvent xshim_XtAppProcessEvent
void XtAppProcessEvent(XtAppContext app, XtInputMask mask);

/* The emulation's own entry points: the per-display input-source table. */
struct xshim_sources *xshim_sources_init(XtAppContext app);
void xshim_sources_free(struct xshim_sources *table);
/* Polls every registered descriptor without waiting and runs the ready ones' callbacks. */
void xshim_sources_run(struct xshim_sources *table);
void xshim_XtRemoveInput_all(Display *display);

XSHIM_END_DECLS

#endif
