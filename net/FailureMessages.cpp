// The kinds of failure lines the system prints (see the header).
#include "net/FailureMessages.h"

namespace FailureMessages {

std::vector<FailureLineKind> failureLineKinds()
{
    return {
        {kNoSurface,
         {kNoBoundaryCurves, kEmptyChain, kFewBoundaryHits, kCappedCylinder, kMakroBadSurface,
          kNoStartSurface, kBadStartSurface, kStartNotSurface, kSelectionError, kDegenerateFace,
          kFoldedSurface, kBadSurfaceStage3, kFewPointsInside, kOutsideTolerance, kNoTrimLoop,
          kNoHoleTrimLoop, kTrimLoopOffDomain, kApproximationCancelled}},
        {kRegionWithoutFace, {}},
        {kNoBrep, {}},
        {kRegionNotLeftOut, {}},
        {kNothingToCommit, {}},
        {kBrepOffTheMesh, {}},
        {kAreaWithoutFace, {}},
        {kAreaPartlyBare, {}},
        {kAreaUnderTwoFaces, {}},
        {kFaceOverTwoAreas, {}},
        {kEdgesOffSides, {}},
        {kFaceOverNoArea, {}},
        {kHealFailed, {kHealStartFace}},
        {kGapBetweenFaces, {}},
        {kLostLoop, {}},
    };
}

} // namespace FailureMessages
