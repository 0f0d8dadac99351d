// The runner's report of the Meshwright net's fitted faces, for scripts:
//   !face-fits [<factor>]
//                prints, for every face of the net with a fitted surface, in
//                the net's order, the tolerance it was fitted to, the
//                histogram line of its fit's error points (their distances
//                to the face's surface, as the fit measured them: "n=... in
//                [min,max] mean=... rms=...") and the face's largest
//                distance from the mesh, both ways (net/FaceMeshDistance.h):
//                "on its Brep" as the last commit measured the Brep it made
//                of the face, else "on its surface", the net's trimmed face
//                measured now (without one, the largest of the error points,
//                "at its fit points"), and how many mesh vertices under the
//                face beyond the fit's slack it left out (of other sheets,
//                or walls on its sides) and the farthest of them; a face
//                without a surface gets "Face k
//                has no surface" in its place. Fails when no face has a
//                surface, and, with a factor, when a face lies farther from
//                the mesh than factor x its tolerance: the line then adds
//                how many tolerances and the share of its area beyond the
//                fit's slack, and the failure names the farthest such face
//                (in tolerances), its distance and the tolerance. The
//                distance is true however far the face lies.
// Not thread-safe: runs on the host's user-interface thread.
#pragma once

class HeadlessHost;

namespace VezadRunner {

void addFaceFitsDirective(HeadlessHost& host);

} // namespace VezadRunner
