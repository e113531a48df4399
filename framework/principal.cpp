// The principal class a saver declares in plain C: a view of the kind it
// asks for, named after the class, with nothing of its own.
#include "framework/somnel_gl_view.h"
#include "somnel/principal.h"
#include "platform/log.h"
#include "platform/bundle.h"
#include "platform/view.h"

#include <string>

namespace {

template <class Base>
class PrincipalView final : public Base {
public:
    static PrincipalView *make(const platform::ViewCreateArgs &args, const char *className,
                               std::shared_ptr<platform::Bundle> bundle) {
        std::unique_ptr<PrincipalView> view(new PrincipalView(args, className, std::move(bundle)));
        if (!view->initWithSaverName(nullptr)) return nullptr;
        return view.release();
    }
    const char *className() const override { return className_.c_str(); }

private:
    PrincipalView(const platform::ViewCreateArgs &args, const char *className,
                  std::shared_ptr<platform::Bundle> bundle)
        : Base(args.frame, args.isPreview, std::move(bundle)), className_(className) {}
    std::string className_;
};

}  // namespace

extern "C" void *somnel_create_principal_view(const void *args, const char *class_name, int kind,
                                              const void *entry) {
    const auto *a = static_cast<const platform::ViewCreateArgs *>(args);
    // The host always passes its creation arguments: a null here means the
    // entry point was called by hand with nothing.
    SOMNEL_ASSERT(a && class_name, "principal class created without arguments");
    SomnelView::setRandomSeed(a->randomSeed);
    SomnelView::setExactFiltering(a->exactFiltering);
    std::shared_ptr<platform::Bundle> bundle = platform::Bundle::containingAddress(entry);
    platform::ScreenSaverView *view = nullptr;
    if (kind == SOMNEL_GL_VIEW)
        view = PrincipalView<SomnelGLView>::make(*a, class_name, std::move(bundle));
    else
        view = PrincipalView<SomnelView>::make(*a, class_name, std::move(bundle));
    return view;
}
