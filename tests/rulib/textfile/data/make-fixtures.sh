#!/usr/bin/env bash
# Writes the reader's fixture files next to this script from the UTF-8 texts below.
# Needs iconv. Run it again after changing a text; the test expects exactly these lines.
set -euo pipefail
cd "$(dirname "$0")"

# Typical lines of a Japanese LaTeX source; 表, ソ and 能 have 0x5C as second Shift_JIS byte.
main_text() {
  printf '%s\n' \
    '\documentclass[a4paper]{jarticle}' \
    '\begin{document}' \
    '\section{日本語の見出し}' \
    '本文は漢字とひらがなとカタカナを含みます。' \
    '表示\ソース、能力、予定表' \
    '\end{document}'
}

# Lines whose UTF-8 form holds no byte 0x80, repeated past 4096 bytes.
big_text() {
  for i in $(seq 1 60); do
    printf '%s\n' \
      "\\section{日本語 $i}" \
      '漢字とかなの本文 表示\ソース' \
      '\label{sec:日本語}'
  done
}

crlf() { sed 's/$/\r/'; }
cr() { tr '\n' '\r'; }

main_text | iconv -f UTF-8 -t CP932 | crlf > sjis-crlf.tex
main_text | iconv -f UTF-8 -t CP932 | cr > sjis-cr.tex
main_text | iconv -f UTF-8 -t CP932 > sjis-lf.tex
{ main_text; printf '%s\n' '半角ｶﾅと全角カナ'; } | iconv -f UTF-8 -t EUC-JP > euc-lf.tex
main_text | crlf | iconv -f UTF-8 -t ISO-2022-JP > iso2022jp-crlf.tex
{ printf '\xEF\xBB\xBF'; main_text | crlf; } > utf8-bom-crlf.tex
big_text | crlf > utf8-big-crlf.tex
printf '%s\r\n' '\documentclass{article}' '\begin{document}' 'Plain ASCII text.' '\end{document}' > ascii-crlf.tex
{ printf '\xFF\xFE'; main_text | crlf | iconv -f UTF-8 -t UTF-16LE; } > utf16le-bom-crlf.tex
{ printf '\xFE\xFF'; main_text | crlf | iconv -f UTF-8 -t UTF-16BE; } > utf16be-bom-crlf.tex

# The big UTF-8 file must be recognised by its length alone.
if LC_ALL=C grep -q $'\x80' utf8-big-crlf.tex; then echo "utf8-big-crlf.tex holds 0x80" >&2; exit 1; fi
size=$(stat -c %s utf8-big-crlf.tex)
if [ "$size" -le 4096 ]; then echo "utf8-big-crlf.tex is not longer than 4096 bytes" >&2; exit 1; fi
