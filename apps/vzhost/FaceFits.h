// The runner's report of the Meshwright net's fitted faces, for scripts:
//   !face-fits   prints, for every face of the net with a fitted surface, in
//                the net's order, the tolerance it was fitted to, the
//                histogram line of its fit's error points (their distances
//                to the face's surface, as the fit measured them: "n=... in
//                [min,max] mean=... rms=...") and the largest of them (with
//                ", k tolerances off the mesh" beyond 3 tolerances); a
//                face without one gets "Face k has no surface" in its place;
//                fails when no face has a surface.
// Not thread-safe: runs on the host's user-interface thread.
#pragma once

class HeadlessHost;

namespace VezadRunner {

void addFaceFitsDirective(HeadlessHost& host);

} // namespace VezadRunner
