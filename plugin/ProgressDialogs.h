// The two modeless dialogs of the plug-in, which are also progress sinks:
// CDlgEditInfo, the "Meshwright General Information" window shown while the
// grid is edited (mesh, point and poly-line read-outs, the progress of the
// net's surface updates, the "Live Edit" switch), and CMWDlgProgress, the
// "Meshwright Progress" window of long commands. The object that shows the
// bar is the sink handed to the computation: begin shows the dialog, steps
// move the bar and pump the thread's window messages (so the host stays
// responsive), and Terminate sets the cancel flag that the computation
// polls.
//
// Ownership: the plug-in owns both dialogs and makes their windows at load.
// Not thread-safe: the host's user-interface thread only; the pump
// dispatches messages re-entrantly while a computation is on the stack.
#pragma once

#include "foundation/Progress.h"
#include "foundation/Vertex.h"
#include "platform/host/VezadSdk.h"

class COffset_PointList;
namespace Mesh {
class CBaseMesh;
}

// What both dialogs share: the bar (control 6021), the Terminate button
// and the sink operations.
class CMWProgressDialog : public CDialog, public CSimpleProgress {
public:
    CProgressCtrl progressBar;

    // Shows the window when it is hidden; sets the range and the position
    // to from; begins the sink. The Terminate button is reset to
    // "Terminate" and enabled on every begin, or only when the window had to
    // be shown (see the constructor).
    void begin(int from, int to) override;
    // The sink's step; moves the bar when the sink's report threshold moved,
    // then pumps the messages (when the dialog pumps now).
    void step(int n) override;
    // The dialog's window text becomes label; true.
    bool setLabel(const char* label) override;
    // Terminate: the button reads "Terminating..." and is disabled, and the
    // sink is cancelled.
    void onTerminate();

protected:
    CMWProgressDialog(UINT templateId, int terminateId, bool resetOnEveryBegin);
    void DoDataExchange(CDataExchange* pDX) override;
    virtual bool pumpsNow() const { return true; }
    // Takes every waiting message through pre-translation and dispatch.
    void pump();
    CWnd* terminateButton() const { return GetDlgItem(m_terminateId); }
    void setItemText(int id, const wchar_t* text);

private:
    int m_terminateId;
    bool m_resetOnEveryBegin;
};

class CDlgEditInfo : public CMWProgressDialog {
public:
    CVertex<float, 3> currentPoint; // the last point shown
    bool pointAssigned = false;
    bool pumpMessages = true; // false while the mouse callback edits
    int liveEdit = 1;         // check box 6053

    CDlgEditInfo();

    // Read-out 6049: the point's "x y z", or empty for null. True.
    bool showCurrentPoint(CVertex<float, 3>* point);
    // Read-out 6048: vertex count, facet count and holes (boundary loops
    // less one, at least 0), or "not assigned" for null. True.
    bool showMeshInfo(Mesh::CBaseMesh* mesh);
    // Read-out 6050: the length and smallest radius of curvature of the
    // poly-line's curve, or "not assigned" without one. True.
    bool showCurveInfo(COffset_PointList* polyLine);
    // Terminate and bar disabled, the bar at the work done.
    void disableControls();
    void enableControls();
    // "Live Edit": flips the net's live editing (its rubber band).
    void onLiveEdit();
    // Esc or the close box: closes, then runs "_MWEditGrid", which switches
    // grid editing.
    void OnCancel() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool pumpsNow() const override { return pumpMessages; }
};

class CMWDlgProgress : public CMWProgressDialog {
public:
    CMWDlgProgress();
    // Clearing the flag enables Terminate again.
    void setCancelled(bool cancelled) override;
    // Button 1 is Terminate.
    void OnOK() override;
};
