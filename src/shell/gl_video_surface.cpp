#include "shell/gl_video_surface.h"

#include "player/player.h"
#include "player/mpv_library.h"

#include <mpv/render_gl.h>

#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace kinolark::shell {

namespace {

void *procAddress(void *, const char *name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void *>(context->getProcAddress(name)) : nullptr;
}

} // namespace

GlVideoSurface::GlVideoSurface(player::Player *player, QWidget *parent)
    : QOpenGLWidget(parent)
    , m_player(player)
{
    setFocusPolicy(Qt::NoFocus);
}

GlVideoSurface::~GlVideoSurface()
{
    // The base class ends the context later, when this part is gone.
    if (context())
        disconnect(context(), nullptr, this, nullptr);
    contextGoing();
}

bool GlVideoSurface::prepare()
{
    m_wanted = true;
    if (!m_renderer && isValid()) {
        makeCurrent();
        createRenderer();
        doneCurrent();
    }
    return m_renderer != nullptr;
}

void GlVideoSurface::initializeGL()
{
    // The context goes with the window; a new one needs a new renderer.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GlVideoSurface::contextGoing,
            Qt::UniqueConnection);
    if (m_wanted) {
        createRenderer();
        emit ready();
    }
}

void GlVideoSurface::contextGoing()
{
    makeCurrent();
    releaseRenderer();
    doneCurrent();
}

void GlVideoSurface::createRenderer()
{
    if (m_renderer)
        return;
    mpv_handle *mpv = m_player->handle();
    if (!mpv)
        return;
    mpv_opengl_init_params gl{procAddress, nullptr};
    int advanced = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
        {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advanced},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (player::MpvLibrary::get().render_context_create(&m_renderer, mpv, params) < 0) {
        m_renderer = nullptr;
        return;
    }
    player::MpvLibrary::get().render_context_set_update_callback(m_renderer, frameReady, this);
}

void GlVideoSurface::releaseRenderer()
{
    if (!m_renderer)
        return;
    player::MpvLibrary::get().render_context_free(m_renderer);
    m_renderer = nullptr;
}

void GlVideoSurface::frameReady(void *context)
{
    // On a libmpv thread: ask for a paint on the widget's own thread.
    QMetaObject::invokeMethod(static_cast<GlVideoSurface *>(context), "update", Qt::QueuedConnection);
}

void GlVideoSurface::clear()
{
    // A frame the renderer still holds is not the next episode's.
    if (m_renderer)
        player::MpvLibrary::get().render_context_update(m_renderer);
    m_blank = true;
    update();
}

void GlVideoSurface::paintGL()
{
    if (m_renderer && m_blank && (player::MpvLibrary::get().render_context_update(m_renderer) & MPV_RENDER_UPDATE_FRAME))
        m_blank = false;
    if (!m_renderer || m_blank) {
        QOpenGLContext::currentContext()->functions()->glClearColor(0, 0, 0, 1);
        QOpenGLContext::currentContext()->functions()->glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    mpv_opengl_fbo fbo{int(defaultFramebufferObject()), int(width() * ratio), int(height() * ratio), 0};
    int flip = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flip},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    player::MpvLibrary::get().render_context_render(m_renderer, params);
}

} // namespace kinolark::shell
