// Marks the platform library's API: the library is built with hidden
// visibility, so only what carries this mark is exported.
#pragma once



#define SOMNEL_EXPORT __attribute__((visibility("default")))
