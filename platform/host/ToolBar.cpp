#include "platform/host/ToolBar.h"

#include "platform/RegularFile.h"
#include "platform/host/App.h"
#include "platform/host/HostText.h"
#include "platform/host/InputQueue.h"

#include <filesystem>
#include <fstream>

int CVezadUiToolBarCollection::FindToolBar(const wchar_t* name) const
{
    for (std::size_t i = 0; name && i < m_toolBars.size(); ++i)
        if (m_toolBars[i].name == name)
            return static_cast<int>(i);
    return -1;
}

bool CVezadUiToolBarCollection::IsToolBarVisible(int index) const
{
    return index >= 0 && index < ToolBarCount() &&
           m_toolBars[static_cast<std::size_t>(index)].visible;
}

bool CVezadUiToolBarCollection::ShowToolBar(int index, bool show)
{
    if (index < 0 || index >= ToolBarCount())
        return false;
    m_toolBars[static_cast<std::size_t>(index)].visible = show;
    return true;
}

namespace {

std::string normalPath(const wchar_t* fileName)
{
    return std::filesystem::path(VezadHost::toUtf8(fileName)).lexically_normal().string();
}

} // namespace

CVezadUiToolBarCollection* CVezadUiToolBarManager::FindCollection(const wchar_t* fileName)
{
    if (!fileName)
        return nullptr;
    const std::string wanted = normalPath(fileName);
    for (const auto& collection : m_collections)
        if (normalPath(collection->m_fileName) == wanted)
            return collection.get();
    return nullptr;
}

bool CVezadUiToolBarManager::ReadFile(const wchar_t* fileName, bool, bool, bool)
{
    if (FindCollection(fileName))
        return true;
    CVezadApp& app = VezadApp();
    const std::string path = VezadHost::toUtf8(fileName);
    std::ifstream in;
    std::string problem;
    if (!Platform::openRegularStream(in, path, std::ios::in, &problem)) {
        app.Print("Toolbar file %s cannot be read: file %s\n", path.c_str(), problem.c_str());
        return false;
    }
    auto collection = std::make_unique<CVezadUiToolBarCollection>();
    collection->m_fileName = ON_wString(fileName);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<std::string> tokens;
        std::string error;
        if (!VezadHost::splitTokens(line, nullptr, tokens, error)) {
            app.Print("Toolbar file %s, line %d: %s\n", path.c_str(), number, error.c_str());
            return false;
        }
        if (tokens.empty() || tokens[0][0] == '#')
            continue;
        const bool wellFormed = tokens.size() == 3 && tokens[0] == "toolbar" &&
                                (tokens[2] == "visible=0" || tokens[2] == "visible=1");
        if (!wellFormed) {
            app.Print("Toolbar file %s, line %d: expected toolbar <name> visible=<0|1>\n",
                      path.c_str(), number);
            return false;
        }
        collection->m_toolBars.push_back({VezadHost::toWide(tokens[1]), tokens[2] == "visible=1"});
    }
    m_collections.push_back(std::move(collection));
    return true;
}
