/* What the tests ask of the X server directly, through libX11: windows of
 * their own, pictures of what the server holds, input, monitors. Kept in
 * its own translation unit, apart from Qt and the framework. */
#ifndef SOMNEL_TESTS_XSERVER_H
#define SOMNEL_TESTS_XSERVER_H

#ifdef __cplusplus
extern "C" {
#endif

/* Connects to the display named (NULL: $DISPLAY); 0 on failure. */
int xs_open(const char *display);
void xs_close(void);

unsigned long xs_root(void);
/* A mapped top-level window of the size, grey background; 0 on failure. */
unsigned long xs_create_window(int width, int height);
/* A mapped top-level input-only window (no pixels at all). */
unsigned long xs_create_input_only_window(int width, int height);
void xs_resize(unsigned long window, int width, int height);
void xs_destroy(unsigned long window);
/* Whether the window still exists. */
int xs_exists(unsigned long window);
/* The window's size; 0 when it is gone. */
int xs_size(unsigned long window, int *width, int *height);

/* What the server holds for the rectangle of the window: width*height
 * words 0xFFRRGGBB (as QImage::Format_RGB32 holds them) into out. 0 on
 * failure. */
int xs_get_image(unsigned long window, int x, int y, int width, int height, unsigned *out);

/* The first mapped window at any depth below the root whose _NET_WM_PID
 * is pid and whose size is at least min_w x min_h; 0 while none. */
unsigned long xs_window_of_pid(int pid, int min_w, int min_h);
/* The window itself or its first mapped descendant of exactly the size;
 * 0 when there is none. */
unsigned long xs_window_of_size(unsigned long top, int width, int height);
/* The first child window of parent; 0 when it has none. */
unsigned long xs_first_child(unsigned long parent);

/* Input delivered to the client that made the window: a key press or a
 * button press (with their releases). */
void xs_send_key(unsigned long window);
/* A key press and release by its keysym name ("Tab", "Return", "a"). */
void xs_send_keysym(unsigned long window, const char *keysym);
void xs_send_click(unsigned long window, int x, int y);
/* Moves the pointer: the server sends real motion events. */
void xs_warp_pointer(int x, int y);

/* Whether another client holds the keyboard grabbed. */
int xs_keyboard_grabbed(void);

/* Whether the cursor the server shows now has any opaque pixel: 1 visible,
 * 0 blank, -1 when the server cannot tell. */
int xs_cursor_visible(void);

/* Input through XTest, as a real keyboard and mouse reach the server (so
 * focus, grabs and stacking decide who gets it). A key by its keysym name
 * ("a", "q"), pressed and released, with Control held when control is set;
 * a press and release of the button at the point; one motion event to the
 * point. 0 when the server has no XTest. */
int xs_fake_key(const char *keysym, int control);
int xs_fake_click(int x, int y, unsigned button);
int xs_fake_motion(int x, int y);

/* Top-level windows (children of the root): the topmost viewable one that
 * covers the point, the lowest viewable one, and the one that holds a
 * window (itself when it is one); 0 when there is none. */
unsigned long xs_top_level_at(int x, int y);
unsigned long xs_lowest_top_level(void);
unsigned long xs_top_level_of(unsigned long window);

/* Where the window's top-left corner is on the root window; 0 when it is
 * gone. */
int xs_position(unsigned long window, int *x, int *y);

/* Holds the keyboard for a window of the test's own, as another program
 * may; 1 when it holds it. */
int xs_grab_keyboard(unsigned long window);
void xs_ungrab_keyboard(void);

/* Whether a window manager runs on the screen (it names its check window
 * on the root). */
int xs_window_manager_running(void);

/* Replaces the monitors of the screen by side-by-side ones of the given
 * width (RandR 1.5); 0 when the server cannot. */
int xs_split_screen(int count, int monitor_width, int monitor_height);

#ifdef __cplusplus
}
#endif

#endif
