#include "scripted_server.h"
#include "site/bytes_to_text.h"
#include "site/http_get_text.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace kinolark::site;

class tst_HttpGetText : public QObject
{
    Q_OBJECT

private slots:
    void answersAndFailures_data()
    {
        QTest::addColumn<ScriptedServer::Reply>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        const QByteArray utf8 = QStringLiteral("1$8$天下$t&&").toUtf8();
        QTest::newRow("utf-8 answer") << ScriptedServer::Reply(200, utf8) << true << QStringLiteral("1$8$天下$t&&");
        QTest::newRow("gb2312 answer") << ScriptedServer::Reply(200, QByteArray::fromHex("d6d0cec4")) << true
                                       << QStringLiteral("中文");
        QTest::newRow("empty answer") << ScriptedServer::Reply(200, QByteArray()) << true << QString();
        QTest::newRow("204") << ScriptedServer::Reply(204, QByteArray()) << true << QString();
        QTest::newRow("error page with $") << ScriptedServer::Reply(500, "<p>error $ here</p>") << false << QString();
        QTest::newRow("404") << ScriptedServer::Reply(404, "1$8$x$y&&") << false << QString();
        QTest::newRow("cut body") << ScriptedServer::Reply(200, utf8).cut() << false
                                  << QString();
        QTest::newRow("stalled body") << ScriptedServer::Reply(200, utf8).stalled()
                                      << false << QString();
        QTest::newRow("no answer") << ScriptedServer::Reply(200, utf8).hanging() << false << QString();
        QTest::newRow("redirect loop")
            << ScriptedServer::Reply(302).header("Location: /Uploads/xml.php?Lx=Up") << false << QString();
    }
    void answersAndFailures()
    {
        QFETCH(ScriptedServer::Reply, reply);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on(QStringLiteral("Lx=Up"), reply);
        QNetworkAccessManager network;
        HttpOptions options;
        options.timeoutMs = 300;
        const HttpAnswer answer = HttpGetText(network, server.endpoint() + QStringLiteral("Lx=Up"), options);
        QCOMPARE(answer.ok, ok);
        QCOMPARE(answer.text, text);
        if (!ok)
            QVERIFY(!answer.error.isEmpty());
    }

    void refusedConnection()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        QNetworkAccessManager network;
        const HttpAnswer answer = HttpGetText(network, QStringLiteral("http://127.0.0.1:%1/x").arg(port));
        QVERIFY(!answer.ok);
        QCOMPARE(answer.status, 0);
    }

    void tooLargeAndCancelled()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.setFallback(ScriptedServer::Reply(200, QByteArray(256 * 1024, 'a')));
        QNetworkAccessManager network;
        HttpOptions small;
        small.maxBytes = 1000;
        QVERIFY(!HttpGetText(network, server.site() + QStringLiteral("/big"), small).ok);
        HttpOptions cancel;
        cancel.progress = [](qint64, qint64) { return false; };
        QVERIFY(!HttpGetText(network, server.site() + QStringLiteral("/big"), cancel).ok);
        QVERIFY(HttpGetText(network, server.site() + QStringLiteral("/big")).ok);
    }

    // Other events, and another request, run while a request waits.
    void nestedRequestDuringWait()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on(QStringLiteral("slow"), ScriptedServer::Reply(200, "slow answer").delay(300));
        server.on(QStringLiteral("fast"), ScriptedServer::Reply(200, "fast answer"));
        QNetworkAccessManager network;
        HttpAnswer inner;
        QTimer::singleShot(50, this, [&] { inner = HttpGetText(network, server.site() + QStringLiteral("/?fast")); });
        const HttpAnswer outer = HttpGetText(network, server.site() + QStringLiteral("/?slow"));
        QCOMPARE(inner.text, QStringLiteral("fast answer"));
        QCOMPARE(outer.text, QStringLiteral("slow answer"));
    }

    void charsetDetection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("two-byte character alone") << QByteArray::fromHex("c3a9") << false;
        QTest::newRow("bom then anything") << QByteArray::fromHex("efbbbfd6d0ff") << true;
        QTest::newRow("bom alone") << QByteArray::fromHex("efbbbf") << true;
        QTest::newRow("ascii only") << QByteArray("Up1\r\n") << false;
        QTest::newRow("gb2312 character") << QByteArray::fromHex("d6d041") << false;
        QTest::newRow("gb2312 that fits a pattern") << QByteArray::fromHex("c4a341") << true;
        QTest::newRow("chinese in utf-8") << QStringLiteral("abc 天下 def").toUtf8() << true;
        QTest::newRow("four-byte sequence") << QStringLiteral("ab😀cd").toUtf8() << true;
        QTest::newRow("four-byte cut") << QByteArray("ab") + QByteArray::fromHex("f09f98") << false;
        QTest::newRow("lead byte last") << QByteArray("abc") + QByteArray::fromHex("e5") << false;
        QTest::newRow("three-byte lead last but one") << QByteArray("abc") + QByteArray::fromHex("e5a4") << false;
        QTest::newRow("continuation in lead position") << QByteArray("abc") + QByteArray::fromHex("80") << false;
        QTest::newRow("overlong passes") << QByteArray::fromHex("c0af41") << true;
        QTest::newRow("long ascii then chinese") << QByteArray(1000, 'a') + QStringLiteral("天").toUtf8() << true;
        QTest::newRow("long ascii then gbk") << QByteArray(1001, 'a') + QByteArray::fromHex("d6d0") << false;
    }
    void charsetDetection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, utf8);
        QCOMPARE(IsUtf8Bytes(bytes), utf8);
    }

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("null") << QByteArray() << QString();
        QTest::newRow("short utf-8 read as gbk") << QByteArray::fromHex("c3a9") << QStringLiteral("茅");
        QTest::newRow("bom dropped") << QByteArray::fromHex("efbbbf") + QStringLiteral("天下").toUtf8()
                                     << QStringLiteral("天下");
        QTest::newRow("gbk") << QByteArray::fromHex("d6d0cec4") << QStringLiteral("中文");
        QTest::newRow("gbk beyond gb2312") << QByteArray::fromHex("eb8a41") << QStringLiteral("電A");
        QTest::newRow("emoji") << QStringLiteral("a😀b").toUtf8() << QStringLiteral("a😀b");
        QTest::newRow("gbk cut at the end") << QByteArray::fromHex("d6d0ce") << QStringLiteral("中\ufffd");
        QTest::newRow("lone gbk lead byte") << QByteArray::fromHex("8a") << QStringLiteral("\ufffd");
    }
    void decoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(BytesToText(bytes), text);
    }
};

QTEST_GUILESS_MAIN(tst_HttpGetText)
#include "tst_http_get_text.moc"
