#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;
class QPushButton;
class QRect;
class QWidget;

namespace kinolark::shell {

// The panels over the player's picture: an address the player cannot play
// (with copy and the external player), the end of the last episode (play
// again, or back), and the word that the opening was skipped (with a way to
// play it after all).
class PlayerPanels : public QObject
{
    Q_OBJECT
public:
    explicit PlayerPanels(QWidget *view);

    void showUnsupported(const QString &text);
    void showEnd();
    void showOpeningSkipped(int ms);
    void hideAll();
    void layOut(const QRect &area, int bottomMargin);

    bool showsUnsupported() const;
    bool showsEnd() const;
    bool showsOpeningSkipped() const;
    QString unsupportedText() const;
    // A panel with buttons of its own covers the picture.
    bool covers() const { return showsUnsupported() || showsEnd(); }

signals:
    void copyRequested();
    void openRequested();
    void replayRequested();
    void backRequested();
    void restartRequested();

private:
    QWidget *m_unsupported = nullptr;
    QLabel *m_unsupportedText = nullptr;
    QWidget *m_end = nullptr;
    QWidget *m_skipped = nullptr;
    QTimer m_skippedTimer;
};

} // namespace kinolark::shell
