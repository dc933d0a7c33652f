#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <QUrl>

namespace kinolark::shell {

// Where the play page hands its address to the program. The program names
// the one page it wrote and is about to show, and the address it wrote into
// it; only that address, asked for by that page, is taken, once per showing.
class PlayHandOff : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The play page about to be shown, for `address`; an earlier one no
    // longer counts.
    void expect(const QUrl &page, const QString &address);
    // No page may hand over any more.
    void cancel();
    // Whether a request made in the page `page` may hand over now.
    bool accepts(const QUrl &page) const;
    // The page's player settings; taken when accepted, else ignored.
    bool deliver(const QUrl &page, const QString &address, const QSize &size);
    // The same, as the player script asks: the address of the player with
    // the settings in its query ("url", "width", "height").
    bool deliverRequest(const QUrl &page, const QUrl &request);

signals:
    void handedOff(const QString &address, const QSize &size);

private:
    QUrl m_page;
    QString m_address;
};

} // namespace kinolark::shell
