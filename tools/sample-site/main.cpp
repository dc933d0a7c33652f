// kinolark-sample-site: a small catalogue site on 127.0.0.1 with generated
// titles, for the demo, the integration tests and the benchmarks.
//
// The first line on stdout is the port it listens on.

#include "sample_site.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using kinolark::sample::SampleSite;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kinolark-sample-site"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A sample catalogue site for kinolark on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port to listen on; 0 takes a free one."),
                                  QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption titles(QStringLiteral("titles"), QStringLiteral("Number of titles."),
                                    QStringLiteral("N"), QStringLiteral("420"));
    const QCommandLineOption version(QStringLiteral("version-flag"),
                                     QStringLiteral("The Lx=Up answer is \"Up\" followed by this."),
                                     QStringLiteral("F"), QStringLiteral("1"));
    const QCommandLineOption charset(QStringLiteral("charset"),
                                     QStringLiteral("Charset of the Lx=All answers: alternate (by the parity of "
                                                    "Id), utf-8 or gb2312."),
                                     QStringLiteral("C"), QStringLiteral("alternate"));
    const QCommandLineOption delay(QStringLiteral("delay-ms"),
                                   QStringLiteral("Wait this long before each Lx=Dy and Lx=Nr answer."),
                                   QStringLiteral("D"), QStringLiteral("0"));
    const QCommandLineOption allDelay(QStringLiteral("all-delay-ms"),
                                      QStringLiteral("Wait this long before each Lx=All answer."),
                                      QStringLiteral("D"), QStringLiteral("0"));
    const QCommandLineOption logFile(QStringLiteral("log"),
                                     QStringLiteral("Append one line per request to FILE (\"-\": stdout)."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption media(QStringLiteral("media"),
                                   QStringLiteral("Serve the files of DIR (made by scripts/media) under "
                                                  "/media/, with byte ranges, and let the first four action "
                                                  "films' play lists point at them: an MP4, HLS, an address "
                                                  "that answers 404, one for a dedicated player, HLS "
                                                  "encrypted with AES-128 (its key served beside it) and a "
                                                  "playlist that names file:///etc/passwd as a segment."),
                                   QStringLiteral("DIR"));
    const QCommandLineOption moreEpisodes(QStringLiteral("more-episodes"),
                                          QStringLiteral("Add N episodes to title ID (repeatable; also at run "
                                                         "time by GET /sample/add-episodes?Id=ID&N=N)."),
                                          QStringLiteral("ID:N"));
    parser.addOptions({port, titles, version, charset, delay, allDelay, logFile, moreEpisodes, media});
    parser.process(app);

    const auto number = [&](const QCommandLineOption &option, int lowest, int highest) {
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        if (!ok || value < lowest || value > highest) {
            std::fprintf(stderr, "kinolark-sample-site: --%s must be a number from %d to %d\n",
                         qPrintable(option.names().constFirst()), lowest, highest);
            std::exit(2);
        }
        return value;
    };

    SampleSite::Settings settings;
    settings.titles = number(titles, 0, 10'000'000);
    settings.versionFlag = parser.value(version);
    settings.detailDelayMs = number(delay, 0, 3'600'000);
    settings.allDelayMs = number(allDelay, 0, 3'600'000);
    settings.logFile = parser.value(logFile);
    settings.mediaDir = parser.value(media);
    const QString charsetName = parser.value(charset).toLower();
    if (charsetName == QLatin1String("utf-8")) {
        settings.allCharset = SampleSite::Charset::Utf8;
    } else if (charsetName == QLatin1String("gb2312")) {
        settings.allCharset = SampleSite::Charset::Gb2312;
    } else if (charsetName != QLatin1String("alternate")) {
        std::fprintf(stderr, "kinolark-sample-site: --charset is alternate, utf-8 or gb2312\n");
        return 2;
    }
    const int wanted = number(port, 0, 65535);

    SampleSite site(settings);
    for (const QString &more : parser.values(moreEpisodes)) {
        const QStringList parts = more.split(QLatin1Char(':'));
        bool idOk = false;
        bool countOk = false;
        const qint64 id = parts.value(0).toLongLong(&idOk);
        const int count = parts.value(1).toInt(&countOk);
        if (parts.size() != 2 || !idOk || !countOk || !site.catalogue().addEpisodes(id, count)) {
            std::fprintf(stderr, "kinolark-sample-site: --more-episodes wants ID:N for a title of the catalogue\n");
            return 2;
        }
    }
    const quint16 listening = site.listen(quint16(wanted));
    if (listening == 0) {
        std::fprintf(stderr, "kinolark-sample-site: cannot listen on 127.0.0.1:%d\n", wanted);
        return 1;
    }
    std::printf("%u\n", unsigned(listening));
    std::fflush(stdout);
    std::fprintf(stderr, "kinolark-sample-site: %d titles at http://127.0.0.1:%u\n", settings.titles,
                 unsigned(listening));
    return QCoreApplication::exec();
}
