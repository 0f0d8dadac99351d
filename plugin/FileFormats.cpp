#include "plugin/FileFormats.h"

#include "platform/win32/WindowsSubset.h"

#include <strings.h>

namespace {

struct FormatName {
    const char* name;
    int number;
};

// In lookup order; no name maps to 7.
constexpr FormatName formatNames[] = {
    {"Automagic", 0}, {"vda", 3},     {"vdafs", 3}, {"stp", 1},   {"step", 1}, {"igs", 2},
    {"iges", 2},      {"model", 4},   {"catia", 4}, {"exp", 5},   {"proe", 6}, {"pro/e", 6},
    {"ideas", 8},     {"acis", 9},    {"sat", 9},   {"sab", 9},   {"out", 10}, {"Knotwork", 10},
    {"Form", 11},     {"Ascii", 12},  {"Asc", 12},  {"xyz", 13},  {"Dat", 14}, {"Txt", 15},
    {"stl", 16},      {"stla", 16},   {"stlb", 16}, {"ps", 17},   {"pol", 18}, {"bre", 19},
    {"grid", 20},     {"nc", 21},     {"smf", 22},  {"obj", 23},  {"af", 24},  {"ex", 25},
    {"nas", 26},      {"wrldat", 27}, {"wrl", 28},  {"vrml", 28}, {"t52", 29}, {"tri", 30},
    {"3dm", 31},      {"ply", 32},    {"off", 33},
};

} // namespace

bool formatFromName(const char* name, int& number)
{
    number = 0;
    if (name == nullptr)
        return false;
    for (const FormatName& format : formatNames)
        if (strcasecmp(format.name, name) == 0) {
            number = format.number;
            return true;
        }
    return false;
}

int formatFromExtension(const char* path)
{
    if (path == nullptr)
        return 0;
    char extension[_MAX_EXT] = {};
    _splitpath(path, nullptr, nullptr, nullptr, extension);
    const char* name = extension[0] == '.' ? extension + 1 : extension;
    int number = 0;
    formatFromName(name, number);
    return number;
}
