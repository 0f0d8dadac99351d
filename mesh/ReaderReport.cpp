#include "mesh/ReaderReport.h"

#include <iostream>

namespace Mesh {

void CLeftOutRecords::report() const
{
    if (count == 0)
        return;
    std::cout << "left out " << count << ' ' << what << (count == 1 ? ": " : ", the first: ")
              << first << std::endl;
}

void CRepeatedWarning::reportHidden(const std::string& text) const
{
    if (count > kShown)
        std::cout << text << " [" << count << " times in all]" << std::endl;
}

} // namespace Mesh
