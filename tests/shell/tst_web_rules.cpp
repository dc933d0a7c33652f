// Which addresses count as the user's own network, for every page.
#include "shell/local_page_requests.h"

#include <QTest>

using kinolark::shell::LocalPageRequests;

class tst_WebRules : public QObject
{
    Q_OBJECT

private slots:
    void privateAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("isPrivate");
        const QList<QPair<QString, bool>> rows{
            {"http://127.0.0.1:18119/", true},       {"http://127.8.9.10/", true},
            {"http://10.1.2.3/", true},              {"http://172.16.0.1/", true},
            {"http://172.31.255.255/", true},        {"http://172.32.0.1/", false},
            {"http://192.168.1.1/", true},           {"http://192.169.1.1/", false},
            {"http://100.64.0.1/", true},            {"http://100.127.255.255/", true},
            {"http://100.128.0.1/", false},          {"http://169.254.169.254/", true},
            {"http://0.0.0.0/", true},               {"http://[::1]/", true},
            {"http://[fe80::1]/", true},             {"http://[fd00::1]/", true},
            {"http://[::ffff:127.0.0.1]/", true},    {"http://[2001:db8::1]/", false},
            {"http://localhost:8080/", true},        {"http://a.localhost/", true},
            {"http://printer.local/", true},         {"http://router.lan/", true},
            {"http://intranet/", true},              {"http://LOCALHOST./", true},
            {"http://2130706433/", true},            {"http://0x7f000001/", true},
            {"http://www.lumovane.com/", false},     {"https://203.0.113.7/", false},
            {"kinolark://player/lib/player.js", false},
        };
        for (const auto &[url, isPrivate] : rows)
            QTest::newRow(qPrintable(url)) << url << isPrivate;
    }
    void privateAddresses()
    {
        QFETCH(QString, url);
        QFETCH(bool, isPrivate);
        QCOMPARE(LocalPageRequests::isPrivateAddress(QUrl(url)), isPrivate);
    }

    // The site's own origin stays reachable where it lives, loopback too.
    void theSiteIsReachable()
    {
        const QList<QUrl> origins{QUrl("http://127.0.0.1:8000")};
        const QUrl local = QUrl::fromLocalFile("/app/home.htm");
        const QUrl sitePage("http://127.0.0.1:8000/page.html");
        QVERIFY(LocalPageRequests::allowed(local, QUrl("http://127.0.0.1:8000/Uploads/soft.js"), false, origins));
        QVERIFY(!LocalPageRequests::allowed(local, QUrl("http://127.0.0.1:8001/"), false, origins));
        QVERIFY(!LocalPageRequests::allowed(sitePage, QUrl("http://127.0.0.1:8001/"), false, origins));
        QVERIFY(!LocalPageRequests::allowed(sitePage, QUrl("http://192.168.1.1/"), true, origins));
        QVERIFY(LocalPageRequests::allowed(sitePage, QUrl("http://cdn.example/x.js"), false, origins));
        QVERIFY(!LocalPageRequests::allowed(local, QUrl("http://cdn.example/x.js"), false, origins));
    }
};

QTEST_APPLESS_MAIN(tst_WebRules)
#include "tst_web_rules.moc"
