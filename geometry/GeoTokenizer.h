// Classifier of the next item of a geometry text stream.
//
// Every reader of the geometry text formats (geometry files, surfaces, knot
// vectors, curves on surfaces, composite curves) decides what comes next with
// `GeoTokenizer`. Single characters are only looked at and stay in the stream,
// so the caller reads the item itself; words are taken from the stream.
//
// A reader that refuses a record says why with `reportGeoTextFault`: on
// standard output, or into the `GeoTextAsWritten` the stream carries while a
// caller reads from it a text this system wrote of what it holds (the net
// text reader, which names the line of a refusal itself). Such a text is
// read as the writer writes it: the readers refuse a field in any other
// form, where by themselves they pass over what they do not know.
//
// Ownership: the caller owns the buffer; a GeoTextAsWritten belongs to its
// holder and is attached to one stream while it lives. Thread-safety:
// stateless; a stream is used by one thread at a time.
#pragma once

#include <istream>
#include <string>

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

// Held on a stream while a text this system wrote is read from it: the
// records are read as written, and the cause of the first refusal is kept
// here (holders on one stream nest: the innermost takes the cause).
class GeoTextAsWritten {
public:
    explicit GeoTextAsWritten(std::istream& is);
    ~GeoTextAsWritten();
    GeoTextAsWritten(const GeoTextAsWritten&) = delete;
    GeoTextAsWritten& operator=(const GeoTextAsWritten&) = delete;

    // The first cause reported, empty when none was.
    const std::string& cause() const { return first; }
    void clear() { first.clear(); }

private:
    friend void reportGeoTextFault(std::istream& is, const std::string& cause);
    std::istream& stream;
    void* outer; // the holder this one hides, null when none
    std::string first;
};

// True while a GeoTextAsWritten is held on the stream.
bool readsAsWritten(std::istream& is);

// Says why a record read from is was refused: into the GeoTextAsWritten
// the stream carries (its first cause only), or else as a line on standard
// output.
void reportGeoTextFault(std::istream& is, const std::string& cause);

// A text as a refusal shows what it found: quoted, bytes that are not
// printable as '?', cut after 40 characters.
std::string shownInFault(const std::string& text);
