#include "mesh/NastranReader.h"

#include "mesh/BaseMesh.h"
#include "mesh/MeshIdMap.h"
#include "mesh/NumberText.h"
#include "mesh/ReaderReport.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Lines are looked at up to this many characters; the rest of a longer line
// is dropped (not read as a line of its own).
constexpr std::size_t kLongestLine = 1024;
// A card line is 80 columns, a free-field one or a comment a few hundred: a
// line past this many characters is no line of bulk data, and a text
// without line ends would be read whole as one line.
constexpr std::size_t kLongestReadLine = std::size_t(1) << 20;

enum class CardKind {
    Other,
    Grid,
    Triangle,
    Quad,
    OtherShell,
    EndData,
    System,     // CORD2R, CORD2C, CORD2S: a coordinate system by three points
    GridSystem, // CORD1R, CORD1C, CORD1S: one by three grid points, not placed
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string upperCase(std::string s)
{
    for (char& c : s)
        c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    return s;
}

// The text without the blanks around it.
std::string trimmed(const std::string& s, std::size_t first = 0,
                    std::size_t count = std::string::npos)
{
    if (first >= s.size())
        return std::string();
    std::size_t a = first;
    std::size_t b = count == std::string::npos ? s.size() : std::min(s.size(), first + count);
    while (a < b && isBlank(s[a]))
        ++a;
    while (b > a && isBlank(s[b - 1]))
        --b;
    return s.substr(a, b - a);
}

// The line without the comment a "$" opens (a line of a comment alone
// becomes blank): no field holds a "$".
std::string withoutComment(const std::string& line)
{
    const std::size_t at = line.find('$');
    return at == std::string::npos ? line : line.substr(0, at);
}

// The line with every tab replaced by the blanks up to the next tab stop:
// the stops are at the fields of the small-field format (columns 9, 17, 25,
// ...), so that "GRID<tab>1<tab><tab>0." puts each value in its field.
std::string expandTabs(const std::string& line)
{
    if (line.find('\t') == std::string::npos)
        return line;
    std::string out;
    for (char c : line) {
        if (c != '\t')
            out.push_back(c);
        else
            out.append(8 - out.size() % 8, ' ');
        if (out.size() >= kLongestLine)
            break;
    }
    return out;
}

// The lines of the file, with CR dropped and long lines cut, numbered from
// 1; one line can be given back to be read again.
class CLineSource {
public:
    explicit CLineSource(std::istream& stream) : lines(stream, kLongestLine + 4, kLongestReadLine)
    {
    }

    bool next(std::string& line)
    {
        if (overlong > 0)
            return false; // the rest of the text is not read
        if (havePending) {
            havePending = false;
            line.swap(pending);
            ++number;
            return true;
        }
        // A byte-order mark and a CR are taken off before the cut.
        const Platform::LineRead got = lines.next(line);
        if (got == Platform::LineRead::tooLong)
            overlong = number + 1;
        if (got != Platform::LineRead::line)
            return false;
        ++number;
        // The last line of a file cut short has no line end.
        unterminated = lines.lastUnterminated();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // A byte-order mark, as editors put it before a UTF-8 text, is no
        // part of the first line.
        if (number == 1 && line.compare(0, 3, "\xef\xbb\xbf") == 0)
            line.erase(0, 3);
        if (line.size() > kLongestLine)
            line.resize(kLongestLine);
        return true;
    }

    void giveBack(std::string& line)
    {
        pending.swap(line);
        havePending = true;
        --number;
    }

    // The number of the last line read.
    long lineNumber() const { return number; }
    // The line past kLongestReadLine that ended the lines; 0 when none did.
    long overlongLine() const { return overlong; }
    // True when the last line read is the last of the file and has no line
    // end.
    bool lastLineUnterminated() const { return unterminated && !havePending; }

private:
    Platform::BoundedLines lines;
    std::string pending;
    bool havePending = false;
    bool unterminated = false;
    long number = 0;
    long overlong = 0;
};

// A card line split into its fields. The fixed formats count columns from
// 1: field 1 is columns 1-8; then fields of 8 columns (small field) or, on
// a card whose name ends in "*" and on its continuation, four fields of 16
// columns (9-24, 25-40, 41-56, 57-72) and one of 8. A line that holds a
// comma is in free format: its fields are the texts between the commas.
class CCardLine {
public:
    // text: the line, without its leading blanks when it starts a card.
    void set(const std::string& text, bool largeField)
    {
        large = largeField;
        pieces.clear();
        freeFormat = text.find(',') != std::string::npos;
        if (!freeFormat) {
            line = expandTabs(text);
            return;
        }
        line = text;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = line.find(',', start);
            pieces.push_back(trimmed(line, start, comma == std::string::npos
                                                      ? std::string::npos
                                                      : comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }

    // Field k, counted from 1, without the blanks around it; empty beyond
    // the line.
    std::string field(int k) const
    {
        if (freeFormat)
            return k >= 1 && std::size_t(k) <= pieces.size() ? pieces[std::size_t(k - 1)]
                                                             : std::string();
        if (k <= 1)
            return trimmed(line, 0, 8);
        if (!large)
            return trimmed(line, std::size_t(8 * (k - 1)), 8);
        if (k <= 5)
            return trimmed(line, std::size_t(8 + 16 * (k - 2)), 16);
        return trimmed(line, 72, 8);
    }

    bool isFreeFormat() const { return freeFormat; }

private:
    std::string line;
    std::vector<std::string> pieces;
    bool freeFormat = false;
    bool large = false;
};

// The name of a card: its first field without blanks, in upper case
// ("GRID   *" is "GRID*"); the name must match as a whole, so that "GRIDB" or
// "CTRIA3X" is not read as a card of another layout.
std::string cardName(const std::string& card)
{
    const std::size_t comma = card.find(',');
    std::string name;
    const std::string first = comma != std::string::npos ? card.substr(0, comma)
                                                         : trimmed(expandTabs(card), 0, 8);
    for (char c : first)
        if (!isBlank(c))
            name.push_back(c);
    return upperCase(name);
}

CardKind cardKind(const std::string& name, bool& large)
{
    large = !name.empty() && name.back() == '*';
    const std::string base = large ? name.substr(0, name.size() - 1) : name;
    if (base == "GRID")
        return CardKind::Grid;
    if (base == "CTRIA3")
        return CardKind::Triangle;
    if (base == "CQUAD4")
        return CardKind::Quad;
    if (base == "ENDDATA" && !large)
        return CardKind::EndData;
    if (base == "CORD2R" || base == "CORD2C" || base == "CORD2S")
        return CardKind::System;
    if (base == "CORD1R" || base == "CORD1C" || base == "CORD1S")
        return CardKind::GridSystem;
    // Shell elements of other kinds: facets the file has that are not read.
    static const char* const otherShells[] = {"CTRIA6", "CTRIAR", "CQUAD8", "CQUADR", "CQUAD"};
    for (const char* shell : otherShells)
        if (base == shell)
            return CardKind::OtherShell;
    return CardKind::Other;
}

// "BEGIN BULK" opens the bulk data that "ENDDATA" closes.
bool isBeginBulk(const std::string& card)
{
    const std::string text = upperCase(card);
    if (text.rfind("BEGIN", 0) != 0)
        return false;
    std::size_t i = 5;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return text.compare(i, 4, "BULK") == 0;
}

// A real field in the Nastran forms: [sign] digits [. digits] followed by
// an optional exponent written "E", "D" or only its sign ("1.5-3" is
// 1.5e-3). A blank field is 0. False, value 0, for anything else or a value
// a float cannot hold; for the latter (a number beyond the range of a float,
// "1.+39") notFinite is set as well. The value is kept in double: a point
// placed through a coordinate system is rounded to a float once, in the
// basic system.
bool parseReal(const std::string& f, double& value, bool& notFinite)
{
    value = 0.0;
    if (f.empty())
        return true;
    std::string s;
    std::size_t i = 0;
    if (f[i] == '+' || f[i] == '-') {
        if (f[i] == '-')
            s.push_back('-');
        ++i;
    }
    bool digits = false;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
        s.push_back(f[i++]);
        digits = true;
    }
    if (i < f.size() && f[i] == '.') {
        s.push_back(f[i++]);
        while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
            s.push_back(f[i++]);
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < f.size()) {
        const char c = f[i];
        if (c == 'e' || c == 'E' || c == 'd' || c == 'D')
            ++i;
        else if (c != '+' && c != '-')
            return false;
        s.push_back('e');
        if (i < f.size() && (f[i] == '+' || f[i] == '-')) {
            if (f[i] == '-')
                s.push_back('-');
            ++i;
        }
        bool exponentDigits = false;
        while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
            s.push_back(f[i++]);
            exponentDigits = true;
        }
        if (!exponentDigits || i != f.size())
            return false;
    }
    double v = 0.0;
    if (!parseWholeFloatRange(s, v)) {
        notFinite = notFinite || isNonFiniteNumber(s);
        return false;
    }
    value = v;
    return true;
}

// True when a line that starts no card can be the continuation of one: it
// starts with a blank, a tab, "+", "*" or "," (a free-field continuation).
bool isContinuationLine(const std::string& line)
{
    return line.empty() || isBlank(line[0]) || line[0] == '+' || line[0] == '*' || line[0] == ',';
}

// True for a blank field and for one that holds an integer or a real.
bool isNumberOrBlank(const std::string& field)
{
    int integer = 0;
    double real = 0.0;
    bool beyond = false;
    return field.empty() || parseWholeInteger(field, integer) || parseReal(field, real, beyond) ||
           beyond;
}

// Reads the next card line: a line whose first non-blank character is a
// letter, returned without its leading blanks and its comment; indented
// tells whether it had leading blanks (a continuation line whose first
// field is a word has them too). False at the end of the file. A line that
// starts neither a card nor a continuation (its first character a digit or
// a mark, as in a damaged card name) is handed to stray, with its line
// number, when one is given.
bool nextCard(CLineSource& lines, std::string& card, bool* indented = nullptr,
              const std::function<void(const std::string&, long)>& stray = nullptr)
{
    std::string line;
    while (lines.next(line)) {
        line = withoutComment(line);
        std::size_t i = 0;
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i < line.size() && isLetter(line[i])) {
            card = line.substr(i);
            if (indented != nullptr)
                *indented = i > 0;
            return true;
        }
        if (stray && !isContinuationLine(line))
            stray(line, lines.lineNumber());
    }
    return false;
}

// The continuation line of a large-field card: the next line that is not a
// comment, unless that line starts a card of its own (then it is given back
// and the result is false). Continuation lines keep their columns as they
// stand; their first field may be blank.
bool nextContinuation(CLineSource& lines, std::string& continuation)
{
    while (lines.next(continuation)) {
        std::size_t i = 0;
        while (i < continuation.size() && isBlank(continuation[i]))
            ++i;
        if (i < continuation.size() && continuation[i] == '$')
            continue;
        if (i < continuation.size() && isLetter(continuation[i])) {
            lines.giveBack(continuation);
            return false;
        }
        continuation = withoutComment(continuation);
        return true;
    }
    return false;
}

// The id map's mark of a grid whose coordinates are not all finite: it has
// no vertex, and the elements that use it are left out. A grid left out for
// a field it could not read has a mark below it.
constexpr int kNonFiniteGrid = -2;
constexpr int kGridLeftOut = -3;

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

// The cards of the bulk data that are not read (cards of other kinds, and
// lines that start no card: a damaged card name), told in one line at the
// end: how many, the first kinds met, and the line of the first.
class CSkippedCards {
public:
    void add(const std::string& name, long line)
    {
        if (count++ == 0)
            firstLine = line;
        if (known.size() < kKindsKept && known.insert(name).second)
            kinds.push_back(name);
    }

    void report() const
    {
        if (count == 0)
            return;
        std::cout << "passed over " << count << (count == 1 ? " card" : " cards")
                  << " of kinds not read (";
        for (std::size_t k = 0; k < kinds.size() && k < kKindsShown; ++k)
            std::cout << (k > 0 ? ", " : "") << quoted(kinds[k]);
        if (kinds.size() > kKindsShown)
            std::cout << " and " << kinds.size() - kKindsShown
                      << (known.size() < kKindsKept ? " more" : " more at least");
        std::cout << "), the first on line " << firstLine << std::endl;
    }

private:
    static constexpr std::size_t kKindsShown = 8;
    static constexpr std::size_t kKindsKept = 1000; // a damaged file may make every line a kind
    long count = 0;
    long firstLine = 0;
    std::set<std::string> known;
    std::vector<std::string> kinds; // in the order they were met
};

// The coordinate systems of a file's CORD2R, CORD2C and CORD2S cards, and
// the grids' coordinates taken from them into the basic system. A system is
// given by three points in its reference system (the basic one for 0): A its
// origin, B on its z axis and C in its x-z plane. Its coordinates are
// rectangular (x, y, z), cylindrical (R, theta, z) or spherical (R, theta,
// phi), the angles in degrees.
class CCoordinateSystems {
public:
    struct Card {
        char kind = 'R'; // R, C or S
        int reference = 0;
        double a[3] = {}, b[3] = {}, c[3] = {};
        std::string place; // "CORD2R 1 (line 4)"
        std::string fault; // why it defines no system; empty when it does
    };

    // A system card; one defined again is kept with the fault that says so.
    void define(int id, Card card)
    {
        const auto [at, first] = cards.emplace(id, card);
        if (!first && at->second.fault.empty())
            at->second.fault = "is defined twice (" + at->second.place + " and " + card.place + ")";
    }
    // A system of a kind the reader does not place.
    void defineUnplaced(int id, const std::string& place)
    {
        Card card;
        card.place = place;
        card.fault = "is a " + place + ", placed by grid points, which this reader does not do";
        cards.emplace(id, card);
    }

    // x, given in system id, in the basic system. False, with why saying
    // what keeps the system from being placed, when it cannot be.
    bool toBasic(int id, const double x[3], double out[3], std::string& why)
    {
        if (id == 0) {
            std::copy(x, x + 3, out);
            return true;
        }
        const Frame* frame = frameOf(id, why);
        if (frame == nullptr)
            return false;
        double r[3];
        toRectangular(frame->kind, x, r);
        for (int d = 0; d < 3; ++d)
            out[d] = frame->origin[d] + r[0] * frame->axes[0][d] + r[1] * frame->axes[1][d] +
                     r[2] * frame->axes[2][d];
        return true;
    }

private:
    struct Frame {
        char kind = 'R';
        double origin[3] = {};
        double axes[3][3] = {}; // the unit x, y and z axes in the basic system
        bool placed = false;
        // Why it cannot be placed, and the system where that begins: the
        // system itself, or the first of its references that cannot be
        // placed for a cause of its own. A fault names the system, its
        // reference and that first one, never the whole chain between.
        std::string fault;
        int cause = 0;
    };
    std::map<int, Card> cards;
    std::map<int, Frame> frames;

    static void toRectangular(char kind, const double x[3], double r[3])
    {
        constexpr double kDegree = 3.14159265358979323846 / 180.0;
        if (kind == 'C') {
            r[0] = x[0] * std::cos(x[1] * kDegree);
            r[1] = x[0] * std::sin(x[1] * kDegree);
            r[2] = x[2];
        } else if (kind == 'S') {
            r[0] = x[0] * std::sin(x[1] * kDegree) * std::cos(x[2] * kDegree);
            r[1] = x[0] * std::sin(x[1] * kDegree) * std::sin(x[2] * kDegree);
            r[2] = x[0] * std::cos(x[1] * kDegree);
        } else {
            std::copy(x, x + 3, r);
        }
    }

    static std::string systemName(int id) { return "coordinate system " + std::to_string(id); }

    // The frame of system id, placed once; null with why. The chain of
    // references is walked without recursion, however long: first out from
    // id to the basic system, a system placed before, one that cannot be
    // placed for a cause of its own, or one met before on this walk (the
    // systems from there on are a ring); then the systems of the walk are
    // placed from the far end back to id, each in its reference.
    const Frame* frameOf(int id, std::string& why)
    {
        std::vector<int> walk;
        std::map<int, std::size_t> onWalk;
        int at = id;
        while (at != 0 && frames.find(at) == frames.end() && onWalk.find(at) == onWalk.end()) {
            const auto card = cards.find(at);
            if (card == cards.end() || !card->second.fault.empty()) {
                Frame& frame = frames[at];
                frame.cause = at;
                frame.fault =
                    card == cards.end()
                        ? systemName(at) +
                              ", which no CORD2R, CORD2C or CORD2S card of the file defines"
                        : named(at) + " " + card->second.fault;
                break;
            }
            onWalk.emplace(at, walk.size());
            walk.push_back(at);
            at = card->second.reference;
        }
        std::size_t placeFrom = walk.size();
        if (const auto ring = onWalk.find(at); at != 0 && ring != onWalk.end()) {
            // Every system of the ring refers back to itself.
            const std::size_t size = walk.size() - ring->second;
            for (std::size_t k = ring->second; k < walk.size(); ++k) {
                Frame& frame = frames[walk[k]];
                frame.cause = walk[k];
                frame.fault = named(walk[k]) +
                              (size == 1 ? ", which is its own reference system"
                                         : ", whose reference systems lead back to it (a ring of " +
                                               std::to_string(size) + " systems)");
            }
            placeFrom = ring->second;
        }
        for (std::size_t k = placeFrom; k-- > 0;)
            placeOnReference(walk[k]);
        if (id == 0)
            return nullptr;
        const Frame& kept = frames.at(id);
        why = kept.fault;
        return kept.placed ? &kept : nullptr;
    }

    // "coordinate system 3 (CORD2R 3 (line 7))"
    std::string named(int id) const { return systemName(id) + " (" + cards.at(id).place + ")"; }

    // Places the system of a sound card whose reference is placed, or is
    // known not to be.
    void placeOnReference(int id)
    {
        const Card& card = cards.at(id);
        Frame& frame = frames[id];
        if (card.reference != 0) {
            const Frame& reference = frames.at(card.reference);
            if (!reference.placed) {
                frame.cause = reference.cause;
                frame.fault =
                    named(id) + ", whose reference " +
                    (reference.cause == card.reference ? reference.fault
                                                       : systemName(card.reference) + " leads to " +
                                                             frames.at(reference.cause).fault);
                return;
            }
        }
        std::string why;
        if (!place(card, frame, why)) {
            frame.cause = id;
            frame.fault = named(id) + ", " + why;
        }
    }

    // The frame of a card, its points taken into the basic system through
    // its reference system. False, with why, when it has none.
    bool place(const Card& card, Frame& frame, std::string& why)
    {
        double a[3], b[3], c[3];
        const double* points[3] = {card.a, card.b, card.c};
        double* out[3] = {a, b, c};
        for (int k = 0; k < 3; ++k)
            if (!toBasic(card.reference, points[k], out[k], why)) {
                why = "whose reference " + why;
                return false;
            }
        double z[3], ac[3];
        for (int d = 0; d < 3; ++d) {
            z[d] = b[d] - a[d];
            ac[d] = c[d] - a[d];
        }
        const double y[3] = {z[1] * ac[2] - z[2] * ac[1], z[2] * ac[0] - z[0] * ac[2],
                             z[0] * ac[1] - z[1] * ac[0]};
        const double zLength = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
        const double acLength = std::sqrt(ac[0] * ac[0] + ac[1] * ac[1] + ac[2] * ac[2]);
        const double yLength = std::sqrt(y[0] * y[0] + y[1] * y[1] + y[2] * y[2]);
        // C on the line through A and B leaves the x axis open.
        if (!(zLength > 0.0) || !(yLength > 1e-9 * zLength * acLength) ||
            !std::isfinite(zLength * acLength)) {
            why = "whose points A, B and C do not stand apart, off one line";
            return false;
        }
        for (int d = 0; d < 3; ++d) {
            frame.origin[d] = a[d];
            frame.axes[2][d] = z[d] / zLength;
            frame.axes[1][d] = y[d] / yLength;
        }
        const double(&ey)[3] = frame.axes[1];
        const double(&ez)[3] = frame.axes[2];
        frame.axes[0][0] = ey[1] * ez[2] - ey[2] * ez[1];
        frame.axes[0][1] = ey[2] * ez[0] - ey[0] * ez[2];
        frame.axes[0][2] = ey[0] * ez[1] - ey[1] * ez[0];
        frame.kind = card.kind;
        frame.placed = true;
        return true;
    }
};

// Both passes over the file, and what they could not use.
class CNastranReader {
public:
    CNastranReader(Mesh::CBaseMesh& mesh) : mesh(mesh) {}

    // Pass 1: every readable grid becomes a vertex and an entry of the id
    // map. A grid whose id is not an integer is left out; so is one with a
    // field of another type (its id is marked kGridLeftOut), and one on the
    // last line of a bulk data file cut short. A blank coordinate is 0, as
    // is X3 of a large-field grid whose continuation line is missing (an
    // omitted continuation leaves its fields blank); a coordinate beyond the
    // range of a float marks the grid kNonFiniteGrid.
    void readGrids(std::istream& in)
    {
        CLineSource lines(in);
        std::string card, continuation;
        CCardLine first, second;
        while (nextCard(lines, card)) {
            if (isBeginBulk(card)) {
                inBulk = true;
                hasBeginBulk = true;
                beginBulkLine = lines.lineNumber();
                continue;
            }
            bool large = false;
            const CardKind kind = cardKind(cardName(card), large);
            if (kind == CardKind::EndData) {
                inBulk = false;
                continue;
            }
            if (kind == CardKind::System || kind == CardKind::GridSystem) {
                readSystem(lines, card, kind, large);
                continue;
            }
            if (kind != CardKind::Grid)
                continue;
            const long line = lines.lineNumber();
            const std::string name = large ? "GRID*" : "GRID";
            bool haveContinuation = false;
            const bool cut =
                readCardLines(lines, card, large, continuation, first, second, haveContinuation);
            int id = 0;
            if (!parseWholeInteger(first.field(2), id)) {
                gridsLeftOut.add([&] {
                    return "the " + name + " card of line " + std::to_string(line) + " has " +
                           (first.field(2).empty() ? std::string("no id")
                                                   : "the id " + quoted(first.field(2)) +
                                                         ", not an integer");
                });
                continue;
            }
            const std::string place = name + " " + std::to_string(id) + " (line " +
                                      std::to_string(line) + ")";
            std::string fault;
            if (cut)
                fault = "the file ends inside " + place;
            const std::string system = first.field(3);
            int cp = 0;
            if (fault.empty() && !system.empty() && !parseWholeInteger(system, cp))
                fault = "field " + quoted(system) + " of " + place +
                        " is not a coordinate system id";
            double x[3] = {0.0, 0.0, 0.0};
            bool notFinite = false;
            const std::string xField[3] = {first.field(4), first.field(5),
                                           large ? (haveContinuation ? second.field(2) : "")
                                                 : first.field(6)};
            for (int k = 0; k < 3; ++k) {
                bool beyond = false;
                if (!parseReal(xField[k], x[k], beyond) && !beyond && fault.empty())
                    fault = "field " + quoted(xField[k]) + " of " + place + " is not a number";
                notFinite = notFinite || beyond;
            }
            // CD, PS and SEID after the coordinates are numbers or blank: a
            // word there is the next card's name, its line end lost.
            for (int k = 0; k < 3 && fault.empty(); ++k) {
                const std::string f = !large             ? first.field(7 + k)
                                      : haveContinuation ? second.field(3 + k)
                                                         : std::string();
                if (!isNumberOrBlank(f))
                    fault = "field " + quoted(f) + " of " + place + " is not a number";
            }
            if (!fault.empty()) {
                gridsLeftOut.add([&] { return fault; });
                ids.append(id, kGridLeftOut);
                continue;
            }
            grids.push_back({id, cp, {x[0], x[1], x[2]}, notFinite, large, line});
        }
        overlongLine = lines.overlongLine();
    }

    // The grids read, placed in the basic system in file order: each
    // becomes a vertex and an entry of the id map. A grid in a coordinate
    // system the file does not define, or that cannot be placed, is left
    // out (its id marked kGridLeftOut) with the cause.
    void placeGrids()
    {
        for (const PendingGrid& grid : grids) {
            double basic[3];
            std::string why;
            if (!systems.toBasic(grid.system, grid.x, basic, why)) {
                gridsLeftOut.add([&] {
                    return std::string(grid.large ? "GRID*" : "GRID") + " " +
                           std::to_string(grid.id) + " (line " + std::to_string(grid.line) +
                           ") is in " + why;
                });
                ids.append(grid.id, kGridLeftOut);
                continue;
            }
            ++gridsRead;
            bool finite = !grid.notFinite;
            for (double v : basic)
                finite = finite && std::fabs(v) <= double(FLT_MAX);
            const Mesh::CBaseMesh::Point p{float(basic[0]), float(basic[1]), float(basic[2])};
            ids.append(grid.id, finite ? mesh.addVertex(p) : kNonFiniteGrid);
        }
        grids.clear();
        grids.shrink_to_fit();
    }

    // A coordinate system card: CORD2R, CORD2C or CORD2S with its id, its
    // reference system and the points A, B and C, on its first line and
    // the continuations after it; or a CORD1R, CORD1C or CORD1S, of one or
    // two systems by grid points, which is noted so that a grid in one is
    // told why it is left out.
    void readSystem(CLineSource& lines, const std::string& card, CardKind kind, bool large)
    {
        const long line = lines.lineNumber();
        const std::string name = cardName(card).substr(0, 6);
        CCardLine fields;
        fields.set(card, large);
        if (kind == CardKind::GridSystem) {
            for (int k : {2, 6}) {
                int id = 0;
                if (parseWholeInteger(fields.field(k), id) && id > 0)
                    systems.defineUnplaced(id, name + " " + std::to_string(id) + " (line " +
                                                   std::to_string(line) + ")");
            }
            return;
        }
        // Eleven fields: CID, RID, A1-A3, B1-B3 and C1-C3, as many a line as
        // its format holds.
        const int perLine = large ? 4 : 8;
        std::vector<std::string> values;
        for (int k = 2; k < 2 + perLine; ++k)
            values.push_back(fields.field(k));
        std::string continuation;
        while (values.size() < 11 && nextContinuation(lines, continuation)) {
            fields.set(continuation, large);
            for (int k = 2; k < 2 + perLine; ++k)
                values.push_back(fields.field(k));
        }
        int id = 0;
        if (!parseWholeInteger(values[0], id) || id <= 0)
            return; // no system a grid can name
        CCoordinateSystems::Card system;
        system.kind = name.back();
        system.place = name + " " + std::to_string(id) + " (line " + std::to_string(line) + ")";
        if (values.size() < 11) {
            system.fault = "ends before its point C";
        } else if (!values[1].empty() && !parseWholeInteger(values[1], system.reference)) {
            system.fault = "has the reference system " + quoted(values[1]) + ", not an integer";
        } else {
            double* point[3] = {system.a, system.b, system.c};
            for (int k = 0; k < 9 && system.fault.empty(); ++k) {
                double value = 0.0;
                bool beyond = false;
                if (!parseReal(values[std::size_t(2 + k)], value, beyond))
                    system.fault = "has the field " + quoted(values[std::size_t(2 + k)]) +
                                   ", not a finite number";
                point[k / 3][k % 3] = value;
            }
        }
        systems.define(id, system);
    }

    // Pass 2: every element whose fields are read becomes a polygon on its
    // grids. An element is left out, and counted with its cause, when a
    // grid field is not an integer (a blank one included) or the id fields
    // are of another type, when it names a grid no GRID card defines or one
    // left out, or when a bulk data file ends inside it; an element on a
    // grid that is not finite is left out and counted in its own line.
    void readElements(std::istream& in)
    {
        CLineSource lines(in);
        std::string card, continuation;
        CCardLine first, second;
        // The lines before BEGIN BULK (executive and case control) hold no
        // cards; without BEGIN BULK the whole file is bulk data.
        bool bulk = !hasBeginBulk;
        const auto strayLine = [&](const std::string& text, long line) {
            if (bulk)
                skipped.add(cardName(text), line);
        };
        bool indented = false;
        while (nextCard(lines, card, &indented, strayLine)) {
            if (isBeginBulk(card)) {
                bulk = true;
                continue;
            }
            bool large = false;
            const std::string name = cardName(card);
            const CardKind kind = cardKind(name, large);
            const long line = lines.lineNumber();
            if ((kind == CardKind::Other || kind == CardKind::GridSystem) && bulk && !indented)
                skipped.add(name, line);
            if (kind == CardKind::OtherShell) {
                otherElements.add([&] {
                    return name + " of line " + std::to_string(line) +
                           " is an element of a kind not read (CTRIA3 and CQUAD4 are)";
                });
                continue;
            }
            if (kind != CardKind::Triangle && kind != CardKind::Quad)
                continue;
            bool haveContinuation = false;
            const bool cut =
                readCardLines(lines, card, large, continuation, first, second, haveContinuation);
            const int corners = kind == CardKind::Triangle ? 3 : 4;
            // The fields of the element id, the property id, the grids and
            // the two that follow them (THETA or MCID, ZOFFS).
            std::string fields[8];
            fields[0] = first.field(2);
            fields[1] = first.field(3);
            for (int k = 0; k < corners + 2; ++k)
                fields[2 + k] = !large ? first.field(4 + k)
                                : k < 2 ? first.field(4 + k)
                                        : (haveContinuation ? second.field(k) : std::string());
            readElement(name, line, cut, fields, corners);
        }
        overlongLine = lines.overlongLine();
    }

    // True when the bulk data opened, and its file ended without a line
    // end on the line just read: the card there is cut short.
    bool isCut(const CLineSource& lines) const { return inBulk && lines.lastLineUnterminated(); }

    // The fields of a card: its first line, and for a large-field card its
    // continuation line when the next line is one. True when the file was
    // cut on the card's last line read.
    bool readCardLines(CLineSource& lines, const std::string& card, bool large,
                       std::string& continuation, CCardLine& first, CCardLine& second,
                       bool& haveContinuation) const
    {
        first.set(card, large);
        bool cut = isCut(lines);
        haveContinuation = false;
        if (large && !cut) {
            haveContinuation = nextContinuation(lines, continuation);
            if (haveContinuation) {
                second.set(continuation, true);
                cut = isCut(lines);
            }
        }
        return cut;
    }

    int gridsReadCount() const { return gridsRead; }
    // The line past kLongestReadLine that ended the last pass; 0 when none.
    long overlongLineNumber() const { return overlongLine; }
    const Mesh::CLeftOutRecords& gridsLeftOutRecords() const { return gridsLeftOut; }

    void sortIds() { ids.sortById(); }

    void report() const
    {
        if (overlongLine > 0)
            std::cout << "line " << overlongLine << " is longer than " << kLongestReadLine
                      << " characters, which no line of bulk data is: the file is read no "
                         "further"
                      << std::endl;
        Mesh::reportNonFiniteFacets(nonFinite);
        gridsLeftOut.report();
        cutShort.report();
        unreadable.report();
        undefinedGrid.report();
        onGridLeftOut.report();
        otherElements.report();
        skipped.report();
        if (inBulk)
            std::cout << "the Nastran file ends before the ENDDATA of its BEGIN BULK (line "
                      << beginBulkLine << "): it may be cut short" << std::endl;
    }

private:
    // A grid read, before it is placed in its coordinate system.
    // Its card's name and line make the place a grid left out is told by.
    struct PendingGrid {
        int id;
        int system;
        double x[3];
        bool notFinite;
        bool large; // GRID*
        long line;
    };
    Mesh::CBaseMesh& mesh;
    CMeshIdMap ids;
    CCoordinateSystems systems;
    std::vector<PendingGrid> grids;
    bool inBulk = false; // after BEGIN BULK, before ENDDATA
    long overlongLine = 0;
    bool hasBeginBulk = false;
    long beginBulkLine = 0;
    CSkippedCards skipped;
    int gridsRead = 0;
    long nonFinite = 0;
    Mesh::CLeftOutRecords gridsLeftOut{"grids"};
    Mesh::CLeftOutRecords cutShort, unreadable, undefinedGrid, onGridLeftOut, otherElements;

    void readElement(const std::string& name, long line, bool cut, const std::string* fields,
                     int corners)
    {
        const std::string lineText = "line " + std::to_string(line);
        int elementId = 0;
        const bool haveId = parseWholeInteger(fields[0], elementId);
        const std::string place =
            haveId ? name + " " + std::to_string(elementId) + " (" + lineText + ")"
                   : "the " + name + " card of " + lineText;
        if (cut) {
            cutShort.add([&] { return "the file ends inside " + place; });
            return;
        }
        if (!haveId) {
            unreadable.add([&] {
                return place + " has " +
                       (fields[0].empty() ? std::string("no id")
                                          : "the id " + quoted(fields[0]) + ", not an integer");
            });
            return;
        }
        int propertyId = 0;
        if (!fields[1].empty() && !parseWholeInteger(fields[1], propertyId)) {
            unreadable.add([&] {
                return "field " + quoted(fields[1]) + " of " + place + " is not a property id";
            });
            return;
        }
        // The fields after the grids are numbers or blank: a word there is
        // the next card's name, its line end lost.
        for (int k = corners; k < corners + 2; ++k) {
            const std::string& f = fields[2 + k];
            if (!isNumberOrBlank(f)) {
                unreadable.add(
                    [&] { return "field " + quoted(f) + " of " + place + " is not a number"; });
                return;
            }
        }
        int index[4] = {0, 0, 0, 0};
        bool finite = true;
        for (int k = 0; k < corners; ++k) {
            const std::string& f = fields[2 + k];
            int id = 0;
            if (!parseWholeInteger(f, id)) {
                unreadable.add([&] {
                    return f.empty() ? "grid " + std::to_string(k + 1) + " of " + place +
                                           " is blank"
                                     : "field " + quoted(f) + " of " + place +
                                           " is not a grid id";
                });
                return;
            }
            const int v = ids.findIdIndex(id);
            if (v == -1) {
                undefinedGrid.add([&] {
                    return place + " names GRID " + std::to_string(id) +
                           ", which no GRID card defines";
                });
                return;
            }
            if (v <= kGridLeftOut) {
                onGridLeftOut.add([&] {
                    return place + " uses GRID " + std::to_string(id) + ", which was left out";
                });
                return;
            }
            finite = finite && v != kNonFiniteGrid;
            index[k] = v;
        }
        if (!finite)
            ++nonFinite;
        else
            mesh.addPolygon(index, corners, -1);
    }
};

} // namespace

bool readNastran(Mesh::CBaseMesh& mesh, const char* path)
{
    if (path == nullptr)
        return false;
    // Both passes' streams are opened before anything is added, so that a
    // file that vanishes between them cannot leave half a mesh.
    std::ifstream grids, elements;
    Platform::openRegularStream(grids, path, std::ios::binary);
    Platform::openRegularStream(elements, path, std::ios::binary);
    if (!grids || !elements) {
        std::cout << "cannot open Nastran file " << path << std::endl;
        return false;
    }

    CNastranReader reader(mesh);
    reader.readGrids(grids);
    grids.close();
    // Nothing is added before the grids are placed.
    if (const long line = reader.overlongLineNumber()) {
        std::cout << "line " << line << " of Nastran file " << path << " is longer than "
                  << kLongestReadLine << " characters, which no line of bulk data is" << std::endl;
        return false;
    }
    reader.placeGrids();
    // A file without grid points (not a bulk data file at all, or one cut
    // off before its grids) is a failed read, not an empty mesh; so is one
    // whose every GRID card was left out.
    if (reader.gridsReadCount() == 0) {
        const Mesh::CLeftOutRecords& left = reader.gridsLeftOutRecords();
        std::cout << "no GRID card in Nastran file " << path;
        if (left.size() > 0)
            std::cout << " could be read, the first: " << left.firstText();
        std::cout << std::endl;
        return false;
    }
    mesh.facetHash.setCellSize(kFiniteElementHashCellSize);
    reader.sortIds();
    reader.readElements(elements);
    reader.report();

    mesh.buildTopology();
    mesh.computeBoundingBox();
    mesh.modified = true;
    return true;
}
