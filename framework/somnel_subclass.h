// Defines a saver bundle's principal class: a subclass of SomnelView (or of a
// view derived from it with the same constructor) with no members of its
// own, and the entry point the host calls to create it:
//
//   extern "C" platform::ScreenSaverView *<Class>_create(const platform::ViewCreateArgs *);
//
// Because the class adds nothing, the saver name, and so the function table
// the view looks for, comes from the name of the bundle holding the code.
//
// Use once per bundle, at file scope:  SOMNEL_SUBCLASS(SomnelTesterView, SomnelView)
#pragma once

#include "framework/somnel_view.h"
#include "platform/geometry.h"
#include "platform/bundle.h"
#include "platform/view.h"

#define SOMNEL_SUBCLASS(Class, Base)                                                                        \
    class Class : public Base {                                                                             \
    public:                                                                                                 \
        const char *className() const override { return #Class; }                                           \
        static std::unique_ptr<Class> create(platform::Rect frame, const char *saverName, bool isPreview,   \
                                             std::shared_ptr<platform::Bundle> bundle) {                    \
            return createView<Class>(frame, saverName, isPreview, std::move(bundle));                       \
        }                                                                                                   \
                                                                                                            \
    protected:                                                                                              \
        Class(platform::Rect frame, bool isPreview, std::shared_ptr<platform::Bundle> bundle)               \
            : Base(frame, isPreview, std::move(bundle)) {}                                                  \
        friend class SomnelView;                                                                            \
    };                                                                                                      \
    /* A file-local address: the exported entry's could be another copy's. */                             \
    static const char somnel_subclass_anchor_##Class = 0;                                                   \
    extern "C" SOMNEL_EXPORT_SYMBOL platform::ScreenSaverView *Class##_create(                              \
        const platform::ViewCreateArgs *args) {                                                             \
        std::shared_ptr<platform::Bundle> bundle =                                                          \
            platform::Bundle::containingAddress(&somnel_subclass_anchor_##Class);                           \
        SomnelView::setRandomSeed(args->randomSeed);                                                        \
        SomnelView::setExactFiltering(args->exactFiltering);                                                \
        return Class::create(args->frame, nullptr, args->isPreview, std::move(bundle)).release();           \
    }                                                                                                       \
    static_assert(true, "")
