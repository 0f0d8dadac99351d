#include "curves/CompositeCurve.h"

#include "foundation/VertexList.h"
#include "geometry/GeoRef.h"

#include <algorithm>
#include <iostream>
#include <string>

namespace {

bool beginsWith(const std::string& word, const char* prefix, std::size_t n)
{
    return word.compare(0, n, prefix) == 0;
}

// Reads the text form "[min,max]" of an interval; white space (CR
// included) may stand before every item.
bool readInterval(std::istream& is, Interval& out)
{
    char open = 0, comma = 0, close = 0;
    double a = 0.0, b = 0.0;
    if (!(is >> open >> a >> comma >> b >> close) || open != '[' || comma != ',' || close != ']')
        return false;
    out = Interval(a, b);
    return true;
}

// Inserts value into the set of distinct values when the domain holds it.
void addWithin(Kor::Set<double>& set, const Interval& domain, double value)
{
    if (domain.contains(value))
        set.findOrInsert(value, lessDouble);
}

// The set's values ascending into out; mirrored within the domain for a
// composite that runs backwards.
void mirrorInto(Kor::Set<double>& set, const Interval& domain, bool reversed, Vector& out)
{
    out.resize(set.count, true);
    for (int i = 0; i < set.count; ++i)
        out[i] = reversed ? domain.min + domain.max - *set[set.count - 1 - i] : *set[i];
}

} // namespace

CCompositeCurve::~CCompositeCurve() = default;

void CCompositeCurve::orderCurves(int start)
{
    sortCurves(start, false);
    domain = globalInterval;
}

int CCompositeCurve::getNumCurves(Vector* joints) const
{
    if (joints != nullptr) {
        const int n = std::min(curves.count, intervals.count);
        joints->resize(n > 0 ? n + 1 : 0, true);
        for (int i = 0; i < n; ++i) {
            if (i == 0)
                (*joints)[0] = intervals[0].min;
            (*joints)[i + 1] = intervals[i].max;
        }
    }
    return curves.count;
}

bool CCompositeCurve::writeGeometry(std::ostream& os) const
{
    const std::streamsize precision = os.precision(16);
    int count = 0;
    for (CParametricGeometry* c : curves)
        count += c != nullptr;
    os << "CompositeCurve Begin\n";
    writeBlock(os);
    os << count << '\n' << globalInterval << ' ' << domain << '\n';
    for (CParametricGeometry* c : curves)
        if (c != nullptr) {
            writeHollerith(c->id, os);
            os << '\n';
        }
    os << "CompositeCurve End\n";
    os.precision(precision);
    return os.good();
}

bool CCompositeCurve::read(std::istream& is, const CGeoRef& registry)
{
    std::string word;
    if (!(is >> word) || !beginsWith(word, "Begin", 5))
        return false;
    if (!(is >> word) || word != "GeoObject")
        return false;
    CGeoObject::read(is);
    int count = 0;
    Interval global, own;
    if (!(is >> count) || count < 0 || !readInterval(is, global) || !readInterval(is, own))
        return false;
    Kor::List<CParametricGeometry*> members;
    for (int i = 0; i < count; ++i) {
        CSimpleString id;
        if (!readHollerith(id, is))
            return false;
        auto* member = dynamic_cast<CParametricGeometry*>(registry.find(id));
        if (member == nullptr) {
            std::cout << "reference relocation failed. " << std::endl;
            continue;
        }
        members.append(member);
    }
    if (!(is >> word) || !beginsWith(word, "CompositeCurve", 14) || !(is >> word) ||
        !beginsWith(word, "End", 3))
        return false;
    curves = std::move(members);
    orientInPlace();
    updateIntervals();
    if (curves.count == 0)
        globalInterval = savedInterval = global;
    domain = own;
    return true;
}

CParametricGeometry* CCompositeCurve::clone() const
{
    // The clone takes over the order and the reversal flags instead of
    // chaining its members afresh: a new chain keeps the direction of the
    // member it starts from, so one started from a member that runs against
    // the chain would run the other way.
    auto copy = std::make_unique<CCompositeCurve>();
    for (int i = 0; i < curves.count; ++i) {
        CParametricGeometry* member = curves[i];
        CParametricGeometry* twin = member != nullptr ? member->clone() : nullptr;
        if (twin == nullptr && member != nullptr)
            return nullptr;
        copy->curves.append(copy->adoptCurve(twin));
        // A clone that did not take over its original's reversal runs the
        // other way along the chain.
        const bool flip = twin != nullptr && twin->isUReversed() != member->isUReversed();
        copy->reversed.append(isMemberReversed(i) != flip);
    }
    copy->updateIntervals();
    copy->domain = domain;
    copy->uReversed = uReversed;
    copy->uMirror = uMirror;
    copy->layer = layer;
    copy->colour = colour;
    copy->bkColour = bkColour;
    return copy.release();
}

double CCompositeCurve::toChainParameter(double t) const
{
    return uReversed ? domain.max - (t - domain.min) : t;
}

Vector** CCompositeCurve::evaluate(int order, double u, double)
{
    Vector** D = evaluateLocal(order, toChainParameter(u));
    if (D != nullptr && uReversed)
        for (int i = 1; i <= order; i += 2)
            D[i][0] *= -1.0;
    return D;
}

void CCompositeCurve::setDomain(int, const Interval& d)
{
    if (uReversed)
        domain = Interval(domain.min - d.min + domain.max, domain.min - d.max + domain.max);
    else
        domain = d;
}

bool CCompositeCurve::getUKinks(Vector& kinks) const
{
    if (curves.count == 0) {
        std::cout << "oops, unexpected getNumCurves=0" << std::endl;
        return false;
    }
    Kor::Set<double> set;
    set.findOrInsert(domain.min, lessDouble);
    set.findOrInsert(domain.max, lessDouble);
    const double period =
        intervals.count > 0 ? intervals[intervals.count - 1].max - intervals[0].min : 0.0;
    for (const Interval& iv : intervals) {
        addWithin(set, domain, iv.max);
        addWithin(set, domain, iv.max + period);
    }
    mirrorInto(set, domain, uReversed, kinks);
    return true;
}

bool CCompositeCurve::getUBreakpoints(Kor::List<double>& out, bool withEnds) const
{
    Kor::Set<double> set;
    set.findOrInsert(domain.min, lessDouble);
    set.findOrInsert(domain.max, lessDouble);
    const int n = std::min(curves.count, intervals.count);
    for (int k = 0; k < n; ++k) {
        if (curves[k] == nullptr)
            continue;
        Kor::List<double> own;
        curves[k]->getUBreakpoints(own, true);
        const Interval d = curves[k]->getDomain(0);
        // A member read backwards meets its own parameter b at d.max - b
        // past the start of its interval.
        for (double b : own)
            addWithin(set, domain,
                      intervals[k].min + (isMemberReversed(k) ? d.max - b : b - d.min));
    }
    Vector values;
    mirrorInto(set, domain, uReversed, values);
    for (int i = withEnds ? 0 : 1; i < (withEnds ? values.n : values.n - 1); ++i)
        out.append(values[i]);
    return true;
}

void CCompositeCurve::getUSampleParameters(Vector& out) const
{
    if (!getUKinks(out)) {
        CParametricGeometry::getUSampleParameters(out);
        return;
    }
    out = refineValues(out, 5);
    if (curves.count == 1)
        out = refineValues(out, 10);
}

bool CCompositeCurve::hasNormal() const
{
    if (curves.count == 0)
        return false;
    for (CParametricGeometry* c : curves)
        if (c == nullptr || !c->hasNormal())
            return false;
    return true;
}

CParametricGeometry* CCompositeCurve::memberAt(double t, double& local, bool& backwards) const
{
    CParametricGeometry* member = nullptr;
    backwards = getlocalParameter(toChainParameter(t), local, member);
    if (member != nullptr && backwards) {
        const Interval d = member->getDomain(0);
        local = d.min + d.max - local;
    }
    return member;
}

Vector CCompositeCurve::getNormal(double t, double)
{
    double local = 0.0;
    bool backwards = false;
    CParametricGeometry* member = memberAt(t, local, backwards);
    if (member == nullptr || !member->hasNormal())
        return Vector(3);
    return member->getNormal(local, 0.0);
}

Vector CCompositeCurve::getSideVector(double t)
{
    double local = 0.0;
    bool backwards = false;
    CParametricGeometry* member = memberAt(t, local, backwards);
    if (member == nullptr)
        return Vector(3);
    Vector side = member->getSideVector(local);
    if (backwards != uReversed)
        side *= -1.0;
    return side;
}

bool CCompositeCurve::getSurfaceNormal(double t, Vector& normal)
{
    return CChainedCurves::getSurfaceNormal(toChainParameter(t), normal);
}

void CCompositeCurve::draw(double tolerance, bool withColour, int n)
{
    CChainedCurves::draw(tolerance, withColour, n);
}

void CCompositeCurve::setColour(double r, double g, double b)
{
    CParametricGeometry::setColour(r, g, b);
    CChainedCurves::setColour(r, g, b);
}
