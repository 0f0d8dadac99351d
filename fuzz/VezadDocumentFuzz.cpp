// Fuzz harness: host document files opened into a document that holds one
// curve; a file that is refused must leave the document as it was.
#include "FuzzTarget.h"
#include "platform/host/Document.h"
#include "platform/host/DocumentFile.h"

MW_FUZZ_TARGET()
{
    mwfuzz::InputFile file(data, size, ".vzd");
    CVezadDoc doc;
    doc.SetAbsoluteTolerance(0.5);
    doc.AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));
    std::string error;
    if (VezadHost::openDocument(doc, file.path(), error) == VezadHost::OpenResult::refused)
        mwfuzz::require(doc.ObjectCount() == 1 && doc.AbsoluteTolerance() == 0.5,
                        "a refused file leaves the document as it was");
    return 0;
}
