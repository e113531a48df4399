/* Marks a symbol a bundle exports (its function table, its principal class).
 * Plain C, and free of the Xlib subset, so that C++ code facing the
 * toolkit (a view subclass) may use it too. */
#ifndef SOMNEL_EXPORT_H
#define SOMNEL_EXPORT_H

#define SOMNEL_EXPORT_SYMBOL __attribute__((visibility("default")))

#endif
