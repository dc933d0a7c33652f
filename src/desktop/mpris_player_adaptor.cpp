#include "desktop/mpris_player_adaptor.h"

#include "desktop/mpris_service.h"

#include <algorithm>
#include <cmath>

namespace kinolark::desktop {

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , m_service(service)
{
    setAutoRelaySignals(true);
}

bool MprisPlayerAdaptor::flag(const char *name) const
{
    return m_service->playerProperties().value(QLatin1String(name)).toBool();
}

bool MprisPlayerAdaptor::playing() const
{
    return m_service->state().status == MediaState::Status::Playing;
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return m_service->playerProperties().value(QStringLiteral("PlaybackStatus")).toString();
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return m_service->playerProperties().value(QStringLiteral("Metadata")).toMap();
}

qlonglong MprisPlayerAdaptor::position() const
{
    return m_service->position();
}

double MprisPlayerAdaptor::rate() const
{
    return m_service->state().rate;
}

void MprisPlayerAdaptor::setRate(double rate)
{
    if (!canPlay())
        return;
    // MPRIS: a rate of 0 is a pause.
    if (rate == 0) {
        Pause();
        return;
    }
    if (const std::optional<double> offered = nearestOfferedRate(rate))
        emit m_service->rateRequested(*offered);
}

double MprisPlayerAdaptor::minimumRate() const
{
    return offeredRates.front();
}

double MprisPlayerAdaptor::maximumRate() const
{
    return offeredRates.back();
}

double MprisPlayerAdaptor::volume() const
{
    return m_service->state().volume;
}

void MprisPlayerAdaptor::setVolume(double volume)
{
    if (std::isnan(volume))
        return;
    // MPRIS: below 0 is 0. Above 1 would be amplified, which the player
    // does not offer.
    emit m_service->volumeRequested(std::clamp(volume, 0.0, 1.0));
}

bool MprisPlayerAdaptor::canGoNext() const
{
    return flag("CanGoNext");
}

bool MprisPlayerAdaptor::canGoPrevious() const
{
    return flag("CanGoPrevious");
}

bool MprisPlayerAdaptor::canPlay() const
{
    return flag("CanPlay");
}

bool MprisPlayerAdaptor::canPause() const
{
    return flag("CanPause");
}

bool MprisPlayerAdaptor::canSeek() const
{
    return flag("CanSeek");
}

void MprisPlayerAdaptor::Play()
{
    if (canPlay() && !playing())
        emit m_service->playRequested();
}

void MprisPlayerAdaptor::Pause()
{
    if (canPause() && playing())
        emit m_service->pauseRequested();
}

void MprisPlayerAdaptor::PlayPause()
{
    if (playing())
        Pause();
    else
        Play();
}

void MprisPlayerAdaptor::Stop()
{
    if (m_service->state().status != MediaState::Status::Stopped)
        emit m_service->stopRequested();
}

void MprisPlayerAdaptor::Next()
{
    if (canGoNext())
        emit m_service->nextRequested();
}

void MprisPlayerAdaptor::Previous()
{
    if (canGoPrevious())
        emit m_service->previousRequested();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset)
{
    if (!canSeek())
        return;
    const qint64 from = m_service->position();
    const qint64 length = m_service->state().lengthUs;
    // MPRIS: past the end is the next track, before the start is the start.
    // Kept in 64 bits: the offset may be anything a client sends.
    if (length > 0 && Offset > 0 && Offset >= length - from) {
        Next();
        return;
    }
    const qint64 offset = Offset < -from ? -from : Offset;
    if (offset != 0)
        emit m_service->seekRequested(offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath &TrackId, qlonglong Position)
{
    // MPRIS: a stale track, a negative position or one past the end is
    // ignored.
    if (!canSeek() || TrackId != m_service->trackId() || Position < 0)
        return;
    const qint64 length = m_service->state().lengthUs;
    if (length > 0 && Position > length)
        return;
    emit m_service->setPositionRequested(Position);
}

} // namespace kinolark::desktop
