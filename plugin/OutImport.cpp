// Import of the system's own geometry text files (".out") through the
// host's Import: surfaces (with their names and own colours) as surface
// objects, curves as curve objects and trimmed faces as Breps.
#include "geometry/GeoTokenizer.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "platform/RegularFile.h"
#include "plugin/Commands.h"
#include "plugin/FileFormats.h"
#include "plugin/MeshwrightPlugIn.h"
#include "plugin/OpenNurbsConversion.h"

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace {

bool hasOutExtension(const wchar_t* fileName)
{
    const ON_wString name(fileName);
    const int n = name.Length();
    if (n < 4)
        return false;
    const wchar_t* tail = name.Array() + n - 4;
    return tail[0] == L'.' && std::towlower(tail[1]) == L'o' && std::towlower(tail[2]) == L'u' &&
           std::towlower(tail[3]) == L't';
}

// The mesh formats offered for import (plugin/FileFormats.h).
constexpr int kStlFormat = 16;
constexpr int kPolFormat = 18;

int colourComponent(double c)
{
    return std::clamp(static_cast<int>(c * 255.0), 0, 255);
}

// The surface as a surface object carrying the surface's name and own
// colour; false when it could not be added.
bool addSurface(CVezadDoc& doc, Fenwo::NurbsSurf& surface)
{
    std::unique_ptr<ON_NurbsSurface> converted(toONNurbsSurface(&surface));
    CVezadSurfaceObject* object = converted ? doc.AddSurfaceObject(*converted) : nullptr;
    if (object == nullptr)
        return false;
    ON_3dmObjectAttributes attributes = object->Attributes();
    if (surface.name.text != nullptr && surface.name.length > 0)
        attributes.m_name = ON_wString(surface.name.text);
    if (surface.colour.size() == 3) {
        attributes.m_color.SetRGB(colourComponent(surface.colour[0]),
                                  colourComponent(surface.colour[1]),
                                  colourComponent(surface.colour[2]));
        attributes.SetColorSource(ON::color_from_object);
    }
    const CVezadObjRef ref(object);
    if (!doc.ModifyObjectAttributes(ref, attributes) &&
        !doc.ModifyObjectAttributes(ref, attributes))
        std::cout << "attrib change failed " << std::endl;
    return true;
}

bool addCurve(CVezadDoc& doc, Fenwo::NurbsSurf& curve)
{
    std::unique_ptr<ON_NurbsCurve> converted(toONNurbsCurve(&curve, true));
    return converted && doc.AddCurveObject(*converted) != nullptr;
}

} // namespace

// Every record that is left out (it does not read whole, or does not
// convert) is counted and said; a file from which nothing came into the
// document answers FALSE, so that the host's Import fails. A mesh file of
// the types offered is loaded as "MWLoadMesh" loads a file.
BOOL CMeshwrightPlugIn::ReadFile(const wchar_t* fileName, int, CVezadDoc& doc,
                                 const CVezadFileReadOptions&)
{
    if (fileName == nullptr)
        return FALSE;
    if (!hasOutExtension(fileName)) {
        const std::string path = Platform::narrowFileName(fileName);
        const int format = formatFromExtension(path.c_str());
        if (format != kStlFormat && format != kPolFormat) {
            VezadApp().Print("%s is of no type this plug-in imports\n", path.c_str());
            return FALSE;
        }
        const std::wstring name(fileName);
        return loadFromFile(*this, doc, false, &name) == CVezadCommand::success ? TRUE : FALSE;
    }
    CWaitCursor wait;
    std::ifstream in;
    Platform::openRegularStream(in, Platform::narrowFileName(fileName));
    const double tolerance = 0.75 * doc.AbsoluteTolerance();
    int faceCount = 0, nurbsCount = 0;
    int added = 0, facesLeftOut = 0, nurbsLeftOut = 0;
    auto faceLeftOut = [&facesLeftOut] {
        VezadApp().Print("failed to import a trimmed face\n");
        ++facesLeftOut;
    };
    while (in.good()) {
        const std::streampos start = in.tellg();
        const int token = readGeoToken(in, false);
        std::unique_ptr<Fenwo::NurbsSurf> surface;
        if (token == GeoTokenHash || token == GeoTokenB || token == GeoTokenGeoObject) {
            surface = std::make_unique<Fenwo::NurbsSurf>(in, token == GeoTokenGeoObject);
            ++nurbsCount;
            bool taken = false;
            if (surface->valid && surface->isSurface())
                taken = addSurface(doc, *surface);
            else if (surface->valid && surface->isCurve())
                taken = addCurve(doc, *surface);
            if (taken)
                ++added;
            else
                ++nurbsLeftOut;
        } else if (token == GeoTokenF) {
            ++faceCount;
            auto face = std::make_unique<CFace>();
            // A record the stream could not read to its end (the file stops
            // inside it, or a field is out of step) gives a face with loops
            // or curves missing: it is left out, and the loop stops.
            const bool read = face->read(in);
            if (read && in.fail()) {
                faceLeftOut();
                break;
            }
            ON_Brep brep;
            if (read && faceToBrep(face.get(), brep, tolerance) &&
                doc.AddBrepObject(brep) != nullptr)
                ++added;
            else
                faceLeftOut();
        } else {
            if (!in.fail() && !in.eof())
                VezadMessageBox(L"Unknown type in input-stream, input stopped.", L"Meshwright",
                                MB_ICONSTOP);
            break;
        }
        // A record that consumed nothing would be read again forever.
        if (in.good() && in.tellg() == start)
            break;
    }
    if (faceCount != 0)
        std::cout << "faceCount = " << faceCount << std::endl;
    if (nurbsCount != 0)
        std::cout << "nurbsCount = " << nurbsCount << std::endl;
    if (facesLeftOut != 0)
        VezadApp().Print("%d of %d trimmed faces not imported\n", facesLeftOut, faceCount);
    if (nurbsLeftOut != 0)
        VezadApp().Print("%d of %d surfaces and curves not imported\n", nurbsLeftOut, nurbsCount);
    return added > 0 ? TRUE : FALSE;
}
