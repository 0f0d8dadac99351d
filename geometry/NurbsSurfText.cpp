// Text form of Fenwo::NurbsSurf: the body of a surface record (comment
// lines, colours, constraints, the two knot vectors, each optionally marked
// "reverse", and one line per control point), its writer and its readers.
//
// The reader accepts CR LF line ends: every item is read after skipping
// white space, and comment lines lose a trailing '\r'.
#include "geometry/NurbsSurf.h"

#include "foundation/TextFields.h"
#include "geometry/GeoTokenizer.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace Fenwo {

namespace {

// Largest control net the reader allocates: a count read from a damaged or
// hostile file must not overflow nU * nV or exhaust memory before the
// control-point lines are there to fill it.
constexpr long maxReadControlPoints = 1L << 24;

// The next character after white space, not taken; EOF when there is none.
int peekAfterSpace(std::istream& is)
{
    is >> std::ws;
    return is.good() ? is.peek() : EOF;
}

// Sets reversed when the next item is the word "reverse", which is then
// taken. The tokeniser takes only words; a knot vector's "p=" stays in the
// stream. As written, another word there is refused (false); otherwise it
// is passed over.
bool readReverseWord(std::istream& is, bool& reversed)
{
    char buffer[1024];
    const int token = GeoTokenizer(is, buffer, false, sizeof buffer);
    const bool word = token >= GeoTokenWord && token <= GeoTokenListOfCONS;
    reversed = token == GeoTokenWord && std::strcmp(buffer, "reverse") == 0;
    if (word && !reversed && readsAsWritten(is)) {
        reportGeoTextFault(is,
                           "expected \"reverse\" or a knot vector, found " + shownInFault(buffer));
        return false;
    }
    return true;
}

// The refusal of a record that is not as written: what was expected and
// what was found instead.
bool notAsWritten(std::istream& is, const std::string& expected, const std::string& found);

// True when text begins with word followed by white space or its end.
bool startsWithWord(const char* text, const char* word)
{
    const std::size_t n = std::strlen(word);
    if (std::strncmp(text, word, n) != 0)
        return false;
    const char next = text[n];
    return next == '\0' || next == ' ' || next == '\t' || next == '\r' || next == '\n';
}

// The characters up to the next line end, which stays in the stream.
std::string restOfLine(std::istream& is)
{
    std::string line;
    for (int c = is.peek(); c != EOF && c != '\n'; c = is.peek())
        line.push_back(static_cast<char>(is.get()));
    return line;
}

// The coordinates and the weight of a control point's line after its "="
// as written: numbers apart by commas or blanks within brackets, then the
// weight; rest receives what follows the weight. False when the text is
// not of that form.
bool readPointText(std::string_view text, Vector& point, double& w, std::string& rest)
{
    const std::size_t open = text.find_first_not_of(" \t");
    if (open == std::string_view::npos || text[open] != '[')
        return false;
    const std::size_t close = text.find(']', open);
    if (close == std::string_view::npos)
        return false;
    std::vector<double> coordinates;
    std::string_view inside = text.substr(open + 1, close - open - 1);
    for (;;) {
        const std::size_t at = inside.find_first_not_of(" \t,");
        if (at == std::string_view::npos)
            break;
        const std::size_t end = std::min(inside.find_first_of(" \t,", at), inside.size());
        double v = 0.0;
        if (!parseNearestReal(inside.substr(at, end - at), v))
            return false;
        coordinates.push_back(v);
        inside.remove_prefix(end);
    }
    const std::string_view after = text.substr(close + 1);
    const std::size_t at = after.find_first_not_of(" \t");
    if (at == std::string_view::npos)
        return false;
    const std::size_t end = std::min(after.find_first_of(" \t\r", at), after.size());
    if (!parseNearestReal(after.substr(at, end - at), w))
        return false;
    rest = std::string(after.substr(end));
    point.resize(int(coordinates.size()));
    for (std::size_t k = 0; k < coordinates.size(); ++k)
        point[int(k)] = coordinates[k];
    return true;
}

std::string withoutTrailingCR(std::string line)
{
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

bool notAsWritten(std::istream& is, const std::string& expected, const std::string& found)
{
    reportGeoTextFault(is, "expected " + expected + ", found " + shownInFault(found));
    return false;
}

} // namespace

// ---- Writing ------------------------------------------------------------------------

bool NurbsSurf::write(std::ostream& os) const
{
    const bool header = CGeoObject::write(os);
    const bool body = writeGeometry(os);
    return header && body && os.good();
}

bool NurbsSurf::writeGeometry(std::ostream& os) const
{
    // The reader keeps the colour lines it met as comments; the colours are
    // written from their values below, so such a stored line is left out
    // while its colour is written, and a record reads and writes back the same.
    for (const CSimpleString& line : commentLines) {
        if (line.text == nullptr)
            continue;
        if (colour.n == 3 && startsWithWord(line.text, "#Colour"))
            continue;
        if (bkColour.n == 3 && startsWithWord(line.text, "#bkColour"))
            continue;
        os << line.text << '\n';
    }
    // The colour lines use the precisions in force when the write begins.
    if (colour.n == 3)
        os << "#Colour " << colour << '\n';
    if (bkColour.n == 3)
        os << "#bkColour " << bkColour << '\n';

    os.precision(16);
    ScopedVectorOutputPrecision vectorPrecision(16);
    if (constraints.count > 0) {
        os << "Begin(Constraints)\n" << constraints.count << '\n';
        for (const CConstraint* c : constraints) {
            if (c != nullptr)
                c->write(os);
            os << '\n';
        }
    }
    if (isUReversed())
        os << "reverse\n";
    knots::write(os, *uKnots);
    os << '\n';
    if (isSurface() && isVReversed())
        os << "reverse\n";
    knots::write(os, *vKnots);
    os << '\n';

    const int nU = getUCount();
    const int nV = getVCount();
    Vector xyz;
    char line[160];
    for (int j = 0; j < nV; ++j) {
        for (int i = 0; i < nU; ++i) {
            double w = 0.0;
            getControlPointAndWeight(xyz, i, j, w);
            std::snprintf(line, sizeof line, "P %1i,%1i = [ %20.16f, %20.16f, %20.16f ] %20.16f\n",
                          i, j, xyz[0], xyz[1], xyz[2], w);
            os << line;
        }
    }
    // The knot writer refuses an unhealthy vector and writes nothing: the
    // record cannot be read back, so the write has failed.
    return os.good() && uKnots->isHealthy && vKnots->isHealthy;
}

// ---- Reading ------------------------------------------------------------------------

NurbsSurf::NurbsSurf(std::istream& is, bool withHeader)
    : NurbsSurf(knots(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform), nullptr)
{
    delete vKnots;
    vKnots = new knots(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    allocateStorage();
    // A record that fails to read leaves this small flat net in place.
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            setControlPoint(i, j, Vector(3), 1.0);
    readGeometry(is, withHeader);
}

bool NurbsSurf::read(std::istream& is)
{
    if (!CGeoObject::read(is)) {
        std::cout << "GeoObject block of surface not read." << std::endl;
        valid = false;
        return false;
    }
    return readGeometry(is, false);
}

bool NurbsSurf::readGeometry(std::istream& is, bool withHeader)
{
    valid = true;
    dimension = 3;
    // The record alone decides the reversal flags: "reverse" sets them.
    uReversed = false;
    vReversed = false;
    commentLines.setCapacity(0);

    // The knots and the net are replaced only once the whole record has been
    // read: a failed read leaves the surface's previous, consistent knots and
    // net (for a surface built from a stream, a small flat net), and nothing
    // is allocated for a net whose point lines never came.
    auto fail = [this]() {
        valid = false;
        return false;
    };
    auto refuseAsWritten = [&](const std::string& expected, const std::string& found) {
        notAsWritten(is, expected, found);
        return fail();
    };

    // Header: the caller took "GeoObject" already, or it comes now. Only that
    // word is taken by the look-ahead; "reverse" and the rest stay. As
    // written (GeoTextAsWritten), every record has its header, its
    // constraints' lines hold their fields only, and the word before a knot
    // vector is "reverse" or none.
    const bool asWritten = readsAsWritten(is);
    bool headerRead = true;
    if (withHeader) {
        headerRead = CGeoObject::read(is);
    } else if (peekAfterSpace(is) == 'G') {
        char buffer[1024];
        if (GeoTokenizer(is, buffer, false, sizeof buffer) == GeoTokenGeoObject)
            headerRead = CGeoObject::read(is);
        else if (asWritten)
            return refuseAsWritten("\"GeoObject\" at the start of a curve or surface", buffer);
    } else if (asWritten) {
        return refuseAsWritten("\"GeoObject\" at the start of a curve or surface", restOfLine(is));
    }
    if (!headerRead) {
        std::cout << "GeoObject block of surface not read." << std::endl;
        return fail();
    }

    // Comment lines; only the colour lines are kept, after the others.
    char c = ' ';
    std::string colourLine, bkColourLine;
    for (;;) {
        is >> std::ws;
        if (!is.get(c))
            break;
        if (c != '#') {
            is.putback(c);
            break;
        }
        std::string rest;
        std::getline(is, rest);
        rest = withoutTrailingCR(rest);
        std::istringstream fields(rest);
        std::string word;
        fields >> word;
        if (word == "Colour") {
            Vector v;
            if (fields >> v)
                colour = v;
            colourLine = "#" + rest;
        } else if (word == "bkColour") {
            Vector v;
            if (fields >> v)
                bkColour = v;
            bkColourLine = "#" + rest;
        }
    }
    if (!colourLine.empty())
        commentLines.append(CSimpleString(colourLine.c_str()));
    if (!bkColourLine.empty())
        commentLines.append(CSimpleString(bkColourLine.c_str()));

    // Constraints: added once the net exists, in their order in the record.
    std::vector<std::unique_ptr<CConstraint>> readConstraints;
    if (peekAfterSpace(is) == 'B') {
        int count = 0;
        if (asWritten) {
            // Blanks and tabs after the word are no part of it.
            std::string line = withoutTrailingCR(restOfLine(is));
            line.erase(line.find_last_not_of(" \t\r") + 1);
            if (line != "Begin(Constraints)")
                return refuseAsWritten("\"Begin(Constraints)\"", line);
            std::string word;
            is >> std::setw(64) >> word;
            const auto r = std::from_chars(word.data(), word.data() + word.size(), count);
            if (word.empty() || r.ec != std::errc() || r.ptr != word.data() + word.size() ||
                count < 0)
                return refuseAsWritten("the number of constraints", word);
        } else {
            char buffer[1024];
            GeoTokenizer(is, buffer, true, sizeof buffer); // the whole "Begin(Constraints)" line
            is >> count;
        }
        for (int k = 0; k < count && !is.fail(); ++k) {
            int type = 0;
            readConstraintType(is, type);
            if (is.fail())
                break;
            std::unique_ptr<CConstraint> constraint(newConstraintFromStream(type, is));
            if (asWritten && (constraint == nullptr || is.fail()))
                return refuseAsWritten("constraint " + std::to_string(k + 1) + " of " +
                                           std::to_string(count),
                                       restOfLine(is));
            if (asWritten) {
                const std::string rest = restOfLine(is);
                if (rest.find_first_not_of(" \t\r") != std::string::npos)
                    return refuseAsWritten(
                        "the end of the line after constraint " + std::to_string(k + 1), rest);
            }
            if (constraint != nullptr && !is.fail())
                readConstraints.push_back(std::move(constraint));
        }
    }

    // The two knot vectors, each after an optional "reverse". Both texts are
    // read before either vector is built: the net size their headers name is
    // checked first, so that no store is spent on a net that is refused.
    bool reverseUFlag = false, reverseVFlag = false;
    if (!readReverseWord(is, reverseUFlag))
        return fail();
    KnotText uText;
    if (!knots::readText(is, uText)) {
        const knots reported(uText); // says what was wrong with the record
        return fail();
    }
    if (!readReverseWord(is, reverseVFlag))
        return fail();
    KnotText vText;
    const bool vRead = knots::readText(is, vText);
    if (vRead) {
        const long nUheader = std::max(uText.controlPointCount(), 1L);
        const long nVheader = std::max(vText.controlPointCount(), 1L);
        if (nUheader * nVheader > maxReadControlPoints) {
            std::cout << "control net of " << nUheader << " x " << nVheader << " points too large."
                      << std::endl;
            return fail();
        }
    }
    std::unique_ptr<knots> u(new knots(uText));
    if (!u->isHealthy)
        return fail();
    std::unique_ptr<knots> v(new knots(vText));
    if (!v->isHealthy) {
        std::cout << "unheahlthy vknots." << std::endl;
        return fail();
    }
    const long nUread = std::max(u->getControlPointCount(), 1);
    const long nVread = std::max(v->getControlPointCount(), 1);

    // Control-point lines "P i,j = [ x, y, z ] w", in any order, gathered
    // before the net is built: the net is sized by the knots, and memory is
    // spent on it only when the text holds every one of its points.
    struct PointLine {
        int i, j;
        double x, y, z, w;
    };
    const int nU = static_cast<int>(nUread);
    const int nV = static_cast<int>(nVread);
    const long pointCount = nUread * nVread;
    std::vector<PointLine> lines;
    for (long k = 0; k < pointCount; ++k) {
        if (asWritten && peekAfterSpace(is) != 'P') {
            reportGeoTextFault(is, "expected control point line " + std::to_string(k + 1) +
                                       " of the " + std::to_string(pointCount) +
                                       " of a surface, found " + shownInFault(restOfLine(is)));
            return fail();
        }
        if (!(is >> c) || c != 'P') {
            std::cout << "c!= 'P' "
                      << "'" << c << "' id=" << (id.text != nullptr ? id.text : "") << std::endl;
            for (int r = 0; r < 10; ++r) {
                is >> c;
                std::cout << "c=" << std::endl;
            }
            return fail();
        }
        const int i = readSignedInt(is);
        is >> c;
        const int j = readSignedInt(is);
        // As written, the lines come in the writer's order (i fastest), so
        // that a damaged index is refused on its own line.
        const std::string expected =
            std::to_string(k % nU) + "," + std::to_string(k / nU) + " of a surface";
        if (asWritten && (is.fail() || c != ',' || i != k % nU || j != k / nU)) {
            is.clear();
            return refuseAsWritten("control point line \"P " + expected + "\"",
                                   "P " + std::to_string(i) + c + std::to_string(j) +
                                       restOfLine(is));
        }
        if (is.fail() || c != ',') {
            std::cout << " c!= ," << std::endl;
            return fail();
        }
        if (!(is >> c) || c != '=') {
            if (asWritten) {
                is.clear();
                return refuseAsWritten("\"=\" after \"P " + expected + "\"", c + restOfLine(is));
            }
            std::cout << " c!= =" << std::endl;
            return fail();
        }
        Vector point;
        double w = 0.0;
        std::string rest;
        if (asWritten) {
            // The rest of the line, read on its own: a fault in it is
            // refused on its line, not where the numbers after it end.
            const std::string line = restOfLine(is);
            if (!readPointText(line, point, w, rest))
                return refuseAsWritten("three coordinates in brackets and a weight after \"P " +
                                           expected + " =\"",
                                       line);
        } else {
            is >> point >> w;
            if (is.fail()) {
                std::cout << "i=" << i << " j=" << j << " pin=" << point << " w=" << w
                          << std::endl;
                return fail();
            }
            rest = restOfLine(is);
        }
        // Exactly the three coordinates and the weight the writer writes on
        // the line: a fourth number (a decimal comma, a number split by a
        // blank) or a weight that is not positive would put the point where
        // the text never had it (a weight of 0 keeps no point at all).
        const std::string place = "control point " + std::to_string(i) + "," + std::to_string(j);
        if (point.n != 3) {
            reportGeoTextFault(is, place + " has " + std::to_string(point.n) +
                                       " coordinates, a control point has 3");
            return fail();
        }
        if (!(w > 0.0) || !std::isfinite(w)) {
            std::ostringstream weight;
            weight.precision(17);
            weight << w;
            reportGeoTextFault(is, "the weight of " + place + " is " + weight.str() +
                                       ", a weight is a positive number");
            return fail();
        }
        if (rest.find_first_not_of(" \t\r") != std::string::npos) {
            reportGeoTextFault(is, "expected the end of the line after the weight of " + place +
                                       ", found " + shownInFault(rest));
            return fail();
        }
        // Indices are not wrapped here: a point outside the net would
        // overwrite another one and leave its own place unset.
        if (i < 0 || i >= nU || j < 0 || j >= nV) {
            std::cout << "i=" << i << " j=" << j << " outside the control net of " << nU << " x "
                      << nV << " points." << std::endl;
            return fail();
        }
        lines.push_back({i, j, point[0], point[1], point[2], w});
    }
    std::vector<char> isSet(static_cast<std::size_t>(pointCount), 0);
    for (const PointLine& line : lines)
        isSet[static_cast<std::size_t>(line.i) + static_cast<std::size_t>(nU) * line.j] = 1;
    for (int j = 0; j < nV; ++j) {
        for (int i = 0; i < nU; ++i) {
            if (!isSet[static_cast<std::size_t>(i) + static_cast<std::size_t>(nU) * j]) {
                std::cout << "control point " << i << "," << j << " missing." << std::endl;
                return fail();
            }
        }
    }

    // A fresh net for the knots read; fit state and constraints start afresh.
    release();
    uKnots = u.release();
    vKnots = v.release();
    allocateStorage();
    for (std::unique_ptr<CConstraint>& constraint : readConstraints)
        addConstraint(constraint.release());
    if (reverseUFlag)
        reverseU();
    if (reverseVFlag)
        reverseV();
    Vector xyz(3);
    for (const PointLine& line : lines) {
        xyz[0] = line.x;
        xyz[1] = line.y;
        xyz[2] = line.z;
        setControlPoint(line.i, line.j, xyz, line.w);
    }

    if (is.fail()) {
        std::cout << " inp failed" << std::endl;
        return fail();
    }
    is >> std::ws; // the end of the stream is no failure
    // A net of equal weights other than 1 still needs the rational path.
    rational = rational || isRational();
    dampSteps = 0;
    checkFolds = false;
    stepLimit = DBL_MAX;
    return true;
}

bool NurbsSurf::readAndMerge(std::istream& is)
{
    NurbsSurf fresh(is, false);
    if (is.fail() || !fresh.valid)
        return false;
    copyFrom(fresh);
    // copyFrom renews constraints and leaves flags and comments; the record
    // read defines them, so they are taken over as well.
    for (CConstraint*& constraint : fresh.constraints) {
        addConstraint(constraint);
        constraint = nullptr;
    }
    fresh.constraints.removeAll();
    commentLines = fresh.commentLines;
    uReversed = fresh.uReversed;
    vReversed = fresh.vReversed;
    uMirror = fresh.uMirror;
    vMirror = fresh.vMirror;
    dampSteps = fresh.dampSteps;
    checkFolds = fresh.checkFolds;
    stepLimit = fresh.stepLimit;
    valid = true;
    return true;
}

} // namespace Fenwo
