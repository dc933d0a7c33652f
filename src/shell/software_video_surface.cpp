#include "shell/software_video_surface.h"

#include "player/player.h"
#include "player/mpv_library.h"

#include <mpv/render.h>

#include <QPainter>

namespace kinolark::shell {

SoftwareVideoSurface::SoftwareVideoSurface(player::Player *player, QWidget *parent)
    : QWidget(parent)
    , m_player(player)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

SoftwareVideoSurface::~SoftwareVideoSurface()
{
    if (m_renderer)
        player::MpvLibrary::get().render_context_free(m_renderer);
}

bool SoftwareVideoSurface::prepare()
{
    if (m_renderer)
        return true;
    mpv_handle *mpv = m_player->handle();
    if (!mpv)
        return false;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (player::MpvLibrary::get().render_context_create(&m_renderer, mpv, params) < 0) {
        m_renderer = nullptr;
        return false;
    }
    player::MpvLibrary::get().render_context_set_update_callback(m_renderer, frameReady, this);
    return true;
}

void SoftwareVideoSurface::clear()
{
    m_frame = QImage();
    update();
}

void SoftwareVideoSurface::frameReady(void *context)
{
    // On a libmpv thread: render on the widget's own thread.
    QMetaObject::invokeMethod(static_cast<SoftwareVideoSurface *>(context), "renderFrame", Qt::QueuedConnection);
}

void SoftwareVideoSurface::renderFrame()
{
    if (!m_renderer || !(player::MpvLibrary::get().render_context_update(m_renderer) & MPV_RENDER_UPDATE_FRAME))
        return;
    const QSize size = this->size().expandedTo(QSize(1, 1));
    if (m_frame.size() != size)
        m_frame = QImage(size, QImage::Format_RGB32);
    // Format_RGB32 holds B, G, R and an unused byte, in memory order.
    int pixels[2] = {m_frame.width(), m_frame.height()};
    size_t stride = size_t(m_frame.bytesPerLine());
    char format[] = "bgr0";
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, pixels},
        {MPV_RENDER_PARAM_SW_FORMAT, format},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, m_frame.bits()},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (player::MpvLibrary::get().render_context_render(m_renderer, params) >= 0)
        update();
}

void SoftwareVideoSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_frame.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), m_frame);
}

} // namespace kinolark::shell
