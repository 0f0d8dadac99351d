// Fuzz harness: a grid file read by the command "MWImportGridV1", as the
// user picks it in the command's file dialog.
#include "FuzzTarget.h"
#include "platform/host/App.h"
#include "plugin/MeshwrightPlugIn.h"

#include <string>

MW_FUZZ_STARTS_HOST()

MW_FUZZ_TARGET()
{
    mwfuzz::hostDocument();
    mwfuzz::InputFile file(data, size, ".grid");
    const std::string script = std::string("_MWImportGridV1 file:") + file.path();
    VezadApp().RunScript(std::wstring(script.begin(), script.end()).c_str(), 0);
    mwfuzz::endHostRun();
    return 0;
}
