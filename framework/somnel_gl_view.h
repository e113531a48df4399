// The saver view for hacks that draw with OpenGL: it owns one context,
// makes it current around every callback and presents the hack's frames.
#pragma once

#include "framework/somnel_view.h"
#include "platform/geometry.h"
#include "platform/bundle.h"
#include "platform/gl.h"

#include <vector>

class SomnelGLView : public SomnelView {
public:
    static std::unique_ptr<SomnelGLView> create(platform::Rect frame, const char *saverName, bool isPreview,
                                                std::shared_ptr<platform::Bundle> bundle) {
        return createView<SomnelGLView>(frame, saverName, isPreview, std::move(bundle));
    }
    const char *className() const override { return "SomnelGLView"; }

    void stopAnimation() override;
    bool wantsOpenGLSurface() const override { return true; }
    // The format init_GL will ask for, from the saver's resources.
    platform::GLFormat openGLFormat() const override;
    // The pixel-format attributes the saver's resources ask for (the
    // sample count left out for the second try), ended by 0.
    std::vector<int> pixelFormatAttributes(bool withSampleCount) const;
    QImage grabFrame() override;

    platform::GLContext *oglContext() const { return ogl_ctx.get(); }
    // Stores the context, then attaches it to the view.
    void setOglContext(std::unique_ptr<platform::GLContext> ctx);
    std::unique_ptr<platform::GLContext> releaseOglContext() { return std::move(ogl_ctx); }

protected:
    SomnelGLView(platform::Rect frame, bool isPreview, std::shared_ptr<platform::Bundle> bundle)
        : SomnelView(frame, isPreview, std::move(bundle)) {}
    friend class SomnelView;

    void prepareContext() override;
    void resizeContext() override;

private:
    std::unique_ptr<platform::GLContext> ogl_ctx;
};
