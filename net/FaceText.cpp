// The ".out" face record: "Face=", the sense and the three tessellation
// settings, the base surface, the trim loops as pairs of (u, v) curve and
// space curve, and the display curves after "ListOfCONS".
#include "net/Face.h"

#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "foundation/TextFields.h"
#include "geometry/GeoTokenizer.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "platform/Uuid.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string_view>
#include <type_traits>

namespace {

constexpr int kLineSize = 1024; // words and settings lines, terminator included

// Restores a stream's precision when the writer leaves.
class PrecisionGuard {
public:
    PrecisionGuard(std::ostream& os, std::streamsize precision) : m_os(os)
    {
        m_old = os.precision(precision);
    }
    ~PrecisionGuard() { m_os.precision(m_old); }
    PrecisionGuard(const PrecisionGuard&) = delete;
    PrecisionGuard& operator=(const PrecisionGuard&) = delete;

private:
    std::ostream& m_os;
    std::streamsize m_old;
};

bool writeCurve(std::ostream& os, CParametricGeometry* curve)
{
    Fenwo::NurbsSurf* nurbs = asNurbsSurf(curve);
    return nurbs != nullptr && nurbs->write(os);
}

// A curve that reads back as no curve at all: degree 1, both ends at the
// origin.
void writeZeroCurve(std::ostream& os)
{
    // A placeholder that lives only to be written: it takes no id of the
    // work's, however many faces are written (debug dumps among them), and
    // it is written with the nil id, the same in every write: a face saved,
    // read (which drops the placeholder) and saved again writes the same
    // text.
    static const char nilId[] = "00000000-0000-0000-0000-000000000000";
    const Platform::SideIdScope sideIds;
    const double origin[3] = {0.0, 0.0, 0.0};
    std::unique_ptr<Fenwo::NurbsSurf> zero(makeCurve(origin, origin));
    zero->id = CSimpleString(nilId, int(sizeof nilId - 1));
    zero->write(os);
}

// The key and value of a "key=value" text; the value ends before a CR.
void splitSetting(std::string_view text, std::string_view& key, std::string_view& value)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    const std::size_t at = text.find('=');
    key = text.substr(0, at);
    value = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
}

// Reads the next settings line (white space skipped first) and converts its
// value when the key matches; a missing or unreadable value, or another key,
// leaves target as it is. False when the stream failed (a line of kLineSize
// characters or more fails it).
template <class T> bool readSetting(std::istream& is, const char* name, T& target)
{
    char line[kLineSize];
    is >> std::ws;
    if (!is.getline(line, sizeof line))
        return false;
    std::string_view key, value;
    splitSetting(line, key, value);
    if (key == name && !value.empty()) {
        T number{};
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), number);
        if (error == std::errc() && end != value.data())
            target = number;
    }
    return true;
}

bool isUsableCurve(const Fenwo::NurbsSurf& curve)
{
    return curve.valid && curve.uKnots != nullptr && curve.uKnots->isHealthy;
}

// A space curve the record holds: the reader takes a shorter one for the
// writer's zero curve, so the writer writes that in its place, and a face
// read and written again writes the same text.
bool isSpaceCurve(Fenwo::NurbsSurf& curve)
{
    return isUsableCurve(curve) && !(curve.getLength() < 1e-8);
}

} // namespace

// A (u, v) curve whose control points lie farther outside the surface's
// domain than the domain is wide is no trim curve of that surface: the
// surface maps all of that onto its sides, and the loop's bridges, samples
// and tessellation would run through parameters the surface does not have.
// Each direction's reach is its own width, but no less than half the wider
// side's: a domain narrow one way (a three-sided face parametrized by arc
// length has a collapsed side) has sound trim curves, the program's own,
// that bulge past its narrow sides by several of their widths. A sound
// curve lies within the hull of its control points; its ends and middle are
// tested too, for a curve whose evaluation leaves that hull (a second
// direction whose degree its single row cannot carry evaluates to the
// origin).
bool farOutsideDomain(Fenwo::NurbsSurf& uv, CParametricGeometry& surface)
{
    const Interval domain[2] = {surface.getDomain(0), surface.getDomain(1)};
    const double width[2] = {domain[0].max - domain[0].min, domain[1].max - domain[1].min};
    auto outside = [&](const Vector& point) {
        for (int d = 0; d < 2 && d < point.n; ++d) {
            const double reach = std::max(width[d], 0.5 * std::max(width[0], width[1]));
            if (!(point[d] >= domain[d].min - reach && point[d] <= domain[d].max + reach))
                return true;
        }
        return false;
    };
    Vector point;
    for (int i = 0; i < uv.getUCount(); ++i) {
        uv.getControlPoint(i, 0, point);
        if (outside(point))
            return true;
    }
    const Interval range = uv.getDomain(0);
    for (double t : {range.min, 0.5 * (range.min + range.max), range.max})
        if (outside(uv.getPoint(t, 0.0)))
            return true;
    return false;
}

namespace {

// ---- Reading a record as written ----------------------------------------------------

// The next word (up to white space), taken from the stream.
std::string nextWord(std::istream& is)
{
    std::string word;
    is >> std::setw(kLineSize) >> word;
    return word;
}

// "Face=" alone on its line.
bool readFaceLine(std::istream& is)
{
    const std::string word = nextWord(is);
    if (word == "Face=")
        return true;
    reportGeoTextFault(is, "expected \"Face=\" at the start of a trimmed face, found " +
                               shownInFault(word));
    return false;
}

// "key=value" with the key given and a value that is a number of the
// setting's type, whole.
template <class T> bool readSettingAsWritten(std::istream& is, const char* name, T& target)
{
    const std::string word = nextWord(is);
    std::string_view key, value;
    splitSetting(word, key, value);
    T number{};
    bool read = false;
    if constexpr (std::is_floating_point_v<T>)
        read = parseNearestReal(value, number);
    else
        read = parseWholeField(value, number);
    // The tessellation's distance and arc tolerance are lengths.
    if (key == name && read && std::is_floating_point_v<T> && number < T(0)) {
        reportGeoTextFault(is, std::string("expected \"") + name +
                                   "=\" and a length (not negative) in a trimmed face, found " +
                                   shownInFault(word));
        return false;
    }
    if (key == name && read) {
        target = number;
        return true;
    }
    reportGeoTextFault(is, std::string("expected \"") + name +
                               "=\" and its number in a trimmed face, found " +
                               shownInFault(word));
    return false;
}

bool readSettingsAsWritten(std::istream& is, CFace& face)
{
    const std::string sense = nextWord(is);
    if (sense != "SenseData=forward" && sense != "SenseData=reverse") {
        reportGeoTextFault(is, "expected \"SenseData=forward\" or \"SenseData=reverse\" in a "
                               "trimmed face, found " +
                                   shownInFault(sense));
        return false;
    }
    if (sense == "SenseData=reverse") {
        std::cout << "reversing a face from .out" << std::endl;
        face.sense = !face.sense;
        face.clearDisplayCache();
    }
    return readSettingAsWritten(is, "MeshType", face.MeshType) &&
           readSettingAsWritten(is, "MeshDistance", face.MeshDistance) &&
           readSettingAsWritten(is, "MeshArcTol", face.MeshArcTol);
}

bool refuseCurve(std::istream& is, int curve, int loop)
{
    reportGeoTextFault(is, "trim curve " + std::to_string(curve + 1) + " of trim loop " +
                               std::to_string(loop + 1) + " of a trimmed face could not be read");
    return false;
}

// A count (digits, fitting an int).
bool readCountAsWritten(std::istream& is, const char* what, int& value)
{
    const std::string word = nextWord(is);
    if (parseWholeField(word, value) && value >= 0)
        return true;
    reportGeoTextFault(is,
                       std::string("expected ") + what + " (a count), found " + shownInFault(word));
    return false;
}

bool hasControlPoints(const Fenwo::NurbsSurf& s)
{
    return s.controlNet != nullptr && s.controlNetSize > 0 && !s.controlNet[0].empty();
}

} // namespace

bool CFace::write(std::ostream& os)
{
    PrecisionGuard precision(os, 16);
    os << "Face=\n";
    os << "SenseData=" << (sense ? "reverse" : "forward") << '\n';
    os << "MeshType=" << MeshType << '\n';
    os << "MeshDistance=" << MeshDistance << '\n';
    os << "MeshArcTol=" << MeshArcTol << '\n';
    Fenwo::NurbsSurf* base = getNurbsSurf();
    if (base == nullptr)
        return false;
    base->write(os);
    os << '\n';
    // Only curves whose (u, v) curve has a text are written, and counted, so
    // that a reader never runs out of step with the counts.
    os << trimLoops.count << '\n';
    for (CLoop* loop : trimLoops) {
        int written = 0;
        for (CParCurve* curve : loop->curves)
            written += asNurbsSurf(curve->getUVCurve()) != nullptr ? 1 : 0;
        os << written << '\n';
        for (CParCurve* curve : loop->curves) {
            if (!writeCurve(os, curve->getUVCurve()))
                continue;
            os << '\n';
            Fenwo::NurbsSurf* space = asNurbsSurf(curve->getSpaceCurve());
            if (space != nullptr && isSpaceCurve(*space))
                space->write(os);
            else
                writeZeroCurve(os);
            os << '\n';
        }
    }
    int written = 0;
    for (CParCurve* curve : displayCurves)
        written += asNurbsSurf(curve->getUVCurve()) != nullptr ? 1 : 0;
    os << "ListOfCONS " << written << '\n';
    for (CParCurve* curve : displayCurves)
        if (writeCurve(os, curve->getUVCurve()))
            os << '\n';
    return os.good();
}

std::ostream& operator<<(std::ostream& os, CFace& face)
{
    if (!face.write(os))
        std::cout << " face write failed. " << std::endl;
    return os;
}

bool CFace::read(std::istream& is, bool loopsAsWritten)
{
    leftOutTrimCurves = 0;
    // A record this system wrote of a face it holds (the net text's trimmed
    // faces) is read as written: each field as the writer writes it, and
    // every curve it names read and usable, or the record is refused.
    const bool asWritten = readsAsWritten(is);
    int token = GeoTokenNone;
    char word[kLineSize];
    if (asWritten) {
        if (!readFaceLine(is) || !readSettingsAsWritten(is, *this))
            return false;
    } else {
        if (readGeoToken(is, true) != GeoTokenF)
            std::cout << "must have FACE= here!" << std::endl;
        token = GeoTokenizer(is, word, false, sizeof word);
        if (token == GeoTokenWord && word[0] == 'S') {
            std::string_view key, value;
            splitSetting(word, key, value);
            if (key == "SenseData" && value == "reverse") {
                std::cout << "reversing a face from .out" << std::endl;
                sense = !sense;
                clearDisplayCache();
            }
            if (readSetting(is, "MeshType", MeshType) &&
                readSetting(is, "MeshDistance", MeshDistance))
                readSetting(is, "MeshArcTol", MeshArcTol);
        }
    }

    if (!is.fail()) {
        // The tokeniser has taken "GeoObject" when the settings were missing.
        setBaseSurface(new Fenwo::NurbsSurf(is, token == GeoTokenGeoObject));
        if (asWritten && !getNurbsSurf()->valid) {
            reportGeoTextFault(is, "the surface of a trimmed face could not be read");
            return false;
        }
        int loopCount = 0;
        if (!asWritten)
            is >> loopCount;
        else if (!readCountAsWritten(is, "the trim loop count of a trimmed face", loopCount))
            return false;
        bool inStep = !is.fail();
        for (int l = 0; l < loopCount && inStep; ++l) {
            int curveCount = 0;
            if (asWritten && !readCountAsWritten(is, "the curve count of a trim loop", curveCount))
                return false;
            if (!asWritten && !(is >> curveCount))
                break;
            auto* loop = new CLoop();
            for (int c = 0; c < curveCount; ++c) {
                auto* uv = new Fenwo::NurbsSurf(is, false);
                // As written, a (u, v) curve that does not read is refused
                // where it stops, before its space curve is read.
                if (asWritten && !isUsableCurve(*uv)) {
                    delete uv;
                    delete loop;
                    return refuseCurve(is, c, l);
                }
                auto* space = new Fenwo::NurbsSurf(is, false);
                // A pair that could not be read at all leaves the stream out
                // of step with the record: stop here.
                inStep = !is.fail() && (uv->valid || space->valid);
                // As written, the space curve is a curve or the writer's
                // zero curve.
                const bool spaceRead = isUsableCurve(*space);
                // A curve that reads whole but lies far outside the domain is
                // no fault of the text's form: it is left out and counted, and
                // the reader of the record decides what the face is then worth.
                bool farOutside = false;
                if (!isUsableCurve(*uv)) {
                    delete uv;
                    uv = nullptr;
                    ++leftOutTrimCurves;
                } else if (farOutsideDomain(*uv, *surface)) {
                    std::cout << "skipping a trim curve far outside the surface's domain"
                              << std::endl;
                    farOutside = true;
                    delete uv;
                    uv = nullptr;
                    ++leftOutTrimCurves;
                }
                // The writer's zero curve stands for "no space curve".
                if (!isSpaceCurve(*space)) {
                    delete space;
                    space = nullptr;
                }
                if (uv != nullptr)
                    loop->curves.append(new CParCurve(uv, space, surface));
                else
                    delete space;
                if (asWritten && (!spaceRead || (uv == nullptr && !farOutside))) {
                    delete loop;
                    return refuseCurve(is, c, l);
                }
                if (!inStep)
                    break;
            }
            const bool taken =
                l == 0 ? setOuterLoop(loop, !loopsAsWritten) : addTrimLoop(loop, !loopsAsWritten);
            if (!taken)
                delete loop;
        }
        const int next = inStep ? GeoTokenizer(is, word, false, sizeof word) : GeoTokenNone;
        if (asWritten && next != GeoTokenListOfCONS) {
            reportGeoTextFault(is, "expected \"ListOfCONS\" after the trim loops of a trimmed "
                                   "face, found " +
                                       shownInFault(word));
            return false;
        }
        if (next == GeoTokenListOfCONS) {
            int count = 0;
            if (asWritten) {
                if (!readCountAsWritten(is, "the display curve count of a trimmed face", count))
                    return false;
            } else {
                is >> count;
            }
            for (int k = 0; k < count && !is.fail(); ++k) {
                CCONS curve(new Fenwo::NurbsSurf(is, false), surface);
                curve.ownsUVCurve = true;
                const auto& uv = static_cast<const Fenwo::NurbsSurf&>(*curve.getUVCurve());
                if (asWritten && !isUsableCurve(uv)) {
                    reportGeoTextFault(is, "display curve " + std::to_string(k + 1) +
                                               " of a trimmed face could not be read");
                    return false;
                }
                if (!uv.valid)
                    break;
                if (isUsableCurve(uv))
                    addDisplayCurve(*this, &curve);
            }
        }
    }

    Fenwo::NurbsSurf* base = getNurbsSurf();
    if (base == nullptr || !base->valid || base->uKnots == nullptr || base->vKnots == nullptr ||
        !base->uKnots->isHealthy || !base->vKnots->isHealthy || !hasControlPoints(*base)) {
        std::cout << "skipping a bad nurbs surface in face read " << std::endl;
        return false;
    }
    updateBoundingBox();
    return true;
}
