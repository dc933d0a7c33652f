#pragma once

#include <QOpenGLWidget>

struct mpv_render_context;

namespace kinolark::player {
class Player;
}

namespace kinolark::shell {

// Draws the player's video with OpenGL, through libmpv's render API.
class GlVideoSurface : public QOpenGLWidget
{
    Q_OBJECT
public:
    GlVideoSurface(player::Player *player, QWidget *parent = nullptr);
    ~GlVideoSurface() override;

    // Makes the renderer if it can be made now; true once it exists. When
    // the widget has no GL context yet, ready() follows once it has.
    bool prepare();
    // Shows black until the next frame, so a new episode never opens on the
    // last picture of the one before.
    void clear();

signals:
    void ready();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    static void frameReady(void *context);
    void contextGoing();
    void createRenderer();
    void releaseRenderer();

    player::Player *m_player;
    mpv_render_context *m_renderer = nullptr;
    bool m_wanted = false;
    bool m_blank = true;
};

} // namespace kinolark::shell
