// The two commands on host geometry: "MWPatch" fits one trimmed surface to
// picked boundary edges (and optional interior edges) and adds it as a
// Brep; "MWHeal" heals picked surfaces against each other (and against
// optional fixed boundary surfaces) and puts the healed faces back as Breps
// in their place. CHeal is the heal run, in the foreground with the
// progress dialog.
//
// Ownership: CHeal borrows the face lists of its caller.
// Thread-safety: the host's user-interface thread only.
#pragma once

#include "foundation/KorList.h"
#include "platform/host/VezadSdk.h"

class CFace;

class CHeal : public CVezadWorkerThread {
public:
    Kor::List<CFace*>* faces;    // healed in place; not owned
    Kor::List<CFace*>* boundary; // fixed neighbours, or null; not owned
    double dTol;                 // the document's tolerance
    double dMatchTol;            // "EdgeMatchDistance"
    int mode;                    // "Continuity"

    CHeal(Kor::List<CFace*>* faces, Kor::List<CFace*>* boundary, double dTol, double dMatchTol,
          int mode)
        : faces(faces), boundary(boundary), dTol(dTol), dMatchTol(dMatchTol), mode(mode)
    {
    }

    // The heal with a sink of the host's keep-running flag.
    void work() override;
    // The heal with the plug-in's progress dialog shown; true when it was
    // not cancelled.
    bool runInForeground();
};
