#include "sample_catalogue.h"
#include "sample_site_process.h"
#include "site/bytes_to_text.h"
#include "site/http_get_text.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using kinolark::sample::SampleCatalogue;
using kinolark::sample::SampleTitle;
using namespace kinolark::site;

class tst_SampleSite : public QObject
{
    Q_OBJECT

private slots:
    // The default data reaches every letter node of every category, and has
    // the awkward cases a real catalogue has.
    void defaultDataCoversTheTree()
    {
        const SampleCatalogue catalogue(420);
        QSet<QString> nodes;
        int quotes = 0, separators = 0, upper = 0, withoutPlayList = 0, crlf = 0;
        for (const SampleTitle &t : catalogue.titles()) {
            const QString letter = t.letter.toLower();
            const QString initial = letter.at(0).isDigit() ? QStringLiteral("0-9") : letter;
            nodes.insert(QString::number(t.category) + QLatin1Char('/') + initial);
            quotes += t.name.contains(QLatin1Char('\'')) || t.name.contains(QLatin1Char('"'));
            for (const QString &field : {t.name, t.letter, t.extra})
                separators += field.contains(QLatin1Char('$')) || field.contains(QStringLiteral("&&"));
            upper += t.letter != t.letter.toLower();
            const QString list = catalogue.playList(t.id);
            withoutPlayList += !list.contains(QLatin1Char('$'));
            crlf += list.contains(QStringLiteral("\r\n"));
        }
        QCOMPARE(nodes.size(), 15 * 28);
        QVERIFY(quotes > 0);
        QCOMPARE(separators, 0);
        QVERIFY(upper > 0);
        QVERIFY(withoutPlayList > 0);
        QVERIFY(crlf > 0);
        QCOMPARE(SampleCatalogue(420).allAnswer(0), catalogue.allAnswer(0)); // deterministic
    }

    // Every answer is read back in the charset it was sent in.
    void answersDecodeAsSent()
    {
        const SampleCatalogue catalogue(420);
        for (const SampleTitle &t : catalogue.titles()) {
            for (const QString &text : {catalogue.playList(t.id), catalogue.description(t.id)}) {
                const QByteArray bytes = SampleCatalogue::encode(text, SampleCatalogue::inGb2312(t.id));
                QCOMPARE(BytesToText(bytes), text);
            }
        }
        for (qint64 above : {0, 1, 200}) {
            for (bool gb2312 : {false, true}) {
                const QString text = catalogue.allAnswer(above);
                QCOMPARE(BytesToText(SampleCatalogue::encode(text, gb2312)), text);
            }
        }
    }

    void largeCatalogueIsQuick()
    {
        QElapsedTimer clock;
        clock.start();
        const SampleCatalogue catalogue(200000);
        QCOMPARE(catalogue.titles().size(), size_t(200000));
        QVERIFY(catalogue.allAnswer(0).count(QStringLiteral("&&")) == 200000);
        qInfo("200000 titles and their answer in %lld ms", clock.elapsed());
    }

    void servesQueriesAndPages()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("requests.log"));
        SampleSiteProcess site;
        QVERIFY2(site.start({"--titles", "30", "--version-flag", "7", "--log", log}), qPrintable(site.error()));
        QNetworkAccessManager network;
        const SampleCatalogue catalogue(30);
        const auto get = [&](const QString &path) { return HttpGetText(network, site.site() + path); };

        HttpAnswer answer = get(QStringLiteral("/Uploads/xml.php?Lx=All&Id=20"));
        QVERIFY(answer.ok);
        QCOMPARE(answer.text, catalogue.allAnswer(20));
        QVERIFY(answer.text.startsWith(QStringLiteral("21$"))); // ids 1-10, 12-21, 23-...
        QVERIFY(answer.text.endsWith(QStringLiteral("&&")));
        QCOMPARE(get(QStringLiteral("/Uploads/xml.php?Lx=Up")).text, QStringLiteral("Up7"));
        QCOMPARE(get(QStringLiteral("/Uploads/xml.php?Lx=Dy&Id=3")).text, catalogue.playList(3));
        QCOMPARE(get(QStringLiteral("/Uploads/xml.php?Lx=Nr&Id=4")).text, catalogue.description(4));
        QVERIFY(get(QStringLiteral("/Uploads/xml.php?Lx=Dy&Id=999")).text.isEmpty());
        for (const char *page : {"/kinol_soft.html", "/url.php?Lx=Baidu", "/Uploads/soft.js", "/Uploads/loading.html"})
            QVERIFY2(get(QLatin1String(page)).ok, page);
        QCOMPARE(get(QStringLiteral("/nothing")).status, 404);

        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.value(0), QByteArray("/Uploads/xml.php?Lx=All&Id=20"));
        QCOMPARE(lines.value(1), QByteArray("/Uploads/xml.php?Lx=Up"));
        QVERIFY(lines.contains("/url.php?Lx=Baidu"));
        QVERIFY(lines.contains("/Uploads/player.html")); // the redirect was followed
    }

    // A slow answer whose client has given up does not harm the site.
    void slowAnswers()
    {
        SampleSiteProcess site;
        QVERIFY2(site.start({"--titles", "10", "--delay-ms", "400"}), qPrintable(site.error()));
        QNetworkAccessManager network;
        HttpOptions impatient;
        impatient.timeoutMs = 100;
        QVERIFY(!HttpGetText(network, site.endpoint() + QStringLiteral("Lx=Dy&Id=1"), impatient).ok);
        QElapsedTimer clock;
        clock.start();
        const HttpAnswer answer = HttpGetText(network, site.endpoint() + QStringLiteral("Lx=Dy&Id=2"));
        QVERIFY(answer.ok);
        QVERIFY(clock.elapsed() >= 350);
        QVERIFY(answer.text.contains(QLatin1Char('$')));
        // Catalogue and version answers are not slowed.
        clock.restart();
        QVERIFY(HttpGetText(network, site.endpoint() + QStringLiteral("Lx=Up")).ok);
        QVERIFY(clock.elapsed() < 350);
        QCOMPARE(site.process().state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(tst_SampleSite)
#include "tst_sample_site.moc"
