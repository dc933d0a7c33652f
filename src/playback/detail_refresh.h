#pragma once

#include "playback/detail_store.h"

#include <QString>

#include <functional>

namespace kinolark::site {
struct HttpAnswer;
}

namespace kinolark::playback {

// The rules of one title's trip to the site for its cached detail, step by
// step: which request comes next, what counts as an answer, what is stored
// and what is shown. The caller sends each request (waiting for it or not)
// and hands the answer back, so a click and the refresh behind the window
// follow the same rules.
//
// A row is fresh when its date is today's and its play list is usable: it
// is shown as it is. Otherwise the play list is asked for; an answer holding
// a "$" replaces the row's play list and date and keeps its description,
// and any other answer is ignored. A title without a row gets one only with
// its description, asked for once, right after an accepted play list; a
// play list fetched without its description is shown but not stored. A
// failed request (an answer too long included) changes nothing and ends the
// requests. A description stored before answers were limited is asked for
// again, once it is known to be too long.
class DetailRefresh
{
public:
    enum class Request { None, PlayList, Description };
    // Whether a row that someone else stored today while this one waited is
    // overwritten: a click wins, the refresh behind the window yields.
    enum class Priority { Wins, Yields };

    DetailRefresh(DetailStore &rows, qint64 id, std::function<QString()> today, Priority priority);

    // The first request, or None when the row is fresh.
    Request start();
    // The answer to the last request; the next request, or None when done.
    Request answered(const site::HttpAnswer &answer);

    // The query of a request ("Lx=Dy&Id="), and how long its answer may be.
    static QString query(Request request);
    static qint64 answerLimit(Request request);

    // What to show once done: the row, or what was fetched but not stored.
    TitleDetail shown();
    bool requestFailed() const { return m_requestFailed; }
    // The play list could not be refreshed; the cached one stays.
    bool playListFailed() const { return m_playListFailed; }
    int errorStatus() const { return m_errorStatus; } // of the first failure; 0 when the site was not reached
    bool tooLarge() const { return m_tooLarge; }
    // The site answered one request at least, an error status included.
    bool siteReached() const { return m_siteReached; }
    // The play list was stored; `storedPlayList()` is it.
    bool stored() const { return m_stored; }
    QString storedPlayList() const { return m_playList; }
    QString storeError() const { return m_storeError; }
    QString lastAnswer() const { return m_lastAnswer; }

private:
    enum class Step { Idle, PlayList, NewDescription, Repair };

    QString today() const;
    void failed(const site::HttpAnswer &answer);
    bool someoneElseStored();
    Request storePlayList();

    DetailStore &m_rows;
    qint64 m_id;
    std::function<QString()> m_today;
    Priority m_priority;
    QString m_startDay;
    Step m_step = Step::Idle;
    bool m_found = false;
    bool m_repair = false;
    bool m_unsaved = false;
    bool m_stored = false;
    bool m_requestFailed = false;
    bool m_playListFailed = false;
    bool m_tooLarge = false;
    bool m_siteReached = false;
    int m_errorStatus = 0;
    QString m_playList;
    QString m_description;
    QString m_storeError;
    QString m_lastAnswer;
};

} // namespace kinolark::playback
