// Classifier of the next item of a geometry text stream.
//
// Every reader of the geometry text formats (geometry files, surfaces, knot
// vectors, curves on surfaces, composite curves) decides what comes next with
// `GeoTokenizer`. Single characters are only looked at and stay in the stream,
// so the caller reads the item itself; words are taken from the stream.
//
// Ownership: the caller owns the buffer. Thread-safety: stateless; a stream is
// used by one thread at a time.
#pragma once

#include <istream>

// Token codes returned by `GeoTokenizer` and `readGeoToken`. Code 17 is never
// produced.
enum GeoToken : int {
    GeoTokenNone = 0,            // stream not good, or a character that starts no item
    GeoTokenHash = 1,            // '#' or 'p' (comment line, a knot vector's "p="); not taken
    GeoTokenF = 2,               // 'F'
    GeoTokenB = 3,               // 'B'
    GeoTokenDigit = 4,           // a decimal digit; not taken
    GeoTokenOpenParen = 5,       // '('
    GeoTokenCloseParen = 6,      // ')'
    GeoTokenOpenBrace = 7,       // '{'
    GeoTokenCloseBrace = 8,      // '}'
    GeoTokenOpenBracket = 9,     // '['
    GeoTokenCloseBracket = 10,   // ']'
    GeoTokenWord = 11,           // any other word beginning with a letter; taken
    GeoTokenCONS = 12,           // "CONS"; taken
    GeoTokenGeoObject = 13,      // "GeoObject"; taken
    GeoTokenCompositeCurve = 14, // "CompositeCurve"; taken
    GeoTokenMultiCONS = 15,      // "MultiCONS"; taken
    GeoTokenListOfCONS = 16,     // "ListOfCONS"; taken
    GeoTokenP = 18,              // 'P' (a control-point line)
    GeoTokenNull = 19            // "null"; taken
};

// Skips white space (CR counts as white space) and classifies the next item.
// buffer[0] receives the next character as seen ('\0' at the end of the
// stream); for a word the buffer receives the word, cut to bufferSize - 1
// characters and terminated (the whole word is taken from the stream and
// classified in full either way). Nothing is written when buffer is null or
// bufferSize is 0. With skipLine, the codes 2, 3 and 18 also take the rest of
// their line and the white space after it. A stream that is not good, and the
// end of the stream, give GeoTokenNone.
int GeoTokenizer(std::istream& is, char* buffer, bool skipLine, unsigned bufferSize);

// `GeoTokenizer` with a buffer of its own; the word read is not handed out.
int readGeoToken(std::istream& is, bool skipLine);
