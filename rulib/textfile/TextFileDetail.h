// Helpers of the text file reader, shared with its tests.
#pragma once

namespace rulib::textfile_detail {

// 256 flags: nonzero for the lead bytes of the ANSI code page (IsDBCSLeadByte), computed once.
const unsigned char* leadBytes();

// Largest number of bytes one UTF-16 unit can need in the ANSI code page, at least 2.
int ansiUnitBytes();

// Converts m UTF-16 units to the ANSI code page into out (size bytes, the zero included) and
// returns the number of bytes stored. When the whole text does not fit, the longest prefix of
// whole characters that does is stored.
int storeAnsi(const wchar_t* w, int m, char* out, int size);

// Makes a code-page text safe to step over by characters: a lead byte followed by NUL, CR or
// LF is replaced by '?'. A lead byte in the last position is left alone; the result says
// whether there is one.
bool settlePairs(char* text, int n);

}  // namespace rulib::textfile_detail
