#include "plugin/resources/MeshwrightResources.h"

#include "platform/mfc/Resources.h"

namespace {

using AfxSubset::ControlResource;
using AfxSubset::DialogResource;
using AfxSubset::MenuItemResource;
using AfxSubset::MenuResource;

MenuItemResource item(UINT id, const wchar_t* text)
{
    return {MenuItemResource::command, id, text, {}};
}

MenuItemResource separator()
{
    return {MenuItemResource::separator, 0, L"", {}};
}

MenuItemResource popup(const wchar_t* text, std::vector<MenuItemResource> items)
{
    return {MenuItemResource::popup, 0, text, std::move(items)};
}

ControlResource control(ControlResource::Kind kind, int id, const wchar_t* text,
                        bool groupStart = false)
{
    return {kind, id, text, groupStart, {}};
}

ControlResource label(const wchar_t* text)
{
    return control(ControlResource::label, IDC_STATIC, text);
}

std::vector<MenuResource> menus()
{
    return {
        {6017,
         {popup(L"Fenwo Tools",
                {item(33001, L"LoadMesh"), item(33006, L"EditGrid"), item(33008, L"Commit"),
                 item(33013, L"HideMesh"), item(33004, L"Options"), item(33010, L"ImportGrid V1"),
                 separator(), item(33007, L"Heal (MatchMultiSrf)"), item(33005, L"Patch")})}},
        {6023,
         {popup(L"_", {item(33023, L"&activate"), item(33019, L"&snap"), item(33024, L"&insert"),
                       item(33020, L"spli&t"), item(33021, L"&join"), item(33017, L"start new"),
                       item(33022, L"Move"), item(33018, L"?")})}},
    };
}

std::vector<DialogResource> dialogs()
{
    using C = ControlResource;
    ControlResource rms = control(C::comboBox, 6014, L"");
    rms.entries = {L"10", L"1", L"0.5", L"0.25", L"0.1", L"0.05", L"0.01", L"0.005"};
    return {
        {6024,
         L"Meshwright General Information",
         {label(L"Mesh #v #f #holes"), control(C::readout, 6048, L""), label(L"current point"),
          control(C::readout, 6049, L""), label(L"Length, min. R"), control(C::readout, 6050, L""),
          control(C::progressBar, 6021, L""), control(C::pushButton, 6052, L"Terminate"),
          control(C::checkBox, 6053, L"Live Edit")}},
        {6019,
         L"Meshwright Progress",
         {control(C::pushButton, IDOK, L"Terminate"), control(C::progressBar, 6021, L""),
          control(C::readout, 6051, L"")}},
        {6020,
         L"MW Options",
         {control(C::groupBox, IDC_STATIC, L"Surface Generation"),
          control(C::checkBox, 6036, L"Online Face Computation"),
          control(C::radioButton, 6037, L"Fast Skin", true),
          control(C::radioButton, 6038, L"Smooth Face"), label(L"RMS of Mesh"), rms,
          control(C::checkBox, 6039, L"Depth", true),
          control(C::checkBox, 6040, L"Surf Mesh Distance"),
          control(C::groupBox, IDC_STATIC, L"Surface Display"),
          control(C::radioButton, 6043, L"Shade", true), control(C::radioButton, 6044, L"Hatch"),
          control(C::radioButton, 6045, L"Outline"), control(C::radioButton, 6048, L"CtrlPts"),
          control(C::radioButton, 6046, L"None"), control(C::checkBox, 6047, L"Edges", true),
          control(C::pushButton, IDOK, L"OK", true)}},
    };
}

} // namespace

void registerMeshwrightResources()
{
    AfxSubset::registerResources(menus(), dialogs());
}
