// Stand-in for the translation library: names of log types, sub-types and
// parameters per language. One text file per language,
// "/opt/app/trans/<language>.txt" under the recorder's root, one entry a
// line: "<id>=<text>"; empty lines and lines starting with '#' are skipped.
// A language name is 1..31 letters, digits, '_' or '-', so it never leaves
// the folder; an unknown or refused name falls back to "en".
#pragma once

// Loads the texts of a language (replacing what was loaded): 0, or -1 when
// neither the language nor the fallback could be read (every id then gives
// an empty text).
int trans_init(const char* language);
// The text of an id, "" when it has none. Valid until trans_deinit.
const char* trans_get_value(int id);
void trans_deinit();
