#pragma once

#include <QImage>
#include <QWidget>

struct mpv_render_context;

namespace kinolark::player {
class Player;
}

namespace kinolark::shell {

// Draws the player's video without OpenGL: libmpv's software renderer paints
// each frame into an image that the widget shows. For displays where Qt has
// no working OpenGL.
class SoftwareVideoSurface : public QWidget
{
    Q_OBJECT
public:
    SoftwareVideoSurface(player::Player *player, QWidget *parent = nullptr);
    ~SoftwareVideoSurface() override;

    // Makes the renderer; true once it exists.
    bool prepare();
    // Shows black until the next frame.
    void clear();

signals:
    void ready(); // never needed: prepare() answers at once

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static void frameReady(void *context);
    Q_INVOKABLE void renderFrame();

    player::Player *m_player;
    mpv_render_context *m_renderer = nullptr;
    QImage m_frame;
};

} // namespace kinolark::shell
