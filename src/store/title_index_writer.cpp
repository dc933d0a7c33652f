#include "store/title_index_writer.h"

#include "text/pinyin_reader.h"

namespace kinolark::store {

TitleIndexWriter::TitleIndexWriter(sqlite3 *db, const text::PinyinReader &reader)
    : m_db(db)
    , m_reader(reader)
    , m_index(db)
{
}

TitleIndexWriter::~TitleIndexWriter() = default;

bool TitleIndexWriter::fail(const QString &error)
{
    m_error = error;
    return false;
}

bool TitleIndexWriter::begin(qint64 newTitles)
{
    const bool many = newTitles > mostInOneSync;
    if (!m_index.ensureTables())
        return fail(m_index.lastError());
    const std::optional<qint64> highest = m_index.highestTitleId();
    const QString tag = m_reader.sourceTag();
    for (PartPlan &plan : m_plans) {
        plan.version = TitleIndex::versionOf(plan.part, tag);
        if (plan.part == TitleIndex::Part::Names && !m_index.exists("title_name_fts"))
            continue;
        const TitleIndex::PartState state = m_index.state(plan.part);
        if (!state.present) {
            // Nothing to catch up on in an empty catalogue. Its first sync
            // may bring a whole catalogue: the pinyin indexes are made once
            // it is stored.
            if (!highest && !many) {
                plan.mode = Mode::All;
                plan.claimed = true;
            }
        } else if (state.version == plan.version) {
            plan.upto = state.upto;
            plan.mode = (!highest || state.upto >= *highest) && !many ? Mode::All : Mode::Below;
        }
    }
    if (m_plans[0].mode == Mode::All && !m_plans[0].claimed && !m_index.ensurePinyinIndexes())
        return fail(m_index.lastError());
    m_inserter = std::make_unique<TitleIndexInserter>(m_db, m_reader);
    if (!m_inserter->isValid(m_plans[0].mode != Mode::None, m_plans[1].mode != Mode::None))
        return fail(m_inserter->error().isEmpty() ? QStringLiteral("side tables cannot be written") : m_inserter->error());
    return true;
}

void TitleIndexWriter::add(qint64 id, const QString &name)
{
    m_highestAdded = qMax(m_highestAdded, id);
    for (const PartPlan &plan : m_plans) {
        if (plan.mode == Mode::None || (plan.mode == Mode::Below && id > plan.upto))
            continue;
        if (plan.part == TitleIndex::Part::Pinyin)
            m_inserter->gatherPinyin(id, name);
        else
            m_inserter->gatherName(id, name);
    }
}

bool TitleIndexWriter::finish(const std::function<bool()> &step)
{
    if (m_inserter && !m_inserter->flush(step))
        return fail(m_inserter->error());
    if (m_plans[0].claimed && !m_index.ensurePinyinIndexes())
        return fail(m_index.lastError());
    for (const PartPlan &plan : m_plans) {
        if (plan.mode == Mode::All && !m_index.setState(plan.part, plan.version, qMax(plan.upto, m_highestAdded)))
            return fail(m_index.lastError());
    }
    return true;
}

} // namespace kinolark::store
