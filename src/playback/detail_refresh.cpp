#include "playback/detail_refresh.h"

#include "playback/play_list.h"
#include "site/http_get_text.h"

namespace kinolark::playback {

DetailRefresh::DetailRefresh(DetailStore &rows, qint64 id, std::function<QString()> today, Priority priority)
    : m_rows(rows)
    , m_id(id)
    , m_today(std::move(today))
    , m_priority(priority)
{
}

QString DetailRefresh::query(Request request)
{
    return request == Request::Description ? QStringLiteral("Lx=Nr&Id=") : QStringLiteral("Lx=Dy&Id=");
}

qint64 DetailRefresh::answerLimit(Request request)
{
    return request == Request::Description ? descriptionLimit : playListLimit;
}

QString DetailRefresh::today() const
{
    // Asked at each use: a refresh that ends past midnight is of the day it
    // ended on.
    return m_today ? m_today() : QString();
}

DetailRefresh::Request DetailRefresh::start()
{
    m_startDay = today();
    const DetailStore::State state = m_rows.state(m_id, m_startDay);
    m_found = state.row != DetailStore::Row::Absent;
    m_repair = state.descriptionTooLong;
    if (state.row != DetailStore::Row::Fresh) {
        m_step = Step::PlayList;
        return Request::PlayList;
    }
    m_step = m_repair ? Step::Repair : Step::Idle;
    return m_repair ? Request::Description : Request::None;
}

void DetailRefresh::failed(const site::HttpAnswer &answer)
{
    if (!m_requestFailed)
        m_errorStatus = answer.siteAnswered() ? answer.status : 0;
    m_requestFailed = true;
    m_tooLarge = m_tooLarge || answer.tooLarge;
}

bool DetailRefresh::someoneElseStored()
{
    return m_priority == Priority::Yields && m_rows.row(m_id, today()) == DetailStore::Row::Fresh;
}

DetailRefresh::Request DetailRefresh::answered(const site::HttpAnswer &answer)
{
    const Step step = std::exchange(m_step, Step::Idle);
    m_siteReached = m_siteReached || answer.ok || answer.siteAnswered();
    if (!answer.ok) {
        failed(answer);
        if (step == Step::PlayList)
            m_playListFailed = m_found;
        // The play list came, its description did not: shown, not stored.
        m_unsaved = step == Step::NewDescription;
        // A description that is too long again is dropped: it would be
        // asked for at every click, and is never shown.
        if (step == Step::Repair && answer.tooLarge && !m_rows.storeDescription(m_id, QString(), &m_storeError))
            qWarning("kinolark: title %lld: the description was not cleared: %s", m_id, qPrintable(m_storeError));
        return Request::None;
    }
    m_lastAnswer = answer.text;
    switch (step) {
    case Step::Idle:
        return Request::None;
    case Step::PlayList:
        if (!PlayList::accepts(answer.text) || someoneElseStored())
            return Request::None;
        m_playList = answer.text;
        // Another click may have made the row during the wait.
        m_found = m_found || m_rows.row(m_id, m_startDay) != DetailStore::Row::Absent;
        if (!m_found) {
            m_step = Step::NewDescription;
            return Request::Description;
        }
        return storePlayList();
    case Step::NewDescription:
        if (someoneElseStored())
            return Request::None;
        m_description = answer.text;
        return storePlayList();
    case Step::Repair:
        m_rows.storeDescription(m_id, answer.text, &m_storeError);
        return Request::None;
    }
    return Request::None;
}

DetailRefresh::Request DetailRefresh::storePlayList()
{
    if (!m_rows.store(m_id, m_playList, today(), m_description, &m_storeError)) {
        m_unsaved = true;
        return Request::None;
    }
    m_stored = true;
    if (m_repair && m_found) {
        m_step = Step::Repair;
        return Request::Description;
    }
    return Request::None;
}

TitleDetail DetailRefresh::shown()
{
    TitleDetail detail = m_rows.read(m_id);
    if (m_unsaved && !m_playList.isNull()) {
        // What was fetched but cannot be stored is shown all the same.
        detail.found = true;
        detail.playList = m_playList;
        if (!m_found)
            detail.description = m_description;
    }
    return detail;
}

} // namespace kinolark::playback
