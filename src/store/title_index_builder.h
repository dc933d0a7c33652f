#pragma once

#include <QString>

#include <atomic>
#include <memory>

namespace kinolark::text {
class PinyinReader;
}

namespace kinolark::store {

// Brings the side tables (TitleIndex) of a catalogue file up to date: makes
// them where they are missing (a catalogue from before them, or from
// elsewhere), makes a part again that was made another way, and adds the
// titles a part lacks. Meant for a worker thread: it opens its own
// connection to the file and writes some thousands of titles a transaction, so
// the window's own reads and writes go on meanwhile, and a build cut short
// goes on from where it stopped.
class TitleIndexBuilder
{
public:
    struct Result
    {
        bool ok = false;
        bool cancelled = false;
        qint64 titles = 0; // titles read from the catalogue
        QString error;
    };

    TitleIndexBuilder(QString path, std::shared_ptr<const text::PinyinReader> reader);

    // Which parts to bring up to date; both unless told.
    void setParts(bool pinyin, bool names);
    void setChunkSize(int titles) { m_chunkSize = titles; }

    // Returns when every part asked for is current, or at the first
    // failure, or when `cancel` is set (checked between transactions).
    Result run(const std::atomic_bool *cancel = nullptr);

private:
    QString m_path;
    std::shared_ptr<const text::PinyinReader> m_reader;
    bool m_pinyin = true;
    bool m_names = true;
    int m_chunkSize = 20000;
};

} // namespace kinolark::store
