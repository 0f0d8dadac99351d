#include "platform/Diagnostics.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace Platform {
namespace {

std::string& folderOverride()
{
    static std::string value;
    return value;
}

bool hasTmpPrefix(const std::string& name, size_t& rest)
{
    // "c:/tmp/" or "c:\tmp\" with either separator, drive letter in any case.
    if (name.size() < 7)
        return false;
    if (std::tolower(static_cast<unsigned char>(name[0])) != 'c' || name[1] != ':')
        return false;
    auto sep = [](char c) { return c == '/' || c == '\\'; };
    if (!sep(name[2]) || !sep(name[6]))
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(name[3 + i])) != "tmp"[i])
            return false;
    rest = 7;
    return true;
}

} // namespace

std::string diagnosticsFolder()
{
    std::string folder = folderOverride();
    if (folder.empty()) {
        const char* env = std::getenv("FENWO_DIAGNOSTICS_DIR");
        if (env && *env)
            folder = env;
    }
    if (folder.empty()) {
        std::error_code ec;
        folder = std::filesystem::temp_directory_path(ec).string();
        if (ec || folder.empty())
            folder = "/tmp";
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

std::string diagnosticsPath(const std::string& debugName)
{
    size_t rest = 0;
    std::string name;
    if (hasTmpPrefix(debugName, rest))
        name = debugName.substr(rest);
    else if (!debugName.empty() && debugName[0] == '/')
        return debugName;
    else
        name = debugName;
    for (char& c : name)
        if (c == '\\')
            c = '/';
    return diagnosticsFolder() + "/" + name;
}

void setDiagnosticsFolderOverride(const std::string& folder)
{
    folderOverride() = folder;
}

} // namespace Platform
