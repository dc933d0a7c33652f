// Downloads, headless: the remux worker against the real sample site (MP4,
// HLS, encrypted HLS, and the faults it can serve) and a scripted one (an
// error page, a cut, a stall), the queue around it, the rules for names and
// for the addresses a playlist may hold.

#include "download/download_manager.h"
#include "download/file_names.h"
#include "download/hls_playlist.h"
#include "download/remux_job.h"
#include "download_media.h"
#include "player/mpv_library.h"
#include "player/player.h"
#include "sample_site_process.h"
#include "scripted_server.h"
#include "sql_exec.h"
#include "store/catalogue.h"

#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSqlQuery>
#include <QTest>
#include <QSignalSpy>

#include <cmath>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace kinolark;
using download::DownloadManager;
using download::RemuxJob;
using library::DownloadState;

namespace {

RemuxJob::Settings jobSettings(const QString &root)
{
    RemuxJob::Settings settings;
    settings.root = root;
    settings.stallTimeoutMs = 1500;
    settings.reserveBytes = 0;
    return settings;
}

} // namespace

class tst_Download : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QVERIFY(makeMedia(m_folder.filePath("media")));
        QVERIFY2(m_site.start({"--titles", "60", "--media", m_folder.filePath("media")}), qPrintable(m_site.error()));
        m_clip = readAll(m_folder.filePath("media/sample.mp4"));
        QVERIFY(m_clip.size() > 10000);
        QVERIFY(m_server.listen());
        m_server.on("/page.mp4", ScriptedServer::Reply(200, "<!DOCTYPE html>\n<html><body>登录</body></html>"));
        m_server.on("/cut.mp4", ScriptedServer::Reply(200, m_clip).type("video/mp4").cut());
        m_server.on("/stall.mp4", ScriptedServer::Reply(200, m_clip).type("video/mp4").stalled());
        m_server.on("/hang.mp4", ScriptedServer::Reply().hanging());
        m_server.on("/slow.mp4", ScriptedServer::Reply(200, m_clip).type("video/mp4").paced(100000));
        m_server.on("/slower.mp4", ScriptedServer::Reply(200, m_clip).type("video/mp4").paced(15000));
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("episode");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "大江大河" << "第01集" << 1 << "大江大河 - 第01集.mp4";
        QTest::newRow("taken already") << "大江大河" << "第01集" << 2 << "大江大河 - 第01集 (2).mp4";
        QTest::newRow("path separators") << "AC/DC\\Live" << "第1/2集" << 1 << "AC_DC_Live - 第1_2集.mp4";
        QTest::newRow("refused elsewhere") << "a:b*c?d\"e<f>g|h" << "第1集" << 1 << "a_b_c_d_e_f_g_h - 第1集.mp4";
        QTest::newRow("nul and controls") << QString::fromUtf16(u"片\u0000名\n\t\u001b", 6) << "第1集" << 1
                                          << "片 名 - 第1集.mp4";
        QTest::newRow("dots only") << ".." << "第1集" << 1 << "未命名 - 第1集.mp4";
        QTest::newRow("parent folders") << "../../etc/passwd" << "第1集" << 1 << "_.._etc_passwd - 第1集.mp4";
        QTest::newRow("hidden") << ".bashrc" << "第1集" << 1 << "bashrc - 第1集.mp4";
        QTest::newRow("direction override") << QString::fromUtf16(u"abc\u202Egnp.exe") << "第1集" << 1
                                            << "abcgnp.exe - 第1集.mp4";
        QTest::newRow("no episode name") << "片名" << "" << 1 << "片名.mp4";
        QTest::newRow("episode name only controls") << "片名" << "\x01\x02" << 1 << "片名.mp4";
        QTest::newRow("ideographic spaces") << QString::fromUtf16(u"\u3000片名\u3000\u3000续") << "第1集" << 1
                                            << "片名 续 - 第1集.mp4";
    }

    void fileNames()
    {
        QFETCH(QString, title);
        QFETCH(QString, episode);
        QFETCH(int, number);
        QFETCH(QString, name);
        QCOMPARE(download::fileNameFor(title, episode, number), name);
    }

    void longNamesAreCutBetweenCharacters_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("episode");
        QTest::newRow("10 000 Chinese") << QString(10000, QChar(u'好')) << "第1集";
        QTest::newRow("10 000 emoji") << QString::fromUtf16(u"🎬").repeated(5000) << "第1集";
        QTest::newRow("10 000 Latin") << QString(10000, 'a') << "第1集";
        QTest::newRow("long episode") << "片名" << QString(10000, QChar(u'集'));
        QTest::newRow("lone surrogates") << QString(300, QChar(0xd83c)) + "尾" << "第1集";
    }

    void longNamesAreCutBetweenCharacters()
    {
        QFETCH(QString, title);
        QFETCH(QString, episode);
        for (const QString &name : {download::fileNameFor(title, episode), download::fileNameFor(title, episode, 12),
                                    download::folderNameFor(title)}) {
            const QByteArray bytes = name.toUtf8();
            QVERIFY2(bytes.size() <= download::maxNameBytes, qPrintable(QString::number(bytes.size())));
            QVERIFY(bytes.size() + 5 <= 255); // with ".part"
            QCOMPARE(QString::fromUtf8(bytes).toUtf8(), bytes);
            QVERIFY(!name.contains(QChar::ReplacementCharacter));
            QVERIFY(!name.isEmpty());
        }
        QVERIFY(download::fileNameFor(title, episode).endsWith(".mp4"));
    }

    void playlistAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("resolved"); // empty: refused
        QTest::newRow("beside") << "seg1.ts" << "http://site.example/v/a/seg1.ts";
        QTest::newRow("up") << "../b/seg1.ts?t=1" << "http://site.example/v/b/seg1.ts?t=1";
        QTest::newRow("host root") << "/k/key" << "http://site.example/k/key";
        QTest::newRow("other host") << "https://cdn.example/x.ts" << "https://cdn.example/x.ts";
        QTest::newRow("scheme relative") << "//cdn.example/x.ts" << "http://cdn.example/x.ts";
        QTest::newRow("space escaped") << "seg 1.ts" << "http://site.example/v/a/seg%201.ts";
        QTest::newRow("local file") << "file:///etc/passwd" << "";
        QTest::newRow("local file, upper case") << "FILE:///etc/passwd" << "";
        QTest::newRow("data") << "data:video/mp2t;base64,AAAA" << "";
        QTest::newRow("concat") << "concat:/etc/passwd|/etc/shadow" << "";
        QTest::newRow("subfile") << "subfile,,start,0,end,100,,:/etc/passwd" << "";
        QTest::newRow("crypto over a file") << "crypto+file:///etc/passwd" << "";
        QTest::newRow("http without host") << "http:/etc/passwd" << "";
        QTest::newRow("drive letter") << "C:\\x.ts" << "";
        QTest::newRow("control character") << "seg\x01.ts" << "";
        QTest::newRow("pipe") << "pipe:0" << "";
    }

    void playlistAddresses()
    {
        QFETCH(QString, address);
        QFETCH(QString, resolved);
        const auto url = download::HlsPlaylist::resolve(address, QUrl("http://site.example/v/a/index.m3u8"));
        QCOMPARE(url ? url->toString(QUrl::FullyEncoded) : QString(), resolved);
    }

    void playlistIsCheckedWholeAndMadeAbsolute()
    {
        const QUrl base("http://site.example/v/index.m3u8");
        const auto media = download::HlsPlaylist::parse(
            "\xEF\xBB\xBF#EXTM3U\r\n#EXT-X-KEY:METHOD=AES-128,URI=\"k/1.key\",IV=0x01\r\n#EXTINF:4.5,\r\n"
            "a/0.ts\r\n#EXTINF:4,\r\n../1.ts\r\n#EXT-X-ENDLIST\r\n",
            base);
        QVERIFY(media.ok());
        QVERIFY(!media.isMaster());
        QVERIFY(media.ended());
        QVERIFY(media.encrypted());
        QCOMPARE(media.duration(), 8.5);
        QCOMPARE(media.keys(), QList<QUrl>{QUrl("http://site.example/v/k/1.key")});
        QCOMPARE(media.media(), (QList<QUrl>{QUrl("http://site.example/v/a/0.ts"), QUrl("http://site.example/1.ts")}));
        QCOMPARE(media.text(), QByteArray("#EXTM3U\n#EXT-X-KEY:METHOD=\"AES-128\",URI=\"http://site.example/v/k/1.key\","
                                          "IV=\"0x01\"\n#EXTINF:4.5,\nhttp://site.example/v/a/0.ts\n#EXTINF:4,\n"
                                          "http://site.example/1.ts\n#EXT-X-ENDLIST\n"));

        // A key, an init section or a variant elsewhere refuses the whole playlist,
        // quoted or not.
        for (const QByteArray &bad : {QByteArray("#EXT-X-KEY:METHOD=AES-128,URI=file:///k\n"),
                                      QByteArray("#EXT-X-MAP:URI=\"data:,x\"\n"),
                                      QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=1\nconcat:/a|/b\n"),
                                      QByteArray("#EXT-X-MEDIA:TYPE=AUDIO,URI=\"file:///a.m3u8\"\n")}) {
            const auto refused = download::HlsPlaylist::parse("#EXTM3U\n" + bad + "#EXTINF:4,\na.ts\n", base);
            QVERIFY2(!refused.ok() && !refused.refused().isEmpty(), bad.constData());
        }
        const auto master = download::HlsPlaylist::parse(
            "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000\nlow/index.m3u8\n"
            "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",URI=\"audio/index.m3u8\"\n", base);
        QVERIFY(master.ok());
        QVERIFY(master.isMaster());
        QCOMPARE(master.playlists(), (QList<QUrl>{QUrl("http://site.example/v/low/index.m3u8"),
                                                  QUrl("http://site.example/v/audio/index.m3u8")}));
        static const char withNul[] = "#EXTM3U\n#EXTINF:4,\na\0.ts\n";
        QVERIFY(!download::HlsPlaylist::parse(QByteArray(withNul, sizeof withNul - 1), base).ok());
        QVERIFY(!download::HlsPlaylist::parse("<html>", base).ok());
    }

    void worker_data()
    {
        QTest::addColumn<bool>("scripted"); // from the scripted server, not the sample site
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("failure"); // part of the reason; empty when it is done
        QTest::newRow("mp4") << false << "/media/sample.mp4" << "";
        QTest::newRow("mp4, index at the end") << false << "/media/late-index.mp4" << "";
        QTest::newRow("hls") << false << "/media/hls/sample.m3u8" << "";
        QTest::newRow("encrypted hls") << false << "/media/hls-aes/sample.m3u8" << "";
        QTest::newRow("segments without extension") << false << "/media/hls-odd/sample.m3u8" << "";
        QTest::newRow("404") << false << "/media/missing.mp4" << "HTTP 404";
        QTest::newRow("wrong key") << false << "/media/hls-wrongkey/sample.m3u8" << "无法解密";
        QTest::newRow("key 404") << false << "/media/hls-nokey/sample.m3u8" << "无法解密";
        QTest::newRow("segment at a local file") << false << "/media/hls-local/sample.m3u8" << "file:///etc/passwd";
        QTest::newRow("segment at concat") << false << "/media/hls-concat/sample.m3u8" << "concat:";
        QTest::newRow("segment 404 in the middle") << false << "/media/hls-gone/sample.m3u8" << "视频片段无法取得";
        QTest::newRow("error page") << true << "/page.mp4" << "不是视频";
        QTest::newRow("cut in the middle") << true << "/cut.mp4" << "没有下载完整";
        QTest::newRow("stalls in the middle") << true << "/stall.mp4" << "没有响应";
        QTest::newRow("never answers") << true << "/hang.mp4" << "没有响应";
    }

    void worker()
    {
        QFETCH(bool, scripted);
        QFETCH(QString, path);
        QFETCH(QString, failure);
        QTemporaryDir root;
        const QString file = root.filePath("片名/片名 - 第1集.mp4");
        JobThread job((scripted ? m_server.site() : m_site.site()) + path, file, jobSettings(root.path()));
        QVERIFY(job.wait());
        const RemuxJob::Result &result = job.result();
        QVERIFY(!QFileInfo::exists(RemuxJob::partPath(file)));
        if (failure.isEmpty()) {
            QVERIFY2(result.outcome == RemuxJob::Outcome::Done, qPrintable(result.reason));
            QCOMPARE(filesUnder(root.path()), QStringList{file});
            QCOMPARE(result.bytes, QFileInfo(file).size());
            QVERIFY2(std::abs(result.duration - 4) < 0.3, qPrintable(QString::number(result.duration)));
        } else {
            QCOMPARE(result.outcome, RemuxJob::Outcome::Failed);
            QVERIFY2(result.reason.contains(failure), qPrintable(result.reason));
            QVERIFY(!result.diskFull);
            QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     QStringList());
        }
    }

    // The sample site's encrypted title, downloaded from its play list,
    // plays in libmpv to its end with both its streams and the length it had.
    void encryptedDownloadPlays()
    {
        const QString address = firstAddress(39);
        QVERIFY2(address.endsWith("/media/hls-aes/sample.m3u8"), qPrintable(address));
        const QByteArray key = get(m_site.site() + "/media/hls-aes/sample.key", "bytes=4-");
        QCOMPARE(key, readAll(m_folder.filePath("media/hls-aes/sample.key")).mid(4));
        QTemporaryDir root;
        const QString file = root.filePath("加密/加密 - 第1集.mp4");
        JobThread job(address, file, jobSettings(root.path()));
        QVERIFY(job.wait());
        QVERIFY2(job.result().outcome == RemuxJob::Outcome::Done, qPrintable(job.result().reason));
        m_server.on("/downloaded.mp4", ScriptedServer::Reply(200, readAll(file)).type("video/mp4"));

        player::Player player({false, false, 5});
        QVERIFY(player.handle());
        double speed = 4;
        player::MpvLibrary::get().set_property(player.handle(), "speed", MPV_FORMAT_DOUBLE, &speed);
        QSignalSpy stopped(&player, &player::Player::stopped);
        player.play(m_server.site() + "/downloaded.mp4");
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), player::Player::State::Playing, 15000);
        int64_t tracks = 0;
        player::MpvLibrary::get().get_property(player.handle(), "track-list/count", MPV_FORMAT_INT64, &tracks);
        QCOMPARE(tracks, 2);
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 15000);
        const auto stop = stopped.at(0).at(0).value<player::Player::Stop>();
        QVERIFY(stop.reachedEnd);
        QVERIFY2(std::abs(stop.duration - job.result().duration) < 0.2, qPrintable(QString::number(stop.duration)));
    }

    void localSegmentTitleIsRefused()
    {
        const QString address = firstAddress(56);
        QVERIFY2(address.endsWith("/media/hls-local/sample.m3u8"), qPrintable(address));
        QTemporaryDir root;
        JobThread job(address, root.filePath("本地/本地 - 第1集.mp4"), jobSettings(root.path()));
        QVERIFY(job.wait());
        QCOMPARE(job.result().reason, QString("播放列表指向不允许的地址（file:///etc/passwd），已拒绝下载"));
        QCOMPARE(filesUnder(root.path()), QStringList());
    }

    // Too little room for the reserve kept when the size is unknown: it
    // does not begin, and says why as a full disk does.
    void spaceIsCheckedBeforeStarting()
    {
        QTemporaryDir root;
        RemuxJob::Settings settings = jobSettings(root.path());
        settings.reserveBytes = qint64(1) << 60;
        JobThread job(m_site.site() + "/media/hls/sample.m3u8", root.filePath("片名/片名 - 第1集.mp4"), settings);
        QVERIFY(job.wait());
        QCOMPARE(job.result().reason, QString("磁盘空间不足"));
        QVERIFY(job.result().diskFull);
        QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void cancelEndsItWithinASecond()
    {
        QTemporaryDir root;
        const QString file = root.filePath("片名/片名 - 第1集.mp4");
        JobThread job(m_server.site() + "/slower.mp4", file, jobSettings(root.path()));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(RemuxJob::partPath(file)), 10000);
        QVERIFY(job.job().progress().received > 0);
        job.job().cancel();
        QVERIFY(job.wait(1000));
        QCOMPARE(job.result().outcome, RemuxJob::Outcome::Cancelled);
        QCOMPARE(filesUnder(root.path()), QStringList());
    }

    // The title's folder removed while its episode downloads: that one
    // fails and says so; the next makes the folder again.
    void folderDeletedWhileRunning()
    {
        QTemporaryDir root;
        const QString folder = root.filePath("片名");
        const QString file = folder + "/片名 - 第1集.mp4";
        {
            JobThread job(m_server.site() + "/slow.mp4", file, jobSettings(root.path()));
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(RemuxJob::partPath(file)), 10000);
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(job.wait());
            QCOMPARE(job.result().outcome, RemuxJob::Outcome::Failed);
            QCOMPARE(job.result().reason, QString("下载文件夹已被删除"));
        }
        QVERIFY(!QFileInfo::exists(folder));
        JobThread again(m_site.site() + "/media/sample.mp4", file, jobSettings(root.path()));
        QVERIFY(again.wait());
        QCOMPARE(again.result().outcome, RemuxJob::Outcome::Done);
        QVERIFY(QFileInfo(file).isFile());
    }

    void downloadable_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("downloadable");
        QTest::newRow("http") << "http://vod.example/1.mp4" << true;
        QTest::newRow("https, upper case") << "HTTPS://vod.example/1.m3u8" << true;
        QTest::newRow("bdhd") << "bdhd://123|abc|1.rmvb" << false;
        QTest::newRow("qvod") << "qvod://123|abc|1.rmvb|" << false;
        QTest::newRow("ed2k") << "ed2k://|file|1.rmvb|123|abc|/" << false;
        QTest::newRow("thunder") << "thunder://QUFodHRwOi8vYS5iL2Mu" << false;
        QTest::newRow("magnet") << "magnet:?xt=urn:btih:abc" << false;
        QTest::newRow("rtmp") << "rtmp://live.example/app/stream" << false;
        QTest::newRow("local file") << "file:///etc/passwd" << false;
        QTest::newRow("no host") << "http:///1.mp4" << false;
        QTest::newRow("empty") << "" << false;
    }

    void downloadable()
    {
        QFETCH(QString, address);
        QFETCH(bool, downloadable);
        QCOMPARE(DownloadManager::isDownloadable(address), downloadable);
        QCOMPARE(DownloadManager::notDownloadableReason(address).isEmpty(), downloadable);
    }

    // Two at once, the rest wait in order; pause, continue and remove; the
    // finished file is where the row says, inside the downloads folder,
    // whatever the title is called.
    void queue()
    {
        QTemporaryDir dir;
        store::Catalogue catalogue;
        QVERIFY(catalogue.open(dir.filePath("data.db")) == store::Catalogue::OpenResult::Created);
        DownloadManager manager(catalogue.database(), managerSettings(dir.filePath("下载")));
        manager.start();
        const QString hostile = "../../" + QString::fromUtf16(u"片\u0000名/", 3) + QString(10000, QChar(u'长'));
        const QList<qint64> ids = manager.enqueueAll({
            {7, 0, "慢片", "第01集", m_server.site() + "/slow.mp4"},
            {7, 1, "慢片", "第02集", m_server.site() + "/slow.mp4?2"},
            {8, 0, hostile, "第01集", m_server.site() + "/slow.mp4?3"},
            {9, 0, "快片", "第01集", m_site.site() + "/media/sample.mp4"},
            {9, 1, "快片", "第02集", "bdhd://1|2|3.rmvb"},
        });
        QCOMPARE(ids.size(), 5);
        QCOMPARE(ids.at(4), 0);
        QCOMPARE(manager.count(), 4);
        QCOMPARE(manager.runningCount(), 2);
        QCOMPARE(manager.rows().constFirst().entry.id, ids.at(3)); // newest first
        QCOMPARE(manager.row(ids.at(2))->entry.state, DownloadState::Waiting);
        QCOMPARE(manager.enqueue(7, 0, "慢片", "第01集", m_server.site() + "/slow.mp4"), ids.at(0));

        QVERIFY(manager.pause(ids.at(0)));
        QCOMPARE(manager.row(ids.at(0))->stateText(), QString("已暂停"));
        QTRY_COMPARE(manager.row(ids.at(2))->entry.state, DownloadState::Running);
        QVERIFY(manager.remove(ids.at(3)));
        QTRY_COMPARE_WITH_TIMEOUT(manager.row(ids.at(1))->entry.state, DownloadState::Done, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(manager.row(ids.at(2))->entry.state, DownloadState::Done, 20000);
        QCOMPARE(manager.row(ids.at(0))->entry.state, DownloadState::Paused);
        QVERIFY(manager.resume(ids.at(0)));
        QTRY_COMPARE_WITH_TIMEOUT(manager.row(ids.at(0))->entry.state, DownloadState::Done, 20000);

        const QString root = QFileInfo(manager.root()).canonicalFilePath();
        QStringList files;
        for (const qint64 id : {ids.at(0), ids.at(1), ids.at(2)}) {
            const auto row = manager.row(id);
            QVERIFY(row->stateText().startsWith("已完成（"));
            QCOMPARE(QFileInfo(row->entry.filePath).size(), row->entry.bytes);
            QVERIFY2(QFileInfo(row->entry.filePath).canonicalFilePath().startsWith(root + "/"),
                     qPrintable(row->entry.filePath));
            files << row->entry.filePath;
        }
        files.sort();
        QCOMPARE(filesUnder(manager.root()), files);
        QCOMPARE(manager.localFileFor(7, 1), manager.row(ids.at(1))->entry.filePath);
        QCOMPARE(manager.localFileFor(9, 0), QString());
        QSqlQuery query(catalogue.database());
        QVERIFY(query.exec("select state, bytes > 0, finished is not null from download order by id"));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toString(), QString("done"));
            QVERIFY(query.value(1).toBool() && query.value(2).toBool());
        }
        QVERIFY(!query.next());

        const QString removed = manager.localFileFor(7, 1);
        QVERIFY(manager.remove(ids.at(1)));
        QVERIFY(!QFileInfo::exists(removed));
        QCOMPARE(manager.localFileFor(7, 1), QString());
        QCOMPARE(filesUnder(manager.root()).size(), 2);
    }

    // 500 episodes queued at once: one transaction, two running, and the
    // list told at most once per interval however much moves.
    void fiveHundredQueued()
    {
        QTemporaryDir dir;
        store::Catalogue catalogue;
        QVERIFY(catalogue.open(dir.filePath("data.db")) == store::Catalogue::OpenResult::Created);
        DownloadManager::Settings settings = managerSettings(dir.filePath("下载"));
        DownloadManager manager(catalogue.database(), settings);
        manager.start();
        QList<DownloadManager::Episode> episodes;
        for (int line = 0; line < 500; ++line)
            episodes.append({3, line, "长剧", QString("第%1集").arg(line + 1), m_server.site() + "/slower.mp4?" + QString::number(line)});
        QSignalSpy changed(&manager, &DownloadManager::changed);
        QElapsedTimer clock;
        clock.start();
        const QList<qint64> ids = manager.enqueueAll(episodes);
        QVERIFY(!ids.contains(0));
        QCOMPARE(manager.rows().size(), 500);
        QCOMPARE(manager.runningCount(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 4, 10000);
        QVERIFY2(clock.elapsed() >= 3 * settings.reportIntervalMs, qPrintable(QString::number(clock.elapsed())));
        QSqlQuery query(catalogue.database());
        QVERIFY(query.exec("select count(*) from download"));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 500);
    }

    // What an earlier run left: a download that was running restarts, its
    // .part and strays are removed (not one another program still writes),
    // and a finished row whose file has gone is finished no more.
    void restartAfterAnEarlierRun()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("下载");
        store::Catalogue catalogue;
        QVERIFY(catalogue.open(dir.filePath("data.db")) == store::Catalogue::OpenResult::Created);
        const QString running = root + "/片名/片名 - 第1集.mp4";
        const QString gone = root + "/片名/片名 - 第2集.mp4";
        const QString stray = root + "/别的/别的 - 第1集.mp4.part";
        const QString locked = root + "/别的/别的 - 第2集.mp4.part";
        QVERIFY(QDir().mkpath(root + "/片名") && QDir().mkpath(root + "/别的"));
        for (const QString &part : {RemuxJob::partPath(running), stray, locked})
            QVERIFY(writeAll(part, QByteArray(1000, 'x')));
        const QString insert = "insert into download (title_id, line, title_name, episode_name, address, file_path, "
                               "state, bytes, created) values (1, ?, '片名', ?, ?, ?, ?, ?, '2026-01-01T00:00:00.000Z')";
        QVERIFY(execSql(catalogue.database(), insert,
                        QVariantList{0, "第1集", QString(m_site.site() + "/media/sample.mp4"), running, "running", 0}));
        QVERIFY(execSql(catalogue.database(), insert,
                        QVariantList{1, "第2集", QString(m_site.site() + "/media/sample.mp4"), gone, "done", 123}));
        const int lock = ::open(QFile::encodeName(locked).constData(), O_RDONLY);
        QVERIFY(lock >= 0 && ::flock(lock, LOCK_EX) == 0);

        DownloadManager manager(catalogue.database(), managerSettings(root));
        manager.start();
        QVERIFY(!QFileInfo::exists(stray));
        QVERIFY(QFileInfo::exists(locked));
        const QList<download::DownloadRow> rows = manager.rows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).entry.state, DownloadState::Failed);
        QCOMPARE(rows.at(0).entry.error, QString("下载的文件已不存在"));
        QCOMPARE(rows.at(1).entry.state, DownloadState::Running);
        QTRY_COMPARE_WITH_TIMEOUT(manager.row(rows.at(1).entry.id)->entry.state, DownloadState::Done, 20000);
        QCOMPARE(QFileInfo(running).size(), manager.row(rows.at(1).entry.id)->entry.bytes);
        QVERIFY(!QFileInfo::exists(RemuxJob::partPath(running)));
        ::close(lock);
    }

private:
    QByteArray get(const QString &address, const QByteArray &range = QByteArray())
    {
        QNetworkRequest request{QUrl(address)};
        if (!range.isEmpty())
            request.setRawHeader("Range", range);
        std::unique_ptr<QNetworkReply> reply(m_network.get(request));
        QSignalSpy done(reply.get(), &QNetworkReply::finished);
        return done.wait(10000) && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    }

    // The address of the first episode of a title's play list on the site.
    QString firstAddress(qint64 id)
    {
        const QByteArray line = get(m_site.endpoint() + "Lx=Dy&Id=" + QString::number(id)).split('\r').value(0);
        return QString::fromLatin1(line.mid(line.indexOf("http://")));
    }

    DownloadManager::Settings managerSettings(const QString &root) const
    {
        DownloadManager::Settings settings;
        settings.root = root;
        settings.stallTimeoutMs = 5000;
        settings.reserveBytes = 0;
        settings.reportIntervalMs = 100;
        return settings;
    }

    QTemporaryDir m_folder;
    SampleSiteProcess m_site;
    ScriptedServer m_server;
    QNetworkAccessManager m_network;
    QByteArray m_clip;
};

QTEST_GUILESS_MAIN(tst_Download)
#include "tst_download.moc"
