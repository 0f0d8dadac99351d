#include "FaceFits.h"

#include "foundation/Statistic.h"
#include "net/FaceRecords.h"
#include "net/OpenGLFace.h"
#include "platform/host/HeadlessHost.h"
#include "plugin/MeshwrightPlugIn.h"

#include <cmath>
#include <sstream>

namespace VezadRunner {

namespace {

// Six floats per error point; the third is the signed deviation.
constexpr int kErrorRecord = 6;
// Error points farther than this many tolerances from the face's surface
// tell that the face does not follow the mesh.
constexpr double kFarOff = 3.0;

DirectiveOutcome faceFits(const std::vector<std::string>& arguments, std::string& reason)
{
    if (!arguments.empty()) {
        reason = "takes no arguments";
        return DirectiveOutcome::failed;
    }
    const GB::CSurfaceNet& net = MeshwrightPlugIn().net;
    int number = 0, fitted = 0;
    for (const GB::Face* face = net.firstFace; face; face = face->next) {
        ++number;
        if (!face->surface) {
            VezadApp().Print("Face %d has no surface\n", number);
            continue;
        }
        ++fitted;
        CStatistic distances;
        if (const auto* display = dynamic_cast<const COpenGLFace*>(net.findFaceDisplay(face)))
            for (int k = 2; k < display->errorPoints.count; k += kErrorRecord)
                distances.add(std::fabs(display->errorPoints.data[k]));
        std::ostringstream line;
        line << "Face " << number << " fit to " << net.surfaceTolerance << ": " << distances;
        if (distances.count > 0)
            line << "; largest distance " << distances.max;
        // A face that strays this far is a cause when the job fails later.
        if (distances.count > 0 && distances.max > kFarOff * net.surfaceTolerance)
            line << ", " << std::lround(distances.max / net.surfaceTolerance)
                 << " tolerances off the mesh";
        VezadApp().Print("%s\n", line.str().c_str());
    }
    if (fitted == 0) {
        reason = "no face of the net has a surface";
        return DirectiveOutcome::failed;
    }
    return DirectiveOutcome::passed;
}

} // namespace

void addFaceFitsDirective(HeadlessHost& host)
{
    host.addDirective("face-fits", faceFits);
}

} // namespace VezadRunner
