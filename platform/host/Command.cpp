#include "platform/host/Command.h"

#include "platform/host/HostText.h"

#include <algorithm>

namespace {

std::vector<CVezadCommand*>& registry()
{
    static std::vector<CVezadCommand*> commands;
    return commands;
}

} // namespace

CVezadCommand::CVezadCommand()
{
    registry().push_back(this);
}

CVezadCommand::~CVezadCommand()
{
    auto& commands = registry();
    commands.erase(std::remove(commands.begin(), commands.end(), this), commands.end());
}

namespace VezadHost {

CVezadCommand* findCommand(const std::wstring& englishName)
{
    for (CVezadCommand* command : registry()) {
        const wchar_t* name = command->EnglishCommandName();
        if (name && equalsNoCase(std::wstring(name), englishName))
            return command;
    }
    return nullptr;
}

const std::vector<CVezadCommand*>& registeredCommands()
{
    return registry();
}

} // namespace VezadHost
