#include "plugin/ProgressDialogs.h"

#include "curves/CurveUtilities.h"
#include "geometry/NurbsSurf.h"
#include "mesh/BaseMesh.h"
#include "mesh/MeshBoundaryCurves.h"
#include "net/PointList.h"
#include "plugin/Callbacks.h"
#include "plugin/MeshwrightPlugIn.h"

#include <algorithm>

namespace {

constexpr int progressBarId = 6021;

} // namespace

// ---- Both dialogs ----------------------------------------------------------------------------

CMWProgressDialog::CMWProgressDialog(UINT templateId, int terminateId, bool resetOnEveryBegin)
    : CDialog(templateId, nullptr), m_terminateId(terminateId),
      m_resetOnEveryBegin(resetOnEveryBegin)
{
}

void CMWProgressDialog::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, progressBarId, progressBar);
}

void CMWProgressDialog::begin(int from, int to)
{
    const bool hidden = !IsWindowVisible();
    if (hidden)
        ShowWindow(SW_SHOW);
    if (hidden || m_resetOnEveryBegin)
        if (CWnd* terminate = terminateButton()) {
            terminate->SetWindowText(L"Terminate");
            terminate->EnableWindow(TRUE);
        }
    if (m_resetOnEveryBegin)
        progressBar.EnableWindow(TRUE);
    CSimpleProgress::begin(from, to);
    progressBar.SetRange32(from, to);
    progressBar.SetPos(from);
}

void CMWProgressDialog::step(int n)
{
    const int threshold = m_printThreshold;
    CSimpleProgress::step(n);
    if (m_printThreshold != threshold)
        progressBar.SetPos(m_done);
    if (pumpsNow())
        pump();
}

bool CMWProgressDialog::setLabel(const char* label)
{
    CSimpleProgress::setLabel(label);
    SetWindowText(ON_wString(label ? label : "").Array());
    return true;
}

void CMWProgressDialog::onTerminate()
{
    if (CWnd* terminate = terminateButton()) {
        terminate->SetWindowText(L"Terminating...");
        terminate->EnableWindow(FALSE);
    }
    setCancelled(true);
}

void CMWProgressDialog::pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!PreTranslateMessage(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void CMWProgressDialog::setItemText(int id, const wchar_t* text)
{
    if (CWnd* item = GetDlgItem(id))
        item->SetWindowText(text);
}

// ---- The information dialog -----------------------------------------------------------------

CDlgEditInfo::CDlgEditInfo() : CMWProgressDialog(6024, 6052, true)
{
    MapCommand(6052, [this] { onTerminate(); });
    MapCommand(6053, [this] { onLiveEdit(); });
}

void CDlgEditInfo::DoDataExchange(CDataExchange* pDX)
{
    CMWProgressDialog::DoDataExchange(pDX);
    DDX_Check(pDX, 6053, liveEdit);
}

bool CDlgEditInfo::showCurrentPoint(CVertex<float, 3>* point)
{
    pointAssigned = point != nullptr;
    ON_wString text;
    if (point != nullptr) {
        currentPoint = *point;
        text.Format("x% 6.3f y% 6.3f z% 6.3f", currentPoint[0], currentPoint[1], currentPoint[2]);
    }
    setItemText(6049, text);
    return true;
}

bool CDlgEditInfo::showMeshInfo(Mesh::CBaseMesh* mesh)
{
    ON_wString text(L"not assigned");
    if (mesh != nullptr) {
        // The loops are counted, not drawn: a mesh of scattered facets has a
        // loop per facet.
        BoundaryEdgeList edges;
        BoundaryLoopList loops;
        collectBoundaryLoops(mesh, edges, loops);
        int drawn = 0;
        for (const BoundaryLoop& loop : loops)
            drawn += loop.count >= 3;
        const int holes = std::max(drawn - 1, 0);
        text.Format("%1i, %1i, %1i", mesh->getVertexCount(true), mesh->getFacetCount(), holes);
    }
    setItemText(6048, text);
    return true;
}

bool CDlgEditInfo::showCurveInfo(COffset_PointList* polyLine)
{
    ON_wString text(L"not assigned");
    double length = 0.0, maxRadius = 0.0, minRadius = 0.0, minCurvature = 0.0, maxCurvature = 0.0;
    if (polyLine != nullptr && polyLine->getCurve() != nullptr &&
        curvatureStatistics(polyLine->getCurve(), length, maxRadius, minRadius, minCurvature,
                            maxCurvature))
        text.Format("% 5.1f, % 5.1f", length, minRadius);
    setItemText(6050, text);
    return true;
}

void CDlgEditInfo::disableControls()
{
    if (CWnd* terminate = terminateButton())
        terminate->EnableWindow(FALSE);
    progressBar.EnableWindow(FALSE);
    progressBar.SetPos(m_done);
}

void CDlgEditInfo::enableControls()
{
    if (CWnd* terminate = terminateButton())
        terminate->EnableWindow(TRUE);
    progressBar.EnableWindow(TRUE);
}

void CDlgEditInfo::onLiveEdit()
{
    liveEdit = liveEdit ? 0 : 1;
    MeshwrightPlugIn().net.setLiveEdit(liveEdit != 0);
    redrawAllViews();
}

void CDlgEditInfo::OnCancel()
{
    CDialog::OnCancel();
    VezadApp().RunScript(L"_MWEditGrid");
}

// ---- The progress dialog ----------------------------------------------------------------------

CMWDlgProgress::CMWDlgProgress() : CMWProgressDialog(6019, IDOK, false) {}

void CMWDlgProgress::setCancelled(bool cancelled)
{
    CSimpleProgress::setCancelled(cancelled);
    if (!cancelled)
        if (CWnd* terminate = terminateButton())
            terminate->EnableWindow(TRUE);
}

void CMWDlgProgress::OnOK()
{
    onTerminate();
}
