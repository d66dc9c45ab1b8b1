# The Hungarian texts the user reads live in src/platform/texts/, one header per family, so that a
# text change or a translation is one place. This script fails when a C++ string literal anywhere
# else in src/ holds a Hungarian letter. Comments may hold them: only literals are looked at.
#
#   cmake -DSOURCE_DIR=<checkout>/src -P user_texts_check.cmake
#       scans every .h/.hpp/.cpp/.cc under SOURCE_DIR except platform/texts/; also makes sure the
#       texts folder itself is found to hold Hungarian literals, so a broken scan cannot pass.
#   cmake -DFIXTURE=<file> -DEXPECTED_LINES=<l1,l2,...> -P user_texts_check.cmake
#       scans one file and passes when exactly those lines are reported (tests the scanner).
cmake_minimum_required(VERSION 3.25)

set(kHungarianLetters á é í ó ö ő ú ü ű Á É Í Ó Ö Ő Ú Ü Ű)
# The same letters written as universal character names ("\u00e1"), both spellings of the hex digits.
set(kHungarianCodes 00e1 00e9 00ed 00f3 00f6 0151 00fa 00fc 0171 00c1 00c9 00cd 00d3 00d6 0150 00da 00dc 0170)
list(JOIN kHungarianLetters "|" kLetterPattern)
list(JOIN kHungarianCodes "|" kCodePattern)
string(TOUPPER "${kCodePattern}" kUpperCodePattern)
set(kHungarianPattern "${kLetterPattern}|\\\\u(${kCodePattern}|${kUpperCodePattern})|\\\\U0000(${kCodePattern}|${kUpperCodePattern})")

# An ordinary string literal from its opening quote: escaped quotes and backslashes stay inside.
set(kStringLiteral [=[^"([^"\]|\\.)*"]=])
set(kCharLiteral [=[^'([^'\]|\\.)*']=])
# The opening of a raw string literal: quote, delimiter, parenthesis.
set(kRawOpening "^\"([^ ()\\\t\n]*)\\(")

# Prints "<name>:line: literal" (unless name is empty) for every string literal of file that holds
# a Hungarian letter and sets out_var to the list of their line numbers.
function(hungarian_literals file name out_var)
  file(READ "${file}" source)
  set(text "${source}")
  set(offset 0)
  set(found "")
  while(NOT text STREQUAL "")
    # Code that cannot open a literal or a comment. A plain run always follows a quote, a slash,
    # a comment or the file's start, so its own tail tells what prefixes the next quote.
    string(REGEX MATCH [=[^[^"'/]+]=] plain "${text}")
    string(LENGTH "${plain}" length)
    if(length GREATER 0)
      string(SUBSTRING "${text}" ${length} -1 text)
      math(EXPR offset "${offset} + ${length}")
      if(text STREQUAL "")
        break()
      endif()
    endif()
    string(SUBSTRING "${text}" 0 2 opening)
    set(literal "")
    set(length 1)
    if(opening STREQUAL "//")
      string(FIND "${text}" "\n" length)
    elseif(opening STREQUAL "/*")
      # The closing "*/" comes after the opening one ("/*/" does not close).
      string(SUBSTRING "${text}" 2 -1 body)
      string(FIND "${body}" "*/" length)
      if(length GREATER -1)
        math(EXPR length "${length} + 4")
      endif()
    elseif(opening MATCHES "^\"")
      set(length 0)
      if(plain MATCHES [=[(^|[^A-Za-z0-9_])(u8|u|U|L)?R$]=] AND text MATCHES "${kRawOpening}")
        set(closing ")${CMAKE_MATCH_1}\"")
        string(FIND "${text}" "${closing}" length)
        if(length GREATER -1)
          string(LENGTH "${closing}" closingLength)
          math(EXPR length "${length} + ${closingLength}")
        endif()
      elseif(text MATCHES "${kStringLiteral}")
        string(LENGTH "${CMAKE_MATCH_0}" length)
      endif()
      if(length GREATER 0)
        string(SUBSTRING "${text}" 0 ${length} literal)
      endif()
    elseif(opening MATCHES "^'")
      # After a letter or digit a quote is a digit separator (100'000), unless the letters are a
      # character literal's encoding prefix (u8'a', L'a').
      if(plain MATCHES "[A-Za-z0-9_]$" AND NOT plain MATCHES [=[(^|[^A-Za-z0-9_])(u8|u|U|L)$]=])
        set(length 1)
      elseif(text MATCHES "${kCharLiteral}")
        string(LENGTH "${CMAKE_MATCH_0}" length)
      endif()
    endif()
    if(length LESS 1)
      # An unterminated comment or literal runs to the end of the file.
      string(LENGTH "${text}" length)
      if(opening MATCHES "^\"")
        set(literal "${text}")
      endif()
    endif()
    if(NOT literal STREQUAL "" AND literal MATCHES "${kHungarianPattern}")
      string(SUBSTRING "${source}" 0 ${offset} before)
      string(REGEX MATCHALL "\n" newlines "${before}")
      list(LENGTH newlines line)
      math(EXPR line "${line} + 1")
      if(NOT name STREQUAL "")
        message("${name}:${line}: ${literal}")
      endif()
      list(APPEND found ${line})
    endif()
    string(SUBSTRING "${text}" ${length} -1 text)
    math(EXPR offset "${offset} + ${length}")
  endwhile()
  set(${out_var} "${found}" PARENT_SCOPE)
endfunction()

if(DEFINED FIXTURE)
  hungarian_literals("${FIXTURE}" "${FIXTURE}" lines)
  list(JOIN lines "," lines)
  if(NOT lines STREQUAL EXPECTED_LINES)
    message(FATAL_ERROR "${FIXTURE}: literals found on lines ${lines}, expected ${EXPECTED_LINES}")
  endif()
  return()
endif()

if(NOT IS_DIRECTORY "${SOURCE_DIR}/platform/texts")
  message(FATAL_ERROR "SOURCE_DIR=${SOURCE_DIR} is not the source folder with platform/texts/ in it")
endif()
file(GLOB_RECURSE sources LIST_DIRECTORIES false RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.hpp" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.cc")
set(misplaced 0)
set(textsFound 0)
foreach(source IN LISTS sources)
  if(source MATCHES "^platform/texts/")
    hungarian_literals("${SOURCE_DIR}/${source}" "" found)
    list(LENGTH found count)
    math(EXPR textsFound "${textsFound} + ${count}")
    continue()
  endif()
  hungarian_literals("${SOURCE_DIR}/${source}" "src/${source}" found)
  list(LENGTH found count)
  math(EXPR misplaced "${misplaced} + ${count}")
endforeach()
if(textsFound EQUAL 0)
  message(FATAL_ERROR "no Hungarian text found in src/platform/texts/: the scan is broken")
endif()
if(misplaced GREATER 0)
  message(FATAL_ERROR "${misplaced} Hungarian string literal(s) outside src/platform/texts/: "
                      "give each a named text in the family's header there and use the name")
endif()
list(LENGTH sources scanned)
message(STATUS "${scanned} source files: every Hungarian literal is in src/platform/texts/ (${textsFound} there)")
