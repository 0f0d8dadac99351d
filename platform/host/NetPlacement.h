// Where a script may draw a net: a square of pixels in a view that lies on
// one smooth sheet of what the view shows, found from the view itself.
//
// A pixel's sample is the first surface along its line of sight, read from
// the depth buffer of the view as it draws what it shows. A square
// qualifies when the samples along its sides, its middle lines and the rows
// and columns between them (nine each way) all show a surface that, along
// each of those lines, neither turns away from the viewer (slope below 72
// degrees) nor bends sharply between neighbouring stretches (25 degrees at
// the most): its depths vary smoothly, so it is one sheet that faces the
// viewer, without edges, folds, holes or a second sheet seen through a gap.
// Slopes are judged over stretches of at least 10 document tolerances (the
// neighbouring samples where they lie farther apart, half the line at the
// most), the scale at which the fit sees the surface: a scan's noise below
// the tolerance tilts every facet its own way, which a bend between
// neighbouring pixels would take for folds. Where the net's points go, the
// facet a pick finds there turns by less than that steepest slope from the
// sheet the depths show between the neighbouring lines, and by less than
// that slope too from the facets picked where those lines cross the net's
// own: a wall, fillet or rim too narrow for the slopes to see, under a side
// of the square, faces the viewer too, but the poly-lines through a point
// on it would leave the sheet along it. Each line is also followed pixel by pixel, and on beyond
// its ends by up to a stretch: at every pixel inside the square the slope
// over the stretch behind it and over the stretch ahead part by less than
// 45 degrees (the facets of a coarse mesh meet at up to that, and the fit
// follows them), unless the sheet bends as much a stretch before and after
// (its own curvature): a crease turns them by all its angle, and a rim or a
// groove narrower than a stretch lifts or drops the pixels on it against
// both, wherever they lie under the square or along its sides. The square
// spans 4 tolerances at least: a net of cells narrower than 2 tolerances asks the fit for
// faces that a plane through their corners already meets.
//
// The search starts at the visible point nearest the view's centre (then the
// next nearest, until one carries the smallest square) and takes the largest
// square around it, up to a fraction of the visible objects' extent on
// screen. As a user would, the view is zoomed in on what it shows when that
// looks narrow, and on a square too small to draw in comfortably (which is
// then found again in the zoomed view, and zoomed in on once more when its
// cells leave a point put down a third of a cell from a line within a
// click's reach of that line, 15 pixels; still that small, it gives way to
// the least square that leaves the point beyond that reach, or to none);
// when the view shows no square at
// all (a part seen edge-on), it is turned to look along the axes of the
// visible objects' box, the thinnest first, from either side, until one
// shows a square.
//
// Not thread-safe: runs on the host's user-interface thread.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <string>

class CVezadView;

namespace VezadHost {

struct NetSquare {
    int centreX = 0;
    int centreY = 0;
    int half = 0; // half the side, in pixels
    // How much the view was zoomed in to make the square big enough (1: not).
    double zoom = 1.0;
    // Whether the view was turned to look along an axis of what it shows.
    bool turned = false;
};

// Finds the square in the view (above); fraction bounds its side by that
// share of the smaller side of the visible objects' extent on screen. False,
// with the reason in one line, when no square qualifies; the view is then
// unchanged.
// With turn false the view is searched as it stands, never turned.
bool placeNetSquare(CVezadView& view, double fraction, NetSquare& square, std::string& reason,
                    bool turn = true);

// Turns the view to look along -direction (the direction towards the
// camera) at the box of the visible objects, the whole box in view, then
// zooms in on the view's centre by the factor (1: not). False, the view
// unchanged, when the direction is zero or nothing is visible.
bool lookAtVisible(CVezadView& view, const ON_3dVector& direction, double zoom);

} // namespace VezadHost
