#pragma once

namespace kinolark::text {

// ICU's reading of a Han character alone ("Han-Latin; Latin-ASCII"), in
// lower-case letters, from a table the build makes: "" when ICU has none,
// null for a character outside the table.
const char *hanLatinSyllable(char32_t c);

} // namespace kinolark::text
