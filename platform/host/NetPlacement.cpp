#include "platform/host/NetPlacement.h"

#include "platform/host/Document.h"
#include "platform/host/EventReplay.h"
#include "platform/host/View.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>
#include <utility>
#include <vector>

namespace VezadHost {

namespace {

// Steepest slope of the surface against the screen, and largest change of
// slope between neighbouring stretches of a line.
constexpr double kMaxSlope = 72.0 * std::numbers::pi / 180.0;
constexpr double kMaxBend = 25.0 * std::numbers::pi / 180.0;
// The largest angle between the facets picked at a net point and at a
// neighbouring crossing (an eighth of the square away): a single facet of a
// scan tilts with its noise where a stretch of the depths does not, so the
// bound is that of the steepest slope (at 50 degrees a scan whose noise is
// a sixth of the tolerance found no square); a wall along the square's side
// turns further.
constexpr double kMaxBendOfFacets = 72.0 * std::numbers::pi / 180.0;
// The least bend of a crease: the facets of a coarse mesh meet at up to 45
// degrees, and the fit follows them within the tolerance; a rim, a groove or
// the edge of a part bends further.
constexpr double kMaxCrease = 45.0 * std::numbers::pi / 180.0;
// How far a crease's bend stands out from the bends a stretch before and
// after it: over a sheet whose curvature changes gently they are alike; a
// crease with flat sides bends nowhere else, and a rim or a groove narrower
// than a stretch bends twice as much over it as a stretch away.
constexpr double kCreasePeak = 1.5;
// The shortest stretch over which a slope is judged, in document
// tolerances: the scale at which the fit sees the surface. A scan's noise
// of spread s moves the change of slope between two stretches of length L
// by about sqrt(6) s / L radians; for noise of a third of the tolerance and
// stretches of 10 tolerances that is 4.7 degrees, a fifth of the largest
// bend, while a sheet the fit can follow bends far less over so short a
// stretch than a fold or an edge does.
constexpr double kStretchTolerances = 10.0;
// The least side of a square, in document tolerances.
constexpr double kLeastSide = 4.0;
// Pixels between the visible points tried as centres, and between the
// samples that measure the visible extent.
constexpr int kScanStep = 4;
// The smallest square (half side, pixels) worth zooming in on, and the half
// side the zoom gives it: a third of the view's smaller side.
constexpr int kSmallestHalf = 8;
constexpr double kDrawingShare = 0.3;
// The least half side to draw on: a net's cell is then 48 pixels across, and
// a point put down a third of a cell from a line lies 16 pixels from it,
// beyond the reach within which a click takes the line itself (15 pixels).
constexpr int kLeastDrawingHalf = 48;
// What is seen narrower than half the view is first zoomed in on until it
// fills this share of it, by this factor at the most.
constexpr double kFillShare = 0.9;
constexpr double kMostZoom = 20.0;
// Lines checked across a square in each direction (sides and middle lines
// among them), and samples along each.
constexpr int kLinesPerDirection = 9;
constexpr int kSamplesPerLine = 48;
// The least cosine between a picked normal and the direction to the viewer.
constexpr double kLeastFacing = 0.2;
// How far from the pick line a hit may lie, in pixels (at the far plane of
// a perspective view).
constexpr double kOnLine = 0.05;

struct Sample {
    ON_3dPoint point;
    double lateral[2] = {0.0, 0.0}; // across the screen, in world units
    double depth = 0.0;             // away from the camera
};

// What a view shows at its pixels, from its depth buffer: where the first
// surface along each pixel's line of sight lies, as the view drew it.
class ViewSamples {
public:
    explicit ViewSamples(CVezadView& view)
        : m_view(view), m_width(view.width()), m_height(view.height())
    {
        // The depths draw the view when it changed since its last drawing.
        const ON_Viewport& vp = view.ActiveViewport().VP();
        double l = 0, r = 0, b = 0, t = 0;
        m_valid = view.depths(m_depths) && vp.GetCameraFrame(m_axes[0], m_axes[1], m_axes[2]) &&
                  vp.GetFrustum(&l, &r, &b, &t, &m_near, &m_far);
        m_perspective = vp.IsPerspectiveProjection();
        m_camera = vp.CameraLocation();
        if (const CVezadDoc* doc = view.GetDocument())
            m_tolerance = std::max(doc->AbsoluteTolerance(), 0.0);
    }

    int width() const { return m_width; }
    int height() const { return m_height; }
    // The shortest stretch of a line over which a slope is judged, in world
    // units (above).
    double stretch() const { return kStretchTolerances * m_tolerance; }
    // The document's tolerance (0 without a document).
    double tolerance() const { return m_tolerance; }

    // The object the pixel shows when its pick finds its outside facing the
    // viewer there (or finds no normal to tell); else null.
    const CVezadObject* facingObject(int x, int y) const
    {
        const int key = y * m_width + x;
        auto found = m_facing.find(key);
        if (found == m_facing.end()) {
            Facing facing;
            facing.object = objectAt(m_view, x, y, nullptr, &facing.normal);
            found = m_facing.emplace(key, facing).first;
        }
        const ON_3dVector& normal = found->second.normal;
        if (!normal.IsZero() && !(normal * m_axes[2] > kLeastFacing * normal.Length()))
            return nullptr;
        return found->second.object;
    }

    // The normal picked at the pixel by facingObject (zero when it found
    // none or was not asked there).
    ON_3dVector pickedNormal(int x, int y) const
    {
        const auto found = m_facing.find(y * m_width + x);
        return found != m_facing.end() ? found->second.normal : ON_3dVector(0, 0, 0);
    }

    // The direction towards the viewer.
    const ON_3dVector& towardsViewer() const { return m_axes[2]; }

    // False outside the view or where nothing was drawn. The squares tried
    // share most of their lines' pixels: each pixel's sample is worked out
    // once.
    bool at(int x, int y, Sample& sample) const
    {
        if (!m_valid || x < 0 || y < 0 || x >= m_width || y >= m_height)
            return false;
        const std::size_t key =
            static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
            static_cast<std::size_t>(x);
        if (m_known.empty()) {
            m_known.assign(m_depths.size(), kUnknown);
            m_samples.resize(m_depths.size());
        }
        if (m_known[key] == kUnknown)
            m_known[key] = sampleAt(x, y, m_samples[key]) ? kShown : kNone;
        if (m_known[key] != kShown)
            return false;
        sample = m_samples[key];
        return true;
    }

private:
    bool sampleAt(int x, int y, Sample& sample) const
    {
        const double z = m_depths[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
                                  static_cast<std::size_t>(x)];
        ON_Line line;
        if (!(z < 1.0) || !m_view.ActiveViewport().VP().GetFrustumLine(x + 0.5, y + 0.5, line))
            return false;
        // The window depth is linear in the distance for a parallel view,
        // in its reciprocal for a perspective one.
        const double distance = m_perspective ? m_near * m_far / (m_far - z * (m_far - m_near))
                                              : m_near + z * (m_far - m_near);
        const double share = (distance - m_near) / (m_far - m_near);
        sample.point = line.to + share * (line.from - line.to);
        const ON_3dVector offset = sample.point - m_camera;
        sample.lateral[0] = offset * m_axes[0];
        sample.lateral[1] = offset * m_axes[1];
        sample.depth = distance;
        return true;
    }

    CVezadView& m_view;
    int m_width;
    int m_height;
    std::vector<float> m_depths;
    ON_3dVector m_axes[3];
    ON_3dPoint m_camera;
    double m_near = 0.0;
    double m_far = 1.0;
    bool m_perspective = false;
    bool m_valid = false;
    double m_tolerance = 0.0;
    struct Facing {
        const CVezadObject* object = nullptr;
        ON_3dVector normal; // the picked normal (zero: none)
    };
    mutable std::unordered_map<int, Facing> m_facing;
    // Per pixel: whether its sample was worked out, and whether it shows a
    // surface.
    static constexpr signed char kUnknown = -1, kNone = 0, kShown = 1;
    mutable std::vector<signed char> m_known;
    mutable std::vector<Sample> m_samples;
};

// Whether the samples from (x0, y0) to (x1, y1) all lie on one smooth sheet
// facing the viewer: every sample shows a surface, and along the line the
// surface neither turns away nor bends sharply, judged over stretches at
// least the samples' stretch long (and at most half the line), so that a
// scan's noise below the tolerance is not taken for folds.
bool smoothLine(const ViewSamples& samples, int x0, int y0, int x1, int y1)
{
    Sample line[kSamplesPerLine + 1];
    double along[kSamplesPerLine + 1]; // distance from the first sample, across the screen
    for (int i = 0; i <= kSamplesPerLine; ++i) {
        const double t = double(i) / kSamplesPerLine;
        const int x = static_cast<int>(std::lround(x0 + t * (x1 - x0)));
        const int y = static_cast<int>(std::lround(y0 + t * (y1 - y0)));
        if (!samples.at(x, y, line[i]))
            return false;
        along[i] = i == 0 ? 0.0
                          : along[i - 1] + std::hypot(line[i].lateral[0] - line[i - 1].lateral[0],
                                                      line[i].lateral[1] - line[i - 1].lateral[1]);
    }
    const double stretch = std::min(samples.stretch(), 0.5 * along[kSamplesPerLine]);
    // The ends of the stretches: each the first sample a stretch from the
    // last end; the line's last sample closes the last stretch, or replaces
    // the last end when it lies less than half a stretch beyond it.
    int ends[kSamplesPerLine + 1];
    int count = 1;
    ends[0] = 0;
    for (int i = 1; i <= kSamplesPerLine; ++i)
        if (along[i] - along[ends[count - 1]] >= stretch && along[i] > along[ends[count - 1]])
            ends[count++] = i;
    if (ends[count - 1] != kSamplesPerLine) {
        if (count > 2 && along[kSamplesPerLine] - along[ends[count - 1]] < 0.5 * stretch)
            ends[count - 1] = kSamplesPerLine;
        else
            ends[count++] = kSamplesPerLine;
    }
    double previousSlope = 0.0;
    bool hasSlope = false;
    for (int k = 1; k < count; ++k) {
        const Sample& a = line[ends[k - 1]];
        const Sample& b = line[ends[k]];
        const double across = std::hypot(b.lateral[0] - a.lateral[0], b.lateral[1] - a.lateral[1]);
        if (!(across > 0.0))
            continue;
        const double slope = std::atan2(b.depth - a.depth, across);
        if (std::fabs(slope) > kMaxSlope ||
            (hasSlope && std::fabs(slope - previousSlope) > kMaxBend))
            return false;
        previousSlope = slope;
        hasSlope = true;
    }
    return true;
}

// Whether no crease, rim or groove lies across the line from (x0, y0) to
// (x1, y1) (smoothLine judges the rest). At every pixel along the line the
// slope over the stretch behind it is compared with the slope over the
// stretch ahead of it (stretches as smoothLine's): across a crease they part
// by all its angle wherever it lies, where smoothLine's stretches, laid end
// to end, share its turn out between the bends at two of their ends when one
// lies across it, and see nothing of it within half a stretch of the line's
// ends; a rim or a groove narrower than a stretch lifts or drops the pixels
// on it against both. A crease is a bend beyond kMaxCrease that stands out:
// the largest within half a stretch, and more than kCreasePeak times the
// bends a stretch before and after it, where the sheet's own curvature
// bends as much as where it lies. The line is followed on beyond its ends
// by up to a stretch where the view shows a surface, so that a crease just
// inside the square meets whole stretches; a crease beyond the ends is no
// crease of the square.
bool creaseFree(const ViewSamples& samples, int x0, int y0, int x1, int y1)
{
    const int count = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    if (count < 2)
        return true;
    const auto sampleAt = [&](int i, Sample& sample) {
        const double t = double(i) / count;
        return samples.at(static_cast<int>(std::lround(x0 + t * (x1 - x0))),
                          static_cast<int>(std::lround(y0 + t * (y1 - y0))), sample);
    };
    const auto lateral = [](const Sample& a, const Sample& b) {
        return std::hypot(b.lateral[0] - a.lateral[0], b.lateral[1] - a.lateral[1]);
    };
    Sample a, b;
    if (!sampleAt(0, a) || !sampleAt(count, b))
        return false;
    const double stretch = std::min(samples.stretch(), 0.5 * lateral(a, b));
    if (!(stretch > 0.0))
        return true;
    // The pixels beyond the ends that a stretch spans at the line's scale.
    const int beyond =
        std::min(count, static_cast<int>(std::ceil(stretch / lateral(a, b) * count)));
    std::vector<Sample> line;
    line.reserve(static_cast<std::size_t>(count + 2 * beyond) + 1);
    int from = 0;
    Sample sample;
    while (from > -beyond && sampleAt(from - 1, sample))
        --from;
    for (int i = from; i <= count + beyond && sampleAt(i, sample); ++i)
        line.push_back(sample);
    const std::size_t first = static_cast<std::size_t>(-from);
    const std::size_t last = first + static_cast<std::size_t>(count);
    if (line.size() <= last)
        return false;
    const std::size_t end = line.size() - 1;
    std::vector<double> along(line.size(), 0.0);
    for (std::size_t k = 1; k < line.size(); ++k)
        along[k] = along[k - 1] + lateral(line[k - 1], line[k]);
    // A single pixel nearer or farther than both its neighbours (a sliver
    // seen edge-on, standing off the sheet) is no rim the fit sees: each
    // pixel's depth is the middle one of it and its two neighbours'.
    std::vector<double> depth(line.size());
    for (std::size_t k = 0; k < line.size(); ++k) {
        depth[k] = line[k].depth;
        if (k > 0 && k < end)
            depth[k] = std::max(std::min(line[k - 1].depth, line[k].depth),
                                std::min(std::max(line[k - 1].depth, line[k].depth),
                                         line[k + 1].depth));
    }
    // Per pixel: the sample a stretch behind it and a stretch ahead (or the
    // first and the last, half a stretch away at the least), and the bend
    // between the slopes to them (negative where there is none).
    std::vector<std::size_t> behind(line.size(), 0), ahead(line.size(), 0);
    std::vector<double> bend(line.size(), -1.0);
    const auto slope = [&](std::size_t from, std::size_t to, double& angle) {
        const double across = lateral(line[from], line[to]);
        angle = std::atan2(depth[to] - depth[from], across);
        return across > 0.0;
    };
    std::size_t back = 0, forth = 0;
    for (std::size_t i = 0; i <= end; ++i) {
        while (back + 1 < i && along[i] - along[back + 1] >= stretch)
            ++back;
        forth = std::max(forth, std::min(i + 1, end));
        while (forth < end && along[forth] - along[i] < stretch)
            ++forth;
        behind[i] = back;
        ahead[i] = forth;
        double before = 0.0, after = 0.0;
        if (along[i] - along[back] >= 0.5 * stretch && along[forth] - along[i] >= 0.5 * stretch &&
            slope(back, i, before) && slope(i, forth, after))
            bend[i] = std::fabs(after - before);
    }
    std::size_t near = 0, far = 0; // the pixels within half a stretch of i
    for (std::size_t i = 0; i <= end; ++i) {
        while (along[i] - along[near] > 0.5 * stretch)
            ++near;
        while (far < end && along[far + 1] - along[i] <= 0.5 * stretch)
            ++far;
        if (i < first || i > last || !(bend[i] > kMaxCrease))
            continue;
        const double around = std::max(bend[behind[i]], bend[ahead[i]]);
        if (!(bend[i] > kCreasePeak * around))
            continue;
        bool largest = true;
        for (std::size_t j = near; j <= far && largest; ++j)
            largest = !(bend[j] > bend[i]);
        if (largest)
            return false;
    }
    return true;
}

// Whether the square's sides span kLeastSide tolerances across the screen:
// a net of cells narrower than 2 tolerances asks the fit for faces that a
// plane through their corners already meets, and the heal for edges closer
// than its tolerance; no user draws such a net.
bool wideEnough(const ViewSamples& samples, int cx, int cy, int half)
{
    Sample a, b, c, d;
    if (!samples.at(cx - half, cy, a) || !samples.at(cx + half, cy, b) ||
        !samples.at(cx, cy - half, c) || !samples.at(cx, cy + half, d))
        return false;
    const double across = std::hypot(b.lateral[0] - a.lateral[0], b.lateral[1] - a.lateral[1]);
    const double down = std::hypot(d.lateral[0] - c.lateral[0], d.lateral[1] - c.lateral[1]);
    return std::min(across, down) >= kLeastSide * samples.tolerance();
}

bool squareQualifies(const ViewSamples& samples, int cx, int cy, int half, bool judgeSize = true)
{
    if (cx - half < 0 || cy - half < 0 || cx + half >= samples.width() ||
        cy + half >= samples.height())
        return false;
    int offsets[kLinesPerDirection];
    for (int k = 0; k < kLinesPerDirection; ++k) {
        offsets[k] =
            static_cast<int>(std::lround(-half + 2.0 * half * k / (kLinesPerDirection - 1)));
        if (!smoothLine(samples, cx - half, cy + offsets[k], cx + half, cy + offsets[k]) ||
            !smoothLine(samples, cx + offsets[k], cy - half, cx + offsets[k], cy + half))
            return false;
    }
    for (int k = 0; k < kLinesPerDirection; ++k)
        if (!creaseFree(samples, cx - half, cy + offsets[k], cx + half, cy + offsets[k]) ||
            !creaseFree(samples, cx + offsets[k], cy - half, cx + offsets[k], cy + half))
            return false;
    // Where the lines cross, picks tell that one object shows its outside.
    const CVezadObject* object = nullptr;
    for (int dy : offsets)
        for (int dx : offsets) {
            const CVezadObject* o = samples.facingObject(cx + dx, cy + dy);
            if (!o || (object && o != object))
                return false;
            object = o;
        }
    // At the net's points the facet picked lies along the sheet the depths
    // show between the neighbouring lines: a point on a wall or a fillet
    // that the square's side runs along (too narrow for the slopes to see)
    // faces the viewer as well, but turns from the sheet, and the poly-lines
    // through it leave the sheet.
    for (int i = 0; i < kLinesPerDirection; i += (kLinesPerDirection - 1) / 2)
        for (int k = 0; k < kLinesPerDirection; k += (kLinesPerDirection - 1) / 2) {
            const auto at = [&](int row, int column, Sample& sample) {
                return samples.at(cx + offsets[column], cy + offsets[row], sample);
            };
            Sample left, right, up, down;
            if (!at(i, std::max(k - 1, 0), left) ||
                !at(i, std::min(k + 1, kLinesPerDirection - 1), right) ||
                !at(std::max(i - 1, 0), k, up) ||
                !at(std::min(i + 1, kLinesPerDirection - 1), k, down))
                return false;
            const ON_3dVector a = right.point - left.point, b = down.point - up.point;
            ON_3dVector sheet(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
            const ON_3dVector picked = samples.pickedNormal(cx + offsets[k], cy + offsets[i]);
            if (sheet.IsZero() || picked.IsZero())
                continue;
            if (sheet * samples.towardsViewer() < 0.0)
                sheet = -sheet;
            if (!(sheet * picked > std::cos(kMaxSlope) * sheet.Length() * picked.Length()))
                return false;
            // Nor does it turn far from the facets picked at the
            // neighbouring crossings: a wall higher than a tolerance or two,
            // under the side, tilts the depths' sheet towards itself, but
            // its facets still part from the floor's beside it.
            for (const auto& [row, column] : {std::pair{i - 1, k}, std::pair{i + 1, k},
                                              std::pair{i, k - 1}, std::pair{i, k + 1}}) {
                if (row < 0 || column < 0 || row >= kLinesPerDirection ||
                    column >= kLinesPerDirection)
                    continue;
                const ON_3dVector beside =
                    samples.pickedNormal(cx + offsets[column], cy + offsets[row]);
                if (!beside.IsZero() && !(beside * picked > std::cos(kMaxBendOfFacets) *
                                                                beside.Length() * picked.Length()))
                    return false;
            }
        }
    return !judgeSize || wideEnough(samples, cx, cy, half);
}

// The largest qualifying half side from `largest` down, else 0.
int largestSquare(const ViewSamples& samples, int cx, int cy, int largest)
{
    // The smallest square on a smooth sheet first: no larger one is either.
    if (largest < kSmallestHalf || !squareQualifies(samples, cx, cy, kSmallestHalf, false))
        return 0;
    for (double half = largest; half > kSmallestHalf; half *= 0.85)
        if (squareQualifies(samples, cx, cy, static_cast<int>(half)))
            return static_cast<int>(half);
    return wideEnough(samples, cx, cy, kSmallestHalf) ? kSmallestHalf : 0;
}

struct Candidate {
    int x;
    int y;
    double distance;
};

// The box of the pixels that show something; false when none does.
bool visibleExtent(const ViewSamples& samples, int box[4])
{
    Sample sample;
    box[0] = samples.width(), box[1] = samples.height(), box[2] = -1, box[3] = -1;
    for (int y = 0; y < samples.height(); y += kScanStep)
        for (int x = 0; x < samples.width(); x += kScanStep)
            if (samples.at(x, y, sample)) {
                box[0] = std::min(box[0], x);
                box[1] = std::min(box[1], y);
                box[2] = std::max(box[2], x + kScanStep);
                box[3] = std::max(box[3], y + kScanStep);
            }
    return box[2] >= 0;
}

// The square around the visible point nearest the view's centre whose
// square is at least half the largest allowed; where no point carries one
// that big, the largest square found. False when none qualifies.
bool searchSquare(const ViewSamples& samples, const int extent[4], double fraction,
                  NetSquare& square)
{
    const int w = samples.width(), h = samples.height();
    std::vector<Candidate> candidates;
    Sample sample;
    for (int y = extent[1]; y < extent[3]; y += kScanStep)
        for (int x = extent[0]; x < extent[2]; x += kScanStep)
            if (samples.at(x, y, sample))
                candidates.push_back({x, y, std::hypot(x - 0.5 * w, y - 0.5 * h)});
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    const int largest =
        static_cast<int>(0.5 * fraction * std::min(extent[2] - extent[0], extent[3] - extent[1]));
    square.half = 0;
    for (const Candidate& c : candidates) {
        const int border = std::min({c.x, c.y, w - 1 - c.x, h - 1 - c.y});
        const int reach = std::min(largest, border);
        if (reach <= square.half)
            continue;
        if (const int half = largestSquare(samples, c.x, c.y, reach); half > square.half) {
            square.centreX = c.x;
            square.centreY = c.y;
            square.half = half;
            if (2 * half >= largest)
                break;
        }
    }
    return square.half > 0;
}

// Moves the camera across the view so that the point comes to its centre,
// and narrows the frustum by the factor.
void zoomAt(CVezadView& view, const ON_3dPoint& point, double factor)
{
    ON_Viewport& vp = view.ActiveViewport().VP();
    ON_3dVector axes[3];
    if (!vp.GetCameraFrame(axes[0], axes[1], axes[2]))
        return;
    const ON_3dVector offset = point - vp.CameraLocation();
    vp.SetCameraLocation(vp.CameraLocation() + (offset * axes[0]) * axes[0] +
                         (offset * axes[1]) * axes[1]);
    double l = 0, r = 0, b = 0, t = 0, n = 0, f = 0;
    if (vp.GetFrustum(&l, &r, &b, &t, &n, &f))
        vp.SetFrustum(l * factor, r * factor, b * factor, t * factor, n, f);
}

// Zooms in on the pixel (x, y) by the factor; false when the view cannot.
bool zoomAtPixel(CVezadView& view, double x, double y, double factor)
{
    ON_Line line;
    if (!view.ActiveViewport().VP().GetFrustumLine(x, y, line))
        return false;
    zoomAt(view, line.to, 1.0 / factor);
    return true;
}

// The square in the view as it stands (zoomed in as needed); false, with the
// reason, when none qualifies.
bool squareInView(CVezadView& view, double fraction, NetSquare& square, std::string& reason)
{
    const int smaller = std::min(view.width(), view.height());
    int extent[4];
    square.zoom = 1.0;
    {
        // Something seen small (far, or thin across) is zoomed in on first.
        const ViewSamples samples(view);
        if (!visibleExtent(samples, extent)) {
            reason = "nothing is visible in the view";
            return false;
        }
        const int narrow = std::min(extent[2] - extent[0], extent[3] - extent[1]);
        if (2 * narrow < smaller) {
            square.zoom = std::min(kMostZoom, kFillShare * smaller / narrow);
            zoomAtPixel(view, 0.5 * (extent[0] + extent[2]), 0.5 * (extent[1] + extent[3]),
                        square.zoom);
        }
    }
    Sample centre;
    {
        const ViewSamples samples(view);
        if (!visibleExtent(samples, extent) || !searchSquare(samples, extent, fraction, square)) {
            reason = "no square of " + std::to_string(2 * kSmallestHalf) + " pixels and " +
                     std::to_string(int(kLeastSide)) +
                     " tolerances or more lies on one smooth sheet facing the viewer";
            return false;
        }
        samples.at(square.centreX, square.centreY, centre);
    }
    const int comfortable = static_cast<int>(kDrawingShare * smaller);
    if (square.half >= comfortable)
        return true;
    // Zoom in on the square's centre and find it again at the new scale;
    // found again too small to draw on, zoom in once more.
    const int cx = view.width() / 2, cy = view.height() / 2;
    double zoom = double(comfortable) / square.half;
    for (int round = 0;; ++round) {
        zoomAt(view, centre.point, 1.0 / zoom);
        const ViewSamples zoomed(view);
        const int half = largestSquare(zoomed, cx, cy, comfortable);
        if (2 * half < comfortable) {
            reason = "the square found does not hold when the view is zoomed in on it";
            return false;
        }
        square = {cx, cy, half, square.zoom * zoom};
        if (half >= kLeastDrawingHalf)
            return true;
        // Still too small after zooming in again (the sizes tried shrink by
        // steps, and the least one to draw on may lie between two of them):
        // the least square to draw on, or none.
        if (round > 0 || !zoomed.at(cx, cy, centre)) {
            if (squareQualifies(zoomed, cx, cy, kLeastDrawingHalf)) {
                square.half = kLeastDrawingHalf;
                return true;
            }
            reason = "the square found is too small to draw on even when zoomed in on";
            return false;
        }
        zoom = double(comfortable) / half;
    }
}

// Turns the camera to look at the box along -direction (towards the
// camera: direction), the whole box in view.
bool lookAlong(CVezadView& view, const ON_3dVector& direction, const ON_BoundingBox& box)
{
    ON_Viewport& vp = view.ActiveViewport().VP();
    const ON_3dVector up =
        std::fabs(direction.z) < 0.9 ? ON_3dVector(0, 0, 1) : ON_3dVector(0, 1, 0);
    return vp.SetCameraDirection(-direction) && vp.SetCameraUp(up) && vp.ZoomToBox(box);
}

} // namespace

bool placeNetSquare(CVezadView& view, double fraction, NetSquare& square, std::string& reason,
                    bool turn)
{
    if (!(fraction > 0.0) || fraction > 1.0) {
        reason = "the share of the extent must lie in (0, 1]";
        return false;
    }
    const ON_Viewport own = view.ActiveViewport().VP();
    if (squareInView(view, fraction, square, reason))
        return true;
    // As a user would, turn the view to look along the axes of what it
    // shows, the thinnest first (it shows the most), from either side.
    const ON_BoundingBox box = visibleExtents(view);
    if (turn && box.IsValid()) {
        const ON_3dVector size = box.Diagonal();
        int axes[3] = {0, 1, 2};
        std::stable_sort(axes, axes + 3, [&](int a, int b) { return size[a] < size[b]; });
        std::string why;
        for (int a : axes)
            for (double side : {1.0, -1.0}) {
                ON_3dVector direction(0, 0, 0);
                direction[a] = side;
                view.ActiveViewport().VP() = own;
                if (lookAlong(view, direction, box) && squareInView(view, fraction, square, why)) {
                    square.turned = true;
                    return true;
                }
            }
    }
    view.ActiveViewport().VP() = own;
    view.Redraw();
    return false;
}

bool lookAtVisible(CVezadView& view, const ON_3dVector& direction, double zoom)
{
    const ON_BoundingBox box = visibleExtents(view);
    if (!box.IsValid() || direction.IsZero() || !(zoom > 0.0))
        return false;
    const ON_Viewport own = view.ActiveViewport().VP();
    ON_3dVector unit = direction;
    unit.Unitize();
    if (!lookAlong(view, unit, box) ||
        !zoomAtPixel(view, 0.5 * view.width(), 0.5 * view.height(), zoom)) {
        view.ActiveViewport().VP() = own;
        return false;
    }
    view.Redraw();
    return true;
}

} // namespace VezadHost
