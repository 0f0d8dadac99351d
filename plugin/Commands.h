// The eleven host commands of the plug-in. Each is a class with one global
// instance (plugin/StartUp.cpp), registered with the host as it is
// constructed.
//
// The common frame: a run that is not interactive prints why the command
// does not run there and fails (3), so that a script knows nothing was done;
// "MWCommit" runs the same from scripts. Results: 0 success, 1 cancel, 3
// failure.
//
// Not thread-safe: commands run on the host's user-interface thread. No
// command keeps state between runs.
#pragma once

#include "platform/host/VezadSdk.h"

#include <string>

// The frame shared by the commands: id, name and the non-interactive refusal.
class CMWCommand : public CVezadCommand {
public:
    ON_UUID CommandUUID() override { return m_id; }
    const wchar_t* EnglishCommandName() override { return m_name; }
    result RunCommand(const CVezadCommandContext& context) override;

protected:
    // refusal is the line a non-interactive run prints ("%s": the name);
    // null lets every run through.
    CMWCommand(const char* id, const wchar_t* name, const char* refusal);
    // The interactive run, each command's own.
    virtual result run() = 0;

private:
    ON_UUID m_id;
    const wchar_t* m_name;
    const char* m_refusal;
};

class CCommandMeshwright : public CMWCommand {
public:
    CCommandMeshwright();
    result run() override;
};

class CCommandMWLoadMesh : public CMWCommand {
public:
    CCommandMWLoadMesh();
    // The getter with "DeleteVezadMesh" (Yes), "File" (No) and
    // "ConvertMeshBoundary" (No); picked host meshes or a mesh file become
    // the plug-in's mesh object (plugin/LoadMesh.cpp). 1 when the user
    // cancels the replace or merge question or the file dialog, 3 when the
    // file chosen gives no facet (the mesh loaded before stays), otherwise 0.
    result run() override;
};

class CMeshwrightPlugIn;

// The file road of "MWLoadMesh" (plugin/LoadMesh.cpp): the mesh file chosen
// in the file dialog, or the one at path when given (an import of a mesh
// file), becomes the plug-in's mesh object; a mesh object loaded before is
// replaced or merged into, as the user answers. With boundary the mesh's
// boundary loops become poly-lines of the net. Results as the command's.
CVezadCommand::result loadFromFile(CMeshwrightPlugIn& plugIn, CVezadDoc& doc, bool boundary,
                                   const std::wstring* path = nullptr);

class CCommandMWCommit : public CMWCommand {
public:
    CCommandMWCommit();
    // Options "Delete_old_srfs", "Heal", "Commit_Surfaces" and
    // "Approx_Surfaces" (all Yes): the net's faces become Breps on the first
    // empty layer, or, without surfaces, the mesh object's curves and the
    // poly-lines' curves become curve objects. Cancel without a mesh object
    // or a fitted face ("MW:Nothing to Commit."), or without curves.
    result run() override;
};

class CCommandMWEditGrid : public CMWCommand {
public:
    CCommandMWEditGrid();
    result run() override;
};

class CCommandMWPatch : public CMWCommand {
public:
    CCommandMWPatch();
    // Picked boundary edges (and interior edges) become one trimmed surface
    // fitted within 0.75 times the document's tolerance ("Continuity" 1:
    // tangent to the edges' faces), added as a Brep; the boundary objects are
    // hidden while it runs. 3 when the picks hold no boundary curve (said on
    // the command line, nothing hidden) or when no face came ("MWPatch did
    // not create a face.\n"), 1 when the fit is terminated, otherwise 0.
    result run() override;
};

class CCommandMWOptions : public CMWCommand {
public:
    CCommandMWOptions();
    result run() override;
};

class CCommandMWHeal : public CMWCommand {
public:
    CCommandMWHeal();
    // Picked surfaces healed along their shared edges (against picked
    // boundary surfaces) within "EdgeMatchDistance" and "Continuity"; each
    // healed face replaces its surface as a Brep. Cancel (1) when the
    // conversion is terminated, the picked surfaces staying.
    result run() override;
};

class CCommandMWImportGridV1 : public CMWCommand {
public:
    CCommandMWImportGridV1();
    result run() override;
};

class CCommandMWHideMesh : public CMWCommand {
public:
    CCommandMWHideMesh();
    result run() override;
};

class CCommandMWRelief : public CMWCommand {
public:
    CCommandMWRelief();
    result run() override;
};

class CCommandgetStringList : public CMWCommand {
public:
    CCommandgetStringList();
    result run() override;
};
