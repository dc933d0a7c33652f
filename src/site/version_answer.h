#pragma once

#include <QString>

namespace kinolark::site {

enum class VersionAnswer {
    Current,     // the client is the newest
    NewerClient, // a newer client exists
    NotAnAnswer, // the text is no version answer and is ignored
};

// Reads the answer to "Lx=Up": it must contain "Up"; with every "Up" removed
// the rest must be exactly "1" for the client to be current. Letter case,
// blanks and line ends all count.
VersionAnswer readVersionAnswer(const QString &answer);

} // namespace kinolark::site
