#pragma once

#include "store/title_index.h"
#include "store/title_index_inserter.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>

namespace kinolark::store {

// Adds the titles a sync stores to the side tables, in the sync's own
// transaction. A part that is current takes every new title and stays
// current. A part still being built (TitleIndexBuilder) takes only the new
// titles below the id it has reached; the builder finds the others. A part
// made another way is left for the builder to make again. An empty
// catalogue's parts are started here.
//
// A sync that brings more titles than `mostInOneSync` (a first sync, which
// brings the whole catalogue) leaves them all to the builder, as for a
// catalogue from before the side tables: written here they would make the
// sync three or four times as long, while the window waits for it.
class TitleIndexWriter
{
public:
    static constexpr qint64 mostInOneSync = 10000;

    TitleIndexWriter(sqlite3 *db, const text::PinyinReader &reader);
    ~TitleIndexWriter();

    // Before the first of `newTitles` titles is stored.
    bool begin(qint64 newTitles);
    // A title new to the catalogue.
    void add(qint64 id, const QString &name);
    // After the last one: writes them. `step` is called every few thousand
    // rows; returning false stops the writing, which then fails.
    bool finish(const std::function<bool()> &step = {});

    QString error() const { return m_error; }

private:
    enum class Mode { None, Below, All };
    struct PartPlan
    {
        TitleIndex::Part part;
        Mode mode = Mode::None;
        QByteArray version;
        qint64 upto = -1;
        bool claimed = false; // started here
    };

    bool fail(const QString &error);

    sqlite3 *m_db;
    const text::PinyinReader &m_reader;
    TitleIndex m_index;
    std::unique_ptr<TitleIndexInserter> m_inserter;
    std::array<PartPlan, 2> m_plans{{{TitleIndex::Part::Pinyin, Mode::None, {}, -1, false},
                                     {TitleIndex::Part::Names, Mode::None, {}, -1, false}}};
    qint64 m_highestAdded = -1;
    QString m_error;
};

} // namespace kinolark::store
