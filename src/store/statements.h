#pragma once

#include <QString>

// Every statement the program issues. Values are always bound, never pasted
// into the text, so a quote in a name or a play list cannot break a statement.
namespace kinolark::store::sql {

inline QString createVod()
{
    return QStringLiteral("create table vod ("
                          "vod_id integer primary key, "
                          "vod_cid integer, "
                          "vod_name text collate nocase, "
                          "vod_letter text collate nocase)");
}
inline QString createVodIndex()
{
    return QStringLiteral("create index vod_cid_letter on vod (vod_cid, vod_letter)");
}
inline QString createVodplay()
{
    return QStringLiteral("create table vodplay ("
                          "d_id integer primary key, "
                          "d_playurl text, "
                          "d_date text, "
                          "d_nr text)");
}
inline QString createCdate() { return QStringLiteral("create table cdate (up_date text)"); }
inline QString insertNeverSynced() { return QStringLiteral("insert into cdate (up_date) values ('')"); }

inline QString selectLastSyncDate() { return QStringLiteral("select up_date from cdate limit 1"); }
// The highest ids that can be titles, for the watermark to pass over any
// that stand apart from the rest.
inline QString selectTopTitleIds()
{
    return QStringLiteral("select vod_id from vod where vod_id between 1 and ? order by vod_id desc limit ?");
}

// The per-title cache of play lists and descriptions. Lengths are asked
// for first, so a text too long to use is never read into memory.
inline QString selectCachedPlayList()
{
    return QStringLiteral("select d_date, length(d_playurl), length(d_nr) from vodplay where d_id = ?");
}
inline QString selectCachedDetail()
{
    return QStringLiteral("select d_id, case when length(d_playurl) > ? then '' else d_playurl end, "
                          "case when length(d_nr) > ? then '' else d_nr end from vodplay where d_id = ?");
}
inline QString updateCachedDescription()
{
    return QStringLiteral("update vodplay set d_nr = ? where d_id = ?");
}
inline QString updateCachedPlayList()
{
    return QStringLiteral("update vodplay set d_playurl = ?, d_date = ? where d_id = ?");
}
inline QString insertCachedDetail()
{
    return QStringLiteral("insert into vodplay (d_id, d_playurl, d_date, d_nr) values (?, ?, ?, ?)");
}

// The sync: which of the ids it received are there already, the new titles,
// and the day it ran.
inline QString selectTitleIdsBetween()
{
    return QStringLiteral("select vod_id from vod where vod_id between ? and ?");
}
inline QString insertTitle()
{
    return QStringLiteral("insert into vod (vod_id,vod_cid,vod_name,vod_letter) values (?,?,?,?)");
}
inline QString updateLastSyncDate() { return QStringLiteral("update cdate set up_date=?"); }
inline QString insertLastSyncDate() { return QStringLiteral("insert into cdate (up_date) values (?)"); }

} // namespace kinolark::store::sql
