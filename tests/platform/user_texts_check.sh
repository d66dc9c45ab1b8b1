#!/bin/bash
# Fails when a C++ string literal in src/ outside platform/texts/ holds a Hungarian letter (comments may):
# the user's texts live in one place. "user_texts_check.sh <src>" scans the tree (and needs platform/texts/
# to hold some, so a broken scan cannot pass); "user_texts_check.sh <file> <l1,l2,...>" tests the scanner.
# Prints "file:line: literal" for each literal of a Hungarian letter, raw strings and digit separators included.
scan() {
  perl -0777 -ne 'my $hu = qr/á|é|í|ó|ö|ő|ú|ü|ű|Á|É|Í|Ó|Ö|Ő|Ú|Ü|Ű|\\(?:u|U0000)(?i:00e[19d]|00f[36ac]|015[01]|017[01]|00c[19d]|00d[36ac])/;
    while (m{ //[^\n]* | /\*.*?(?:\*/|\z) | (?<!\w)(?:u8|u|U|L)?R"([^ ()\\\t\n]*)\(.*?(?:\)\1"|\z)
              | "(?:[^"\\]|\\.)*(?:"|\z) | (?<!u8)(?<=[0-9A-Fa-f])\x27(?=[0-9A-Fa-f]) | \x27(?:[^\x27\\]|\\.)*\x27 }gsx) {
      my ($t, $line) = ($&, 1 + (substr($_, 0, $-[0]) =~ tr/\n//));
      next if $t =~ m{^/[/*]} || $t !~ /^\w*"/ || $t !~ $hu;
      $t =~ s/\n/\\n/g;
      print "$ARGV:$line: $t\n";
    }' "$@"
}
if [ -f "$1" ]; then
  lines=$(scan "$1" | cut -d: -f2 | paste -sd,)
  [ "$lines" = "$2" ] || { echo "$1: literals found on lines $lines, expected $2"; exit 1; }
  exit 0
fi
cd "$1" || exit 1
[ -n "$(scan /dev/null $(find platform/texts -name '*.[hc]*'))" ] || { echo "no Hungarian text found in platform/texts/: the scan is broken"; exit 1; }
misplaced=$(scan /dev/null $(find . -path ./platform/texts -prune -o \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) -print))
[ -z "$misplaced" ] || { echo "$misplaced"; echo "Hungarian literal(s) outside src/platform/texts/ (above): name them there"; exit 1; }
