// The library's globals, in the order they come to life: the eleven
// commands, the application object, the plug-in object, then the plug-in
// file's exports, through which the host's loader finds the plug-in. They
// live in this one file so that their order is fixed and none depends on
// another file's globals; the host shuts down before they are destroyed.
#include "plugin/Commands.h"
#include "plugin/MeshwrightPlugIn.h"

namespace {

CCommandMeshwright commandMeshwright;
CCommandMWLoadMesh commandMWLoadMesh;
CCommandMWCommit commandMWCommit;
CCommandMWEditGrid commandMWEditGrid;
CCommandMWPatch commandMWPatch;
CCommandMWOptions commandMWOptions;
CCommandMWHeal commandMWHeal;
CCommandMWImportGridV1 commandMWImportGridV1;
CCommandMWHideMesh commandMWHideMesh;
CCommandMWRelief commandMWRelief;
CCommandgetStringList commandgetStringList;

CMeshwrightApp theApp;
CMeshwrightPlugIn thePlugIn;

CVezadPlugIn& plugInObject()
{
    return thePlugIn;
}

const CVezadPlugInModule
    theModule(L"Meshwright",
              {
                  .VezadPlugInSdkVersion = VezadPlugInSdkVersion,
                  .VezadPlugInSdkServiceRelease = VezadPlugInSdkServiceRelease,
                  .VezadPlugInDeveloperOrganization = VezadPlugInDeveloperOrganization,
                  .VezadPlugInDeveloperAddress = VezadPlugInDeveloperAddress,
                  .VezadPlugInDeveloperCountry = VezadPlugInDeveloperCountry,
                  .VezadPlugInDeveloperPhone = VezadPlugInDeveloperPhone,
                  .VezadPlugInDeveloperFax = VezadPlugInDeveloperFax,
                  .VezadPlugInDeveloperEmail = VezadPlugInDeveloperEmail,
                  .VezadPlugInDeveloperWebsite = VezadPlugInDeveloperWebsite,
                  .VezadPlugInUpdateURL = VezadPlugInDeveloperWebsite,
                  .VezadPlugInObject = plugInObject,
              });

} // namespace

CMeshwrightPlugIn& MeshwrightPlugIn()
{
    return thePlugIn;
}

int VezadPlugInSdkVersion()
{
    return 200612060;
}

int VezadPlugInSdkServiceRelease()
{
    return 200707034;
}

const wchar_t* VezadPlugInDeveloperOrganization()
{
    return L"Meshwright project";
}

const wchar_t* VezadPlugInDeveloperAddress()
{
    return L"-";
}

const wchar_t* VezadPlugInDeveloperCountry()
{
    return L"-";
}

const wchar_t* VezadPlugInDeveloperPhone()
{
    return L"-";
}

const wchar_t* VezadPlugInDeveloperFax()
{
    return L"-";
}

const wchar_t* VezadPlugInDeveloperEmail()
{
    return L"-";
}

const wchar_t* VezadPlugInDeveloperWebsite()
{
    return L"-";
}
