#pragma once

#include <QByteArray>
#include <QString>

namespace kinolark::browse {

// What the user typed, made ready for looking up suggestions.
struct SuggestionQuery
{
    QString name;      // the text without blanks at its ends, letter case folded
    qsizetype length = 0; // of `name`, in characters
    QByteArray pinyin; // lower-case letters and digits with every blank taken
                       // out; empty when the text holds anything else

    static SuggestionQuery from(const QString &typed);
    bool isEmpty() const { return name.isEmpty(); }

    // `text` as one FTS5 phrase: between double quotes, a double quote
    // doubled, so no word or sign in it acts as query syntax.
    static QByteArray ftsPhrase(const QString &text);
    // `text` as a LIKE pattern with "\" as escape, matching it literally:
    // anywhere in a name, or at its start.
    static QString likePattern(const QString &text, bool prefixOnly);
    // The first text after every text that starts with `prefix`, in code
    // point order; empty when there is none.
    static QString pastPrefix(const QString &prefix);
};

} // namespace kinolark::browse
