#pragma once

#include "sample_catalogue.h"

#include <QFile>
#include <QHttpServer>
#include <QObject>
#include <QString>

#include <memory>

class QHttpServerRequest;
class QHttpServerResponder;

namespace kinolark::sample {

// The catalogue site on 127.0.0.1, serving a SampleCatalogue: the four
// catalogue queries under /Uploads/xml.php and the pages and scripts the
// program's pages link to.
class SampleSite : public QObject
{
    Q_OBJECT
public:
    enum class Charset { Alternating, Utf8, Gb2312 };

    struct Settings
    {
        int titles = 420;
        QString versionFlag = QStringLiteral("1"); // "Lx=Up" answers "Up" + this
        Charset allCharset = Charset::Alternating; // of the "Lx=All" answers
        int detailDelayMs = 0;                     // before each "Lx=Dy" and "Lx=Nr" answer
        int allDelayMs = 0;                        // before each "Lx=All" answer
        QString logFile;                           // one line per request; "-" for stdout
        QString mediaDir;                          // served under /media/; some play lists point there
    };

    explicit SampleSite(Settings settings, QObject *parent = nullptr);
    ~SampleSite() override;

    // Listens on 127.0.0.1; 0 takes any free port. Returns the port, 0 on failure.
    quint16 listen(quint16 port);

    // The play list the site sends for `id`: the catalogue's, or with media
    // one that points at the media on this site.
    QString playList(qint64 id) const;
    SampleCatalogue &catalogue() { return m_catalogue; }

private:
    void catalogueQuery(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    void log(const QHttpServerRequest &request);
    void serveMedia(const QHttpServerRequest &request, QHttpServerResponder &&responder);

    Settings m_settings;
    SampleCatalogue m_catalogue;
    QHttpServer m_server;
    std::unique_ptr<QFile> m_log;
    QString m_address; // http://127.0.0.1:<port>, once listening
};

} // namespace kinolark::sample
