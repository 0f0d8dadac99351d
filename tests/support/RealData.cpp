#include "RealData.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

namespace mwtest {

std::string realDataDir(const char* kind)
{
    const std::filesystem::path dir = std::filesystem::path(MW_REALDATA_DIR) / kind;
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) ? dir.string() : std::string();
}

bool underCI()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

int usedVertexCount(Mesh::CBaseMesh& mesh)
{
    std::set<int> used;
    for (int p = 0; p < mesh.getFacetCount(); ++p)
        for (int k = 0; k < mesh.getFacetSize(p); ++k)
            used.insert(mesh.getPolygonVertexIndex(p, k));
    return int(used.size());
}

} // namespace mwtest
