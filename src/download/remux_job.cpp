#include "download/remux_job.h"

#include "download/av_library.h"
#include "download/hls_playlist.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStorageInfo>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kinolark::download {

namespace {

constexpr qint64 maxPlaylistBytes = 4 * 1024 * 1024;
constexpr int maxPlaylists = 32;
// Room beyond a known size: the MP4's own index and the file system's.
constexpr qint64 knownSizeSlack = 16 * 1024 * 1024;
// Gaps in a stream's timestamps longer than this (and than three packets)
// are time it did not get.
constexpr double longestPacketGap = 1.0;

const char *const webProtocols = "http,https,tcp,tls,crypto";
// The containers an episode comes in; none that reads further files on
// its own (concat scripts, sdp, image sequences ...).
const char *const mediaFormats = "mov,hls,mpegts,flv,matroska,aac,mp3";

QString diskFullText()
{
    return QStringLiteral("磁盘空间不足");
}

QString decryptText()
{
    return QStringLiteral("无法解密：密钥无法取得或不正确");
}

QString notMediaText()
{
    return QStringLiteral("地址返回的不是视频（可能是网页或错误页）");
}

QString cutText()
{
    return QStringLiteral("连接中断，视频没有下载完整");
}

QString folderGoneText()
{
    return QStringLiteral("下载文件夹已被删除");
}

struct MemoryFile
{
    QByteArray data;
    qint64 at = 0;
};

int readMemory(void *opaque, uint8_t *buffer, int size)
{
    auto *file = static_cast<MemoryFile *>(opaque);
    const qint64 left = file->data.size() - file->at;
    if (left <= 0)
        return AVERROR_EOF;
    const int count = int(qMin<qint64>(left, size));
    std::memcpy(buffer, file->data.constData() + file->at, size_t(count));
    file->at += count;
    return count;
}

int64_t seekMemory(void *opaque, int64_t offset, int whence)
{
    auto *file = static_cast<MemoryFile *>(opaque);
    if (whence & AVSEEK_SIZE)
        return file->data.size();
    whence &= ~AVSEEK_FORCE;
    const qint64 from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file->at : file->data.size();
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || from + offset < 0
        || from + offset > file->data.size())
        return AVERROR(EINVAL);
    file->at = from + offset;
    return file->at;
}

bool looksLikePage(const QByteArray &start, const QString &mimeType)
{
    if (mimeType.startsWith(QLatin1String("text/html")))
        return true;
    const QByteArray text = start.trimmed().left(64).toLower();
    return text.startsWith("<!doctype") || text.startsWith("<html") || text.startsWith("<head")
           || text.startsWith("<body") || text.startsWith("<?xml");
}

QString shortened(const QString &text)
{
    return text.size() > 80 ? text.left(77) + QStringLiteral("...") : text;
}

// One input stream and what is copied of it.
struct Track
{
    int out = -1;                  // the output stream; -1 when left out
    AVBSFContext *filter = nullptr;
    AVRational timeBase{1, 1};     // of the packets handed to the muxer
    int64_t shift = 0;             // moves the episode's start to 0
    int64_t lastDts = AV_NOPTS_VALUE; // of the last packet written, output time base
    double lastSeconds = -1;       // of the last packet read
    double lastDelta = 0;
    double covered = 0;            // seconds received without gaps
    double lastDuration = 0;
};

} // namespace

// One run of a job: FFmpeg's contexts and the hooks through which FFmpeg
// opens everything it reads.
class RemuxRun
{
public:
    explicit RemuxRun(RemuxJob &job) : m_job(job) {}
    ~RemuxRun() { close(); }
    RemuxRun(const RemuxRun &) = delete;
    RemuxRun &operator=(const RemuxRun &) = delete;

    RemuxJob::Result execute();

private:
    static int interruptHook(void *opaque) { return static_cast<RemuxRun *>(opaque)->interrupted() ? 1 : 0; }
    static int openHook(AVFormatContext *context, AVIOContext **io, const char *url, int flags,
                        AVDictionary **options)
    {
        return static_cast<RemuxRun *>(context->opaque)->open(context, io, url, flags, options);
    }
    static int closeHook(AVFormatContext *context, AVIOContext *io)
    {
        return static_cast<RemuxRun *>(context->opaque)->closeIo(context, io);
    }

    bool interrupted();
    bool stopping() const { return m_job.m_cancelled || m_stalled || !m_reason.isEmpty(); }
    int open(AVFormatContext *context, AVIOContext **io, const char *url, int flags, AVDictionary **options);
    int openKey(AVFormatContext *context, AVIOContext **io, const char *url, int flags, AVDictionary **options);
    int closeIo(AVFormatContext *context, AVIOContext *io);
    qint64 received() const;

    bool fail(const QString &reason);
    bool failDiskFull();
    bool failWrite(int error);
    bool failErrno(int error);
    QString errorText(int error) const;
    QString openReason(int error) const;

    bool prepareFolder(bool makeFolder);
    bool openInput();
    bool openPlaylist(const QString &address);
    bool checkPlaylist(const HlsPlaylist &playlist, bool nested);
    void admit(const HlsPlaylist &playlist);
    int fetch(const QString &address, QByteArray *text, QString *location);
    int readAll(AVIOContext *io, qint64 limit, QByteArray *bytes);
    QString location(AVIOContext *io) const;
    bool openDemuxer(const QByteArray &address, const AVInputFormat *format);
    bool selectStreams();
    bool checkSpace();
    bool openOutput();
    bool copyPackets();
    bool send(Track &track, AVPacket *packet);
    bool write(Track &track, AVPacket *packet);
    void note(Track &track, const AVPacket *packet, AVRational timeBase);
    bool checkComplete();
    bool finish();

    AVIOContext *memoryContext(const QByteArray &data);
    void freeMemory(AVIOContext *io);
    void close();

    RemuxJob &m_job;
    const AvLibrary *m_av = nullptr;
    AVIOInterruptCB m_interrupt{&RemuxRun::interruptHook, this};
    QElapsedTimer m_clock;
    qint64 m_lastLook = 0;
    qint64 m_lastActivity = 0;
    qint64 m_lastBytes = -1;
    bool m_stalled = false;
    QString m_reason;
    bool m_diskFull = false;

    AVIOContext *m_top = nullptr;  // the address itself, or the checked playlist
    bool m_topIsWeb = false;
    AVFormatContext *m_in = nullptr;
    AVFormatContext *m_out = nullptr;
    AVPacket *m_packet = nullptr;
    int (*m_defaultOpen)(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **) = nullptr;
    int (*m_defaultClose)(AVFormatContext *, AVIOContext *) = nullptr;
    QHash<AVIOContext *, MemoryFile *> m_memory;
    QSet<AVIOContext *> m_tracked;   // segments being read
    qint64 m_closedBytes = 0;        // read by contexts closed since

    // What the checked playlists name, as normalized addresses.
    QHash<QString, QByteArray> m_playlistTexts;
    QSet<QString> m_keys;
    QSet<QString> m_media;
    bool m_encrypted = false;

    std::vector<Track> m_tracks;
    qint64 m_written = 0;            // packets
    double m_start = 0;              // the input's first timestamp, seconds
    double m_duration = 0;
    double m_position = 0;

    QString m_rootCanonical;
    QString m_folder;
    QString m_part;
    int m_partFd = -1;
    bool m_renamed = false;
    bool m_madeFolder = false;     // the title's folder was made for this download
};

bool RemuxRun::interrupted()
{
    if (stopping())
        return true;
    const qint64 now = m_clock.elapsed();
    if (now - m_lastLook >= 100) {
        m_lastLook = now;
        const qint64 bytes = received();
        if (bytes != m_lastBytes) {
            m_lastBytes = bytes;
            m_lastActivity = now;
        }
        m_job.m_received = bytes;
    }
    if (now - m_lastActivity > m_job.m_settings.stallTimeoutMs) {
        m_stalled = true;
        return true;
    }
    return false;
}

qint64 RemuxRun::received() const
{
    qint64 bytes = m_closedBytes;
    for (AVIOContext *io : m_tracked)
        bytes += io->bytes_read;
    if (m_top && m_topIsWeb)
        bytes += m_top->bytes_read;
    return bytes;
}

bool RemuxRun::fail(const QString &reason)
{
    // What follows a cancel or a stall is its consequence, not a cause.
    if (m_reason.isEmpty() && !m_job.m_cancelled && !m_stalled)
        m_reason = reason;
    return false;
}

bool RemuxRun::failDiskFull()
{
    if (m_reason.isEmpty() && !m_job.m_cancelled && !m_stalled)
        m_diskFull = true;
    return fail(diskFullText());
}

bool RemuxRun::failErrno(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return failDiskFull();
    if (!QFileInfo(m_folder).isDir())
        return fail(folderGoneText());
    return fail(QStringLiteral("无法写入下载文件（%1）").arg(QString::fromLocal8Bit(std::strerror(error))));
}

bool RemuxRun::failWrite(int error)
{
    if (m_out && m_out->pb && m_out->pb->error < 0)
        error = m_out->pb->error;
    if (error == AVERROR(ENOSPC) || error == AVERROR(EDQUOT))
        return failDiskFull();
    if (!QFileInfo(m_folder).isDir())
        return fail(folderGoneText());
    return fail(QStringLiteral("无法写入下载文件（%1）").arg(errorText(error)));
}

QString RemuxRun::errorText(int error) const
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    m_av->strerror(error, text, sizeof text);
    return QString::fromUtf8(text);
}

QString RemuxRun::openReason(int error) const
{
    switch (error) {
    case AVERROR_HTTP_NOT_FOUND:
        return QStringLiteral("视频地址不存在（HTTP 404）");
    case AVERROR_HTTP_FORBIDDEN:
        return QStringLiteral("网站拒绝了下载（HTTP 403）");
    case AVERROR_HTTP_UNAUTHORIZED:
        return QStringLiteral("网站要求登录（HTTP 401）");
    case AVERROR_HTTP_BAD_REQUEST:
    case AVERROR_HTTP_OTHER_4XX:
        return QStringLiteral("网站拒绝了请求（HTTP 4xx）");
    case AVERROR_HTTP_SERVER_ERROR:
        return QStringLiteral("网站出错（HTTP 5xx）");
    case AVERROR(ECONNREFUSED):
    case AVERROR(EHOSTUNREACH):
    case AVERROR(ENETUNREACH):
    case AVERROR(EIO):
        return QStringLiteral("无法连接到网站");
    case AVERROR(ETIMEDOUT):
        return QStringLiteral("连接网站超时");
    case AVERROR_INVALIDDATA:
    case AVERROR_DEMUXER_NOT_FOUND:
    case AVERROR(EINVAL):
        return m_encrypted ? decryptText() : notMediaText();
    default:
        return QStringLiteral("下载失败（%1）").arg(errorText(error));
    }
}

// FFmpeg opens every segment, key and playlist through here: the checked
// playlists come from memory, keys are checked, segments must be ones the
// playlists named, and nothing else is opened at all.
int RemuxRun::open(AVFormatContext *context, AVIOContext **io, const char *url, int flags, AVDictionary **options)
{
    const QString raw = QString::fromUtf8(url);
    QString address = raw;
    const bool crypto = address.startsWith(QLatin1String("crypto+"));
    if (crypto)
        address = address.mid(7);
    const QString key = HlsPlaylist::normalized(address);
    if (!(flags & AVIO_FLAG_WRITE) && !crypto) {
        const auto text = m_playlistTexts.constFind(key);
        if (text != m_playlistTexts.constEnd()) {
            *io = memoryContext(text.value());
            return *io ? 0 : AVERROR(ENOMEM);
        }
        if (m_keys.contains(key))
            return openKey(context, io, url, flags, options);
    }
    if ((flags & AVIO_FLAG_WRITE) || !m_media.contains(key)) {
        fail(QStringLiteral("播放列表指向不允许的地址（%1），已拒绝下载").arg(shortened(raw)));
        return AVERROR(EPERM);
    }
    const int result = m_defaultOpen(context, io, url, flags, options);
    if (result < 0) {
        if (result != AVERROR_EXIT)
            fail(QStringLiteral("视频片段无法取得：%1").arg(openReason(result)));
        return result;
    }
    m_tracked.insert(*io);
    return result;
}

int RemuxRun::openKey(AVFormatContext *context, AVIOContext **io, const char *url, int flags,
                      AVDictionary **options)
{
    AVIOContext *keyIo = nullptr;
    int result = m_defaultOpen(context, &keyIo, url, flags, options);
    if (result < 0) {
        if (result != AVERROR_EXIT)
            fail(decryptText());
        return result;
    }
    QByteArray key;
    result = readAll(keyIo, 64, &key);
    m_closedBytes += keyIo->bytes_read;
    m_defaultClose(context, keyIo);
    // An AES-128 key is 16 bytes; anything else (an error page) is none.
    if (result < 0 || key.size() != 16) {
        if (result != AVERROR_EXIT)
            fail(decryptText());
        return result < 0 ? result : AVERROR_INVALIDDATA;
    }
    *io = memoryContext(key);
    return *io ? 0 : AVERROR(ENOMEM);
}

int RemuxRun::closeIo(AVFormatContext *context, AVIOContext *io)
{
    if (m_memory.contains(io)) {
        freeMemory(io);
        return 0;
    }
    if (m_tracked.remove(io)) {
        m_closedBytes += io->bytes_read;
        // FFmpeg goes on with the next segment after one that broke off.
        if (io->error < 0 && io->error != AVERROR_EOF && io->error != AVERROR_EXIT)
            fail(cutText());
    }
    return m_defaultClose(context, io);
}

AVIOContext *RemuxRun::memoryContext(const QByteArray &data)
{
    constexpr int bufferSize = 4096;
    auto *buffer = static_cast<unsigned char *>(m_av->malloc(bufferSize));
    if (!buffer)
        return nullptr;
    auto *file = new MemoryFile{data, 0};
    AVIOContext *io = m_av->avio_alloc_context(buffer, bufferSize, 0, file, &readMemory, nullptr, &seekMemory);
    if (!io) {
        m_av->free(buffer);
        delete file;
        return nullptr;
    }
    m_memory.insert(io, file);
    return io;
}

void RemuxRun::freeMemory(AVIOContext *io)
{
    delete m_memory.take(io);
    m_av->freep(&io->buffer);
    m_av->avio_context_free(&io);
}

int RemuxRun::readAll(AVIOContext *io, qint64 limit, QByteArray *bytes)
{
    unsigned char chunk[16384];
    for (;;) {
        const int count = m_av->avio_read(io, chunk, sizeof chunk);
        if (count == AVERROR_EOF || count == 0)
            return 0;
        if (count < 0)
            return count;
        bytes->append(reinterpret_cast<const char *>(chunk), count);
        if (bytes->size() > limit)
            return AVERROR(EFBIG);
    }
}

QString RemuxRun::location(AVIOContext *io) const
{
    uint8_t *value = nullptr;
    if (m_av->opt_get(io, "location", AV_OPT_SEARCH_CHILDREN, &value) < 0 || !value)
        return QString();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(value));
    m_av->free(value);
    return text;
}

int RemuxRun::fetch(const QString &address, QByteArray *text, QString *finalAddress)
{
    AVDictionary *options = nullptr;
    m_av->dict_set(&options, "protocol_whitelist", webProtocols, 0);
    AVIOContext *io = nullptr;
    int result = m_av->avio_open2(&io, address.toUtf8().constData(), AVIO_FLAG_READ, &m_interrupt, &options);
    m_av->dict_free(&options);
    if (result < 0)
        return result;
    result = readAll(io, maxPlaylistBytes, text);
    const QString moved = location(io);
    *finalAddress = moved.isEmpty() ? address : moved;
    m_closedBytes += io->bytes_read;
    m_av->avio_closep(&io);
    return result;
}

bool RemuxRun::prepareFolder(bool makeFolder)
{
    const QString root = m_job.m_settings.root;
    if (root.isEmpty() || !QDir().mkpath(root))
        return fail(QStringLiteral("无法建立下载文件夹 %1").arg(root));
    m_rootCanonical = QFileInfo(root).canonicalFilePath();
    m_folder = QFileInfo(m_job.m_filePath).absolutePath();
    if (!makeFolder)
        return true;
    m_madeFolder = !QFileInfo::exists(m_folder);
    if (!QDir().mkpath(m_folder))
        return fail(QStringLiteral("无法建立下载文件夹 %1").arg(m_folder));
    const QString folder = QFileInfo(m_folder).canonicalFilePath();
    if (m_rootCanonical.isEmpty()
        || (folder != m_rootCanonical && !folder.startsWith(m_rootCanonical + QLatin1Char('/'))))
        return fail(QStringLiteral("下载文件不在下载文件夹之内，已拒绝写入"));
    return true;
}

bool RemuxRun::openInput()
{
    AVDictionary *options = nullptr;
    m_av->dict_set(&options, "protocol_whitelist", webProtocols, 0);
    const QByteArray address = m_job.m_address.toUtf8();
    int result = m_av->avio_open2(&m_top, address.constData(), AVIO_FLAG_READ, &m_interrupt, &options);
    m_av->dict_free(&options);
    if (result < 0) {
        m_top = nullptr;
        return fail(openReason(result));
    }
    m_topIsWeb = true;

    // A look at the start, then back to it: still in FFmpeg's buffer, so
    // nothing is asked twice.
    unsigned char head[512];
    result = m_av->avio_read(m_top, head, sizeof head);
    if (result < 0 && result != AVERROR_EOF)
        return fail(openReason(result));
    const QByteArray start(reinterpret_cast<const char *>(head), qMax(result, 0));
    if (m_av->avio_seek(m_top, 0, SEEK_SET) < 0)
        return fail(notMediaText());
    if (HlsPlaylist::looksLikePlaylist(start)) {
        const QString moved = location(m_top);
        return openPlaylist(moved.isEmpty() ? m_job.m_address : moved);
    }
    uint8_t *mime = nullptr;
    QString mimeType;
    if (m_av->opt_get(m_top, "mime_type", AV_OPT_SEARCH_CHILDREN, &mime) >= 0 && mime) {
        mimeType = QString::fromUtf8(reinterpret_cast<const char *>(mime)).toLower();
        m_av->free(mime);
    }
    if (looksLikePage(start, mimeType))
        return fail(notMediaText());
    m_job.m_size = m_av->avio_size(m_top);
    return openDemuxer(address, nullptr);
}

bool RemuxRun::checkPlaylist(const HlsPlaylist &playlist, bool nested)
{
    if (!playlist.refused().isEmpty())
        return fail(QStringLiteral("播放列表指向不允许的地址（%1），已拒绝下载").arg(shortened(playlist.refused())));
    if (!playlist.error().isEmpty())
        return fail(playlist.error());
    if (nested && playlist.isMaster())
        return fail(QStringLiteral("播放列表嵌套了播放列表，无法下载"));
    if (!playlist.isMaster() && !playlist.ended())
        return fail(QStringLiteral("这是直播，不能下载"));
    return true;
}

void RemuxRun::admit(const HlsPlaylist &playlist)
{
    for (const QUrl &key : playlist.keys())
        m_keys.insert(HlsPlaylist::normalized(key.toString(QUrl::FullyEncoded)));
    for (const QUrl &media : playlist.media())
        m_media.insert(HlsPlaylist::normalized(media.toString(QUrl::FullyEncoded)));
    m_encrypted = m_encrypted || playlist.encrypted();
}

bool RemuxRun::openPlaylist(const QString &address)
{
    QByteArray text;
    const int result = readAll(m_top, maxPlaylistBytes, &text);
    m_closedBytes += m_top->bytes_read;
    m_av->avio_closep(&m_top);
    m_topIsWeb = false;
    if (result == AVERROR(EFBIG))
        return fail(QStringLiteral("播放列表过大"));
    if (result < 0)
        return fail(openReason(result));

    const HlsPlaylist top = HlsPlaylist::parse(text, QUrl(address));
    if (!checkPlaylist(top, false))
        return false;
    admit(top);
    if (top.playlists().size() > maxPlaylists)
        return fail(QStringLiteral("播放列表过大"));
    for (const QUrl &url : top.playlists()) {
        const QString wanted = url.toString(QUrl::FullyEncoded);
        if (m_playlistTexts.contains(HlsPlaylist::normalized(wanted)))
            continue;
        QByteArray variantText;
        QString variantAddress;
        const int fetched = fetch(wanted, &variantText, &variantAddress);
        if (fetched == AVERROR(EFBIG))
            return fail(QStringLiteral("播放列表过大"));
        if (fetched < 0)
            return fail(QStringLiteral("播放列表无法取得：%1").arg(openReason(fetched)));
        const HlsPlaylist variant = HlsPlaylist::parse(variantText, QUrl(variantAddress));
        if (!checkPlaylist(variant, true))
            return false;
        admit(variant);
        m_playlistTexts.insert(HlsPlaylist::normalized(wanted), variant.text());
    }
    m_top = memoryContext(top.text());
    if (!m_top)
        return fail(QStringLiteral("内存不足"));
    return openDemuxer(address.toUtf8(), m_av->find_input_format("hls"));
}

bool RemuxRun::openDemuxer(const QByteArray &address, const AVInputFormat *format)
{
    m_in = m_av->alloc_context();
    if (!m_in)
        return fail(QStringLiteral("内存不足"));
    m_in->pb = m_top;
    m_in->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_in->interrupt_callback = m_interrupt;
    m_in->opaque = this;
    m_defaultOpen = m_in->io_open;
    m_defaultClose = m_in->io_close2;
    m_in->io_open = &RemuxRun::openHook;
    m_in->io_close2 = &RemuxRun::closeHook;

    AVDictionary *options = nullptr;
    m_av->dict_set(&options, "protocol_whitelist", webProtocols, 0);
    m_av->dict_set(&options, "format_whitelist", mediaFormats, 0);
    // A connection per segment: a segment that breaks off is then seen
    // when it closes, instead of vanishing inside a kept-alive connection.
    m_av->dict_set(&options, "http_persistent", "0", 0);
    // Every address is checked to be on the web already; segments named
    // "seg.php?token=..." are common there, and FFmpeg would refuse them
    // for their extension.
    m_av->dict_set(&options, "allowed_segment_extensions", "ALL", 0);
    m_av->dict_set(&options, "extension_picky", "0", 0);
    int result = m_av->open_input(&m_in, address.constData(), format, &options);
    m_av->dict_free(&options);
    if (result < 0) {
        m_in = nullptr; // freed by FFmpeg; the custom input is still ours
        return fail(openReason(result));
    }
    result = m_av->find_stream_info(m_in, nullptr);
    if (result < 0)
        return fail(openReason(result));
    if (stopping())
        return false;
    m_start = m_in->start_time != AV_NOPTS_VALUE ? double(m_in->start_time) / AV_TIME_BASE : 0;
    m_duration = m_in->duration > 0 ? double(m_in->duration) / AV_TIME_BASE : 0;
    m_job.m_durationMs = qint64(m_duration * 1000);
    return true;
}

bool RemuxRun::selectStreams()
{
    // Of several variants (an HLS master playlist), the richest.
    const AVProgram *chosen = nullptr;
    qint64 best = -1;
    for (unsigned i = 0; m_in->nb_programs > 1 && i < m_in->nb_programs; ++i) {
        const AVDictionaryEntry *rate = m_av->dict_get(m_in->programs[i]->metadata, "variant_bitrate", nullptr, 0);
        const qint64 bitrate = rate ? QByteArray(rate->value).toLongLong() : 0;
        if (bitrate > best) {
            best = bitrate;
            chosen = m_in->programs[i];
        }
    }
    const auto inChosen = [chosen](unsigned index) {
        if (!chosen)
            return true;
        for (unsigned i = 0; i < chosen->nb_stream_indexes; ++i) {
            if (chosen->stream_index[i] == index)
                return true;
        }
        return false;
    };
    m_tracks.assign(m_in->nb_streams, Track());
    int outputs = 0;
    for (unsigned i = 0; i < m_in->nb_streams; ++i) {
        AVStream *stream = m_in->streams[i];
        const AVCodecParameters *codec = stream->codecpar;
        const bool wanted = (codec->codec_type == AVMEDIA_TYPE_VIDEO || codec->codec_type == AVMEDIA_TYPE_AUDIO)
                            && codec->codec_id != AV_CODEC_ID_NONE
                            && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC) && inChosen(i);
        if (!wanted) {
            stream->discard = AVDISCARD_ALL;
            continue;
        }
        m_tracks[i].out = outputs++;
    }
    if (outputs == 0)
        return fail(QStringLiteral("地址中没有可下载的音视频"));
    return true;
}

bool RemuxRun::checkSpace()
{
    QStorageInfo storage(m_rootCanonical);
    if (!storage.isValid())
        return true;
    const qint64 available = storage.bytesAvailable();
    const qint64 size = m_job.m_size;
    const qint64 needed = size > 0 ? size + knownSizeSlack : m_job.m_settings.reserveBytes;
    if (available >= 0 && available < needed)
        return failDiskFull();
    return true;
}

bool RemuxRun::openOutput()
{
    // Made now, and again should it have gone since an earlier download.
    if (!prepareFolder(true))
        return false;
    m_part = RemuxJob::partPath(m_job.m_filePath);
    const QByteArray part = QFile::encodeName(m_part);
    ::unlink(part.constData()); // left by an earlier run
    // Made here, never followed through a link; locked while it is written,
    // so that a start of another copy of the program leaves it alone.
    m_partFd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (m_partFd < 0)
        return failErrno(errno);
    ::flock(m_partFd, LOCK_EX | LOCK_NB);

    if (m_av->alloc_output_context2(&m_out, nullptr, "mp4", nullptr) < 0 || !m_out)
        return fail(QStringLiteral("内存不足"));
    m_out->interrupt_callback = m_interrupt;
    for (unsigned i = 0; i < m_in->nb_streams; ++i) {
        Track &track = m_tracks[i];
        if (track.out < 0)
            continue;
        const AVStream *stream = m_in->streams[i];
        const AVCodecParameters *parameters = stream->codecpar;
        track.timeBase = stream->time_base;
        if (m_in->start_time != AV_NOPTS_VALUE)
            track.shift = m_av->rescale_q(m_in->start_time, AVRational{1, AV_TIME_BASE}, stream->time_base);
        // ADTS frames (AAC from an MPEG-TS segment) become what MP4 holds.
        if (parameters->codec_id == AV_CODEC_ID_AAC) {
            const AVBitStreamFilter *filter = m_av->bsf_get_by_name("aac_adtstoasc");
            if (!filter || m_av->bsf_alloc(filter, &track.filter) < 0
                || m_av->parameters_copy(track.filter->par_in, parameters) < 0)
                return fail(QStringLiteral("无法转换音频（aac_adtstoasc）"));
            track.filter->time_base_in = stream->time_base;
            if (m_av->bsf_init(track.filter) < 0)
                return fail(QStringLiteral("无法转换音频（aac_adtstoasc）"));
            parameters = track.filter->par_out;
            track.timeBase = track.filter->time_base_out;
        }
        AVStream *out = m_av->new_stream(m_out, nullptr);
        if (!out || m_av->parameters_copy(out->codecpar, parameters) < 0)
            return fail(QStringLiteral("内存不足"));
        out->codecpar->codec_tag = 0;
        out->time_base = track.timeBase;
    }

    AVDictionary *options = nullptr;
    m_av->dict_set(&options, "protocol_whitelist", "file", 0);
    const QByteArray target = "file:" + part;
    int result = m_av->avio_open2(&m_out->pb, target.constData(), AVIO_FLAG_WRITE, &m_interrupt, &options);
    m_av->dict_free(&options);
    if (result < 0)
        return failWrite(result);
    result = m_av->write_header(m_out, nullptr);
    if (result < 0) {
        if (m_out->pb->error < 0 || result == AVERROR(ENOSPC))
            return failWrite(result);
        return fail(QStringLiteral("视频的编码不能存为 MP4"));
    }
    return true;
}

void RemuxRun::note(Track &track, const AVPacket *packet, AVRational timeBase)
{
    const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (stamp == AV_NOPTS_VALUE)
        return;
    const double seconds = double(stamp) * av_q2d(timeBase);
    if (track.lastSeconds >= 0) {
        const double delta = seconds - track.lastSeconds;
        if (delta > 0 && (delta <= longestPacketGap || delta <= 3 * track.lastDelta))
            track.covered += delta;
        if (delta > 0)
            track.lastDelta = delta;
    }
    track.lastSeconds = seconds;
    track.lastDuration = packet->duration > 0 ? double(packet->duration) * av_q2d(timeBase) : 0;
    const double at = seconds + track.lastDuration - m_start;
    if (at > m_position) {
        m_position = at;
        m_job.m_positionMs = qint64(at * 1000);
    }
}

bool RemuxRun::write(Track &track, AVPacket *packet)
{
    const AVStream *out = m_out->streams[track.out];
    packet->stream_index = track.out;
    m_av->packet_rescale_ts(packet, track.timeBase, out->time_base);
    packet->pos = -1;
    // The muxer takes only rising decode times; a stream that steps back
    // (a discontinuity) is moved on by one tick, as the ffmpeg command does.
    if (packet->dts != AV_NOPTS_VALUE) {
        if (track.lastDts != AV_NOPTS_VALUE && packet->dts <= track.lastDts) {
            const int64_t next = track.lastDts + 1;
            if (packet->pts != AV_NOPTS_VALUE && packet->pts >= packet->dts)
                packet->pts = qMax(packet->pts, next);
            packet->dts = next;
        }
        track.lastDts = packet->dts;
    }
    const int result = m_av->interleaved_write_frame(m_out, packet);
    if (result < 0)
        return failWrite(result);
    ++m_written;
    return true;
}

bool RemuxRun::send(Track &track, AVPacket *packet)
{
    if (!track.filter)
        return write(track, packet);
    int result = m_av->bsf_send_packet(track.filter, packet);
    if (result < 0) {
        m_av->packet_unref(packet);
        return fail(QStringLiteral("音频数据有误（%1）").arg(errorText(result)));
    }
    while ((result = m_av->bsf_receive_packet(track.filter, packet)) >= 0) {
        if (!write(track, packet))
            return false;
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        return fail(QStringLiteral("音频数据有误（%1）").arg(errorText(result)));
    return true;
}

bool RemuxRun::copyPackets()
{
    m_packet = m_av->packet_alloc();
    if (!m_packet)
        return fail(QStringLiteral("内存不足"));
    for (;;) {
        const int result = m_av->read_frame(m_in, m_packet);
        if (result == AVERROR_EOF)
            break;
        if (result < 0) {
            if (stopping())
                return false;
            return fail(result == AVERROR(EIO) ? cutText() : openReason(result));
        }
        m_lastActivity = m_clock.elapsed();
        const int index = m_packet->stream_index;
        if (index < 0 || size_t(index) >= m_tracks.size() || m_tracks[size_t(index)].out < 0
            || (m_packet->dts == AV_NOPTS_VALUE && m_packet->pts == AV_NOPTS_VALUE)) {
            m_av->packet_unref(m_packet);
            continue;
        }
        Track &track = m_tracks[size_t(index)];
        note(track, m_packet, m_in->streams[index]->time_base);
        if (m_packet->pts != AV_NOPTS_VALUE)
            m_packet->pts -= track.shift;
        if (m_packet->dts != AV_NOPTS_VALUE)
            m_packet->dts -= track.shift;
        if (!send(track, m_packet) || stopping())
            return false;
    }
    for (Track &track : m_tracks) {
        if (!track.filter)
            continue;
        if (m_av->bsf_send_packet(track.filter, nullptr) < 0)
            continue;
        while (m_av->bsf_receive_packet(track.filter, m_packet) >= 0) {
            if (!write(track, m_packet))
                return false;
        }
    }
    // A segment that failed or broke off was noted by the hooks; the
    // address itself may have broken off too.
    if (stopping())
        return false;
    if (m_topIsWeb && m_top->error < 0 && m_top->error != AVERROR_EOF)
        return fail(cutText());
    return checkComplete();
}

// What FFmpeg skipped without an error (a segment it could not use) shows
// as time missing from every stream.
bool RemuxRun::checkComplete()
{
    if (m_written == 0)
        return fail(QStringLiteral("地址中没有可下载的音视频"));
    if (m_duration <= 0)
        return true;
    double got = 0;
    for (const Track &track : m_tracks) {
        if (track.out >= 0)
            got = qMax(got, track.covered + track.lastDuration);
    }
    // An MP4 says its length exactly; a playlist's segment lengths may be
    // rounded (whole seconds in older playlists).
    const bool playlist = !m_playlistTexts.isEmpty() || !m_media.isEmpty();
    const double slack = playlist ? 1.0 + 0.1 * m_duration : 0.5 + 0.01 * m_duration;
    if (got < m_duration - slack) {
        if (m_encrypted)
            return fail(decryptText());
        return fail(QStringLiteral("视频没有下载完整（只得到 %1 秒，应有 %2 秒）")
                        .arg(got, 0, 'f', 1)
                        .arg(m_duration, 0, 'f', 1));
    }
    return true;
}

bool RemuxRun::finish()
{
    int result = m_av->write_trailer(m_out);
    if (result < 0)
        return failWrite(result);
    m_av->avio_flush(m_out->pb);
    if (m_out->pb->error < 0)
        return failWrite(m_out->pb->error);
    result = m_av->avio_closep(&m_out->pb);
    if (result < 0)
        return failWrite(result);
    // On disk before it is called done: a full disk may only say so now.
    if (::fsync(m_partFd) != 0)
        return failErrno(errno);
    if (m_job.m_cancelled)
        return false;
    const QByteArray part = QFile::encodeName(m_part);
    const QByteArray final = QFile::encodeName(m_job.m_filePath);
    if (::rename(part.constData(), final.constData()) != 0)
        return errno == ENOENT ? fail(folderGoneText()) : failErrno(errno);
    m_renamed = true;
    const QString written = QFileInfo(m_job.m_filePath).canonicalFilePath();
    if (!written.startsWith(m_rootCanonical + QLatin1Char('/'))) {
        ::unlink(final.constData());
        return fail(QStringLiteral("下载文件不在下载文件夹之内，已删除"));
    }
    return true;
}

void RemuxRun::close()
{
    if (m_out) {
        if (m_out->pb)
            m_av->avio_closep(&m_out->pb);
        m_av->free_context(m_out);
        m_out = nullptr;
    }
    for (Track &track : m_tracks) {
        if (track.filter)
            m_av->bsf_free(&track.filter);
    }
    if (m_packet)
        m_av->packet_free(&m_packet);
    if (m_in)
        m_av->close_input(&m_in);
    if (m_top) {
        if (m_topIsWeb)
            m_av->avio_closep(&m_top);
        else
            freeMemory(m_top);
        m_top = nullptr;
    }
    // Whatever FFmpeg left open is ours to free.
    const QList<AVIOContext *> left = m_memory.keys();
    for (AVIOContext *io : left)
        freeMemory(io);
    if (m_partFd >= 0) {
        if (!m_renamed)
            ::unlink(QFile::encodeName(m_part).constData());
        ::close(m_partFd);
        m_partFd = -1;
    }
    if (m_madeFolder && !m_renamed)
        QDir().rmdir(m_folder); // only when nothing else went into it meanwhile
}

RemuxJob::Result RemuxRun::execute()
{
    m_clock.start();
    RemuxJob::Result result;
    m_av = AvLibrary::load();
    if (!m_av) {
        result.reason = QStringLiteral("无法加载 FFmpeg 的库（libavformat），不能下载");
        return result;
    }
    const bool done = prepareFolder(false) && openInput() && selectStreams() && checkSpace() && openOutput()
                      && copyPackets() && finish();
    close();
    if (done) {
        result.outcome = RemuxJob::Outcome::Done;
        result.bytes = QFileInfo(m_job.m_filePath).size();
        result.duration = m_duration > 0 ? m_duration : m_position;
        return result;
    }
    if (!m_reason.isEmpty()) {
        result.reason = m_reason;
        result.diskFull = m_diskFull;
    } else if (m_stalled) {
        result.reason = QStringLiteral("网站 %1 秒没有响应").arg((m_job.m_settings.stallTimeoutMs + 999) / 1000);
    } else if (m_job.m_cancelled) {
        result.outcome = RemuxJob::Outcome::Cancelled;
    } else {
        result.reason = QStringLiteral("下载失败");
    }
    return result;
}

RemuxJob::RemuxJob(QString address, QString filePath, Settings settings)
    : m_address(std::move(address))
    , m_filePath(std::move(filePath))
    , m_settings(std::move(settings))
{
}

RemuxJob::Result RemuxJob::run()
{
    m_received = 0;
    m_positionMs = 0;
    RemuxRun run(*this);
    return run.execute();
}

RemuxJob::Progress RemuxJob::progress() const
{
    Progress progress;
    progress.received = m_received;
    progress.size = m_size;
    progress.position = double(m_positionMs) / 1000;
    progress.duration = double(m_durationMs) / 1000;
    return progress;
}

} // namespace kinolark::download
