#include "plugin/OptionsDialog.h"

#include "net/SurfaceNet.h"

#include <iterator>

namespace {

// The tolerances of the combo's entries, in entry order. The last entry,
// labelled "0.005", sets 0.005 so that reopening the dialog selects it again.
constexpr double entryTolerances[] = {10.0, 1.0, 0.5, 0.25, 0.1, 0.05, 0.01, 0.005};
constexpr int entryCount = static_cast<int>(std::size(entryTolerances));

} // namespace

CDlgMWOptions::CDlgMWOptions(GB::CSurfaceNet* net)
    : CDialog(6020, nullptr), net(net), surfaceKind(net->surfaceQuality - 1),
      onlineFaces(net->draftOnly ? 0 : 1), depth(net->depthTest ? 1 : 0),
      surfMeshDistance(net->surfaceMeshDistance ? 1 : 0)
{
    int mode = 0;
    bool withEdges = false;
    if (net->displayContainer.getFaceDisplayMode(mode, withEdges)) {
        displayMode = mode;
        edges = withEdges ? 1 : 0;
    }
    for (UINT radio : {6043u, 6044u, 6045u, 6048u, 6046u})
        MapCommand(radio, [this] { onDisplayMode(); });
}

void CDlgMWOptions::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, 6014, rmsCombo);
    DDX_Check(pDX, 6036, onlineFaces);
    DDX_Radio(pDX, 6037, surfaceKind);
    DDX_Check(pDX, 6039, depth);
    DDX_Check(pDX, 6040, surfMeshDistance);
    DDX_Radio(pDX, 6043, displayMode);
    DDX_Check(pDX, 6047, edges);
}

int CDlgMWOptions::entryOfTolerance(double tolerance)
{
    // The smallest entry at or above the tolerance, "10" beyond 1.
    for (int entry = entryCount - 1; entry > 0; --entry)
        if (tolerance <= entryTolerances[entry])
            return entry;
    return 0;
}

double CDlgMWOptions::toleranceOfEntry(int entry)
{
    return entry >= 0 && entry < entryCount ? entryTolerances[entry] : 0.1;
}

BOOL CDlgMWOptions::OnInitDialog()
{
    CDialog::OnInitDialog();
    rmsCombo.SetCurSel(entryOfTolerance(net->surfaceTolerance));
    return TRUE;
}

void CDlgMWOptions::OnOK()
{
    UpdateData(TRUE);
    net->setDraftOnly(onlineFaces == 0);
    const double tolerance = toleranceOfEntry(rmsCombo.GetCurSel());
    if (tolerance != net->surfaceTolerance)
        net->resetFaces(0, false);
    net->faceColorCoding->setRange(-tolerance, tolerance);
    net->surfaceTolerance = tolerance;
    net->setSurfaceQuality(surfaceKind + 1);
    net->setDepthTest(depth > 0);
    net->surfaceMeshDistance = surfMeshDistance != 0;
    int mode = 0;
    bool withEdges = false;
    net->displayContainer.getFaceDisplayMode(mode, withEdges);
    if ((edges > 0) != withEdges || displayMode != mode)
        net->displayContainer.setFaceDisplayMode(displayMode, edges > 0);
}

void CDlgMWOptions::onDisplayMode()
{
    UpdateData(TRUE);
    CWaitCursor wait;
    net->displayContainer.setFaceDisplayMode(displayMode, edges > 0);
    if (CVezadView* view = VezadApp().ActiveView())
        view->Redraw();
}
