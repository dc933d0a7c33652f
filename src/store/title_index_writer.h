#pragma once

#include "store/title_index.h"
#include "store/title_index_inserter.h"

#include <QString>

#include <array>
#include <memory>

namespace kinolark::store {

// Adds the titles a sync stores to the side tables, in the sync's own
// transaction. A part that is current takes every new title and stays
// current. A part still being built (TitleIndexBuilder) takes only the new
// titles below the id it has reached; the builder finds the others. A part
// made another way is left for the builder to make again. An empty
// catalogue's parts are started here.
class TitleIndexWriter
{
public:
    TitleIndexWriter(sqlite3 *db, const text::PinyinReader &reader);
    ~TitleIndexWriter();

    // Before the first new title is stored.
    bool begin();
    // A title new to the catalogue.
    bool add(qint64 id, const QString &name);
    // After the last one.
    bool finish();

    QString error() const { return m_error; }

private:
    enum class Mode { None, Below, All };
    struct PartPlan
    {
        TitleIndex::Part part;
        Mode mode = Mode::None;
        QByteArray version;
        qint64 upto = -1;
    };

    bool fail(const QString &error);

    sqlite3 *m_db;
    const text::PinyinReader &m_reader;
    TitleIndex m_index;
    std::unique_ptr<TitleIndexInserter> m_inserter;
    std::array<PartPlan, 2> m_plans{{{TitleIndex::Part::Pinyin, Mode::None, {}, -1},
                                     {TitleIndex::Part::Names, Mode::None, {}, -1}}};
    qint64 m_highestAdded = -1;
    QString m_error;
};

} // namespace kinolark::store
