#include "FaceFits.h"

#include "foundation/Statistic.h"
#include "net/Face.h"
#include "net/FaceApproximation.h"
#include "net/FaceMeshDistance.h"
#include "net/FaceRecords.h"
#include "net/OpenGLFace.h"
#include "platform/host/HeadlessHost.h"
#include "plugin/MeshwrightPlugIn.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace VezadRunner {

namespace {

// Six floats per error point; the third is the signed deviation.
constexpr int kErrorRecord = 6;
// How far, in tolerances, a face's surface points seek their nearest facet
// first (farther ones are sought however far); the mesh vertices of the
// face's part of the mesh are measured to it however far.
constexpr double kMeshReach = 10.0;

std::string figure(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

DirectiveOutcome faceFits(const std::vector<std::string>& arguments, std::string& reason)
{
    double factor = 0.0;
    if (arguments.size() > 1 ||
        (arguments.size() == 1 && !(std::strtod(arguments[0].c_str(), nullptr) > 0.0))) {
        reason = "takes at most one argument, a factor above 0";
        return DirectiveOutcome::failed;
    }
    if (arguments.size() == 1)
        factor = std::strtod(arguments[0].c_str(), nullptr);
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    GB::CSurfaceNet& net = plugIn.net;
    const double tolerance = net.surfaceTolerance;
    int number = 0, fitted = 0;
    // The face farthest beyond the factor, in tolerances, and why it fails.
    double farthest = 0.0;
    std::string beyond;
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
        // The face's distance from the mesh: of the Brep the last commit made
        // of it, else of its trimmed face as the net holds it.
        const FaceMeshDistance* measured = nullptr;
        for (const auto& [committed, distance] : plugIn.committedDistances)
            if (committed == number)
                measured = &distance;
        FaceMeshDistance own;
        const char* where = "on its Brep";
        if (measured == nullptr && face->trimmedFace != nullptr && net.mesh != nullptr) {
            own = measureFaceMeshDistance(*face->trimmedFace, *net.mesh, tolerance,
                                          kFitSlack * tolerance, kMeshReach * tolerance);
            measured = &own;
            where = "on its surface";
        }
        std::ostringstream line;
        line << "Face " << number << " fit to " << tolerance << ": " << distances;
        if (measured != nullptr && measured->surfacePoints > 0) {
            line << "; largest distance " << measured->largest << " from the mesh " << where;
            // What lies under the face beyond the fit's slack but was not
            // measured: another sheet, or a wall on the face's side.
            if (measured->leftOut > 0)
                line << " (" << measured->leftOut
                     << " mesh vertices under it left out, of other sheets or walls on its sides, "
                        "up to "
                     << measured->leftOutLargest << " from it)";
            const double tolerances = measured->largest / tolerance;
            if (factor > 0.0 && tolerances > factor) {
                const std::string share =
                    std::to_string(std::lround(100.0 * measured->shareBeyond)) + " %";
                line << ", " << figure(tolerances) << " tolerances, " << share
                     << " of its area beyond " << kFitSlack;
                if (beyond.empty() || tolerances > farthest) {
                    farthest = tolerances;
                    beyond = "face " + std::to_string(number) + " lies " +
                             figure(measured->largest) + " from the mesh " + where + ", " +
                             figure(tolerances) + " x its tolerance " + figure(tolerance) +
                             " where " + figure(factor) + " are allowed (" + share +
                             " of its area beyond " + figure(kFitSlack) + ")";
                }
            }
        } else if (distances.count > 0) {
            line << "; largest distance " << distances.max << " at its fit points";
        }
        VezadApp().Print("%s\n", line.str().c_str());
    }
    if (fitted == 0) {
        reason = "no face of the net has a surface";
        return DirectiveOutcome::failed;
    }
    if (!beyond.empty()) {
        reason = beyond;
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
