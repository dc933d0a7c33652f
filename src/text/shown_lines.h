#pragma once

#include <QString>

namespace kinolark::text {

// `text` with every line longer than `longest` characters broken into
// pieces no longer than that, at a blank or after a punctuation mark near
// the end of a piece where there is one. A text box lays out a line as a
// whole, at a cost that grows with the square of its length for a line
// without blanks; shorter lines keep it in step with the text's length.
// Lines are ended by CR LF, LF or CR; a break inserted is CR LF.
QString breakLongLines(const QString &text, qsizetype longest = 2048);

} // namespace kinolark::text
