// CDlgMWOptions: the modal "MW Options" dialog of "MWOptions", over the
// net's surface-generation settings (online face computation, fast skin or
// smooth face, the tolerance "RMS of Mesh", depth test, surface-mesh
// distance) and the face display of its container (mode and edges). OK
// applies and leaves the dialog open; a display radio applies at once.
//
// Ownership: the net is not owned. Not thread-safe: the host's user-
// interface thread only.
#pragma once

#include "platform/host/VezadSdk.h"

namespace GB {
class CSurfaceNet;
}

class CDlgMWOptions : public CDialog {
public:
    GB::CSurfaceNet* net; // read at construction, written by OK; not owned
    CComboBox rmsCombo;   // combo 6014, entries "10" .. "0.005"
    int surfaceKind;      // radio group 6037: 0 "Fast Skin", 1 "Smooth Face"
    int onlineFaces;      // check 6036: 1 when the net computes more than drafts
    int depth;            // check 6039
    int surfMeshDistance; // check 6040
    int edges = 0;        // check 6047
    int displayMode = 0;  // radio group 6043: Shade, Hatch, Outline, CtrlPts, None

    explicit CDlgMWOptions(GB::CSurfaceNet* net);

    // The controls from the members, then the tolerance entry nearest above
    // the net's tolerance selected. TRUE.
    BOOL OnInitDialog() override;
    // Applies every setting to the net (a new tolerance resets the faces);
    // the dialog stays open.
    void OnOK() override;
    // A display radio: the container's face display takes the mode now, and
    // the active view is redrawn.
    void onDisplayMode();

    // The combo entry of a tolerance, and the tolerance of an entry (0.1 for
    // none selected).
    static int entryOfTolerance(double tolerance);
    static double toleranceOfEntry(int entry);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
